#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Diagnostics.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

const std::u16string kKey = u"Software\\Quenmar\\Digital Vandrel Professional\\5.0";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Collects diagnostics for the length of a test.
struct DiagnosticCapture {
  std::vector<std::u16string> lines;
  DiagnosticCapture() {
    SetDiagnosticSink([this](const std::u16string& t) { lines.push_back(t); });
  }
  ~DiagnosticCapture() { SetDiagnosticSink({}); }
};

}  // namespace

TEST(Registry, RoundTripKeepsTypesOrderAndAwkwardText) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  std::vector<std::uint8_t> big(112004);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = std::uint8_t(i * 7 + 3);
  const std::u16string lone(1, char16_t(0xDC01));
  {
    RegistryStore reg(path);
    reg.SetDword(kKey, u"zeta", 10);
    reg.SetString(kKey, u"name with \"quotes\" and \\ and =", u"value \"q\" \\ = [x]");
    reg.SetString(kKey, u"", u"default");
    reg.SetString(kKey, u"empty", u"");
    reg.SetString(kKey, u"\u00e9t\u00e9 \u65e5\u672c", u"\u00fcber \U0001F600");
    reg.SetString(kKey, u"control", u"line1\r\nline2\t" + lone);
    reg.SetBinary(kKey, u"Settings", big);
    reg.SetBinary(kKey, u"nothing", {});
    reg.SetDword(kKey + u"\\Filter", u"alpha", 0xFFFFFFFF);
    reg.CreateKey(kKey + u"\\File Types");
    reg.CreateKey(kKey + u"\\Groups");
    ASSERT_TRUE(reg.Save());
  }
  RegistryStore reg(path);
  std::vector<std::pair<std::u16string, RegValue>> values = reg.EnumValues(kKey);
  ASSERT_EQ(values.size(), 8u);
  const char16_t* order[] = {u"zeta", u"name with \"quotes\" and \\ and =", u"", u"empty",
                             u"\u00e9t\u00e9 \u65e5\u672c", u"control", u"Settings", u"nothing"};
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i].first, order[i]);
  EXPECT_EQ(values[0].second, RegValue::Dword(10));
  EXPECT_EQ(values[1].second, RegValue::String(u"value \"q\" \\ = [x]"));
  EXPECT_EQ(values[2].second, RegValue::String(u"default"));
  EXPECT_EQ(values[3].second, RegValue::String(u""));
  EXPECT_EQ(values[4].second, RegValue::String(u"\u00fcber \U0001F600"));
  EXPECT_EQ(values[5].second, RegValue::String(u"line1\r\nline2\t" + lone));
  EXPECT_EQ(values[6].second.binary, big);
  EXPECT_EQ(values[7].second, RegValue::Binary({}));
  EXPECT_EQ(reg.EnumSubkeys(kKey), (std::vector<std::u16string>{u"Filter", u"File Types", u"Groups"}));
  EXPECT_TRUE(reg.KeyExists(kKey + u"\\file types"));  // names compare without case
  std::uint32_t d = 0;
  EXPECT_EQ(reg.QueryDword(kKey + u"\\FILTER", u"ALPHA", d), RegStatus::Ok);
  EXPECT_EQ(d, 0xFFFFFFFFu);

  // The file is the .reg export layout.
  std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quenmar\\Digital Vandrel Professional\\5.0\\Filter]\n"
                      "\"alpha\"=dword:ffffffff\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"zeta\"=dword:0000000a\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"name with \\\"quotes\\\" and \\\\ and =\"=\"value \\\"q\\\" \\\\ = [x]\"\n"), std::string::npos);
}

TEST(Registry, WrongTypeIsReportedAndDeletesPersist) {
  test::TempDir dir;
  RegistryStore reg(dir / "registry.reg");
  reg.SetDword(kKey, u"Settings", 1);
  std::vector<std::uint8_t> bin;
  EXPECT_EQ(reg.QueryBinary(kKey, u"Settings", bin), RegStatus::WrongType);
  EXPECT_EQ(reg.QueryBinary(kKey, u"missing", bin), RegStatus::NotFound);
  EXPECT_EQ(reg.QueryBinary(kKey + u"\\nokey", u"x", bin), RegStatus::NotFound);
  reg.SetString(kKey + u"\\A\\B", u"v", u"1");
  reg.SetString(kKey, u"keep", u"k");
  ASSERT_TRUE(reg.Save());
  EXPECT_TRUE(reg.DeleteKey(kKey + u"\\A"));
  EXPECT_TRUE(reg.DeleteValue(kKey, u"Settings"));
  EXPECT_FALSE(reg.DeleteKey(kKey + u"\\A"));
  ASSERT_TRUE(reg.Save());
  RegistryStore again(dir / "registry.reg");
  EXPECT_FALSE(again.KeyExists(kKey + u"\\A"));
  EXPECT_FALSE(again.KeyExists(kKey + u"\\A\\B"));
  RegValue v;
  EXPECT_EQ(again.Query(kKey, u"Settings", v), RegStatus::NotFound);
  EXPECT_EQ(again.Query(kKey, u"keep", v), RegStatus::Ok);
}

TEST(Registry, InterruptedWriteLeavesThePreviousFile) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  RegistryStore reg(path);
  reg.SetDword(kKey, u"a", 1);
  ASSERT_TRUE(reg.Save());
  const std::string before = ReadFile(path);
  reg.SetDword(kKey, u"a", 2);
  reg.FailNextSaveBeforeRenameForTests();
  EXPECT_FALSE(reg.Save());
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_TRUE(reg.HasPendingChanges());
  // No temporary file is left behind, and the next save succeeds.
  for (auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  ASSERT_TRUE(reg.Save());
  RegistryStore again(path);
  std::uint32_t a = 0;
  EXPECT_EQ(again.QueryDword(kKey, u"a", a), RegStatus::Ok);
  EXPECT_EQ(a, 2u);
}

TEST(Registry, AFileThatCantBeReadIsNeverReplaced) {
  // Below /tmp itself: the test's own temporary folder is closed to other users.
  char folder[] = "/tmp/vandrel-registry-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  struct Remover {
    std::string path;
    ~Remover() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } remover{folder};
  const std::string path = remover.path + "/registry.reg";
  {
    RegistryStore first(path);
    first.SetDword(kKey, u"kept", 7);
    ASSERT_TRUE(first.Save());
  }
  const std::string before = ReadFile(path);
  // The file is there but this process may not read it: as root, a child process
  // that runs as nobody stands in (root reads anything), and the folder lets it
  // replace the file.
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  ASSERT_EQ(chmod(folder, 0777), 0);
  ASSERT_EQ(chmod((path + ".lock").c_str(), 0666), 0);
  auto attempt = [&]() -> int {
    RegistryStore store(path);
    store.SetDword(kKey, u"new", 1);
    return store.Save() ? 1 : 0;
  };
  int saved = -1;
  if (geteuid() == 0) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      _exit(attempt());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    saved = WEXITSTATUS(status);
    ASSERT_NE(saved, 3) << "could not run as nobody";
  } else {
    DiagnosticCapture diagnostics;
    saved = attempt();
    ASSERT_FALSE(diagnostics.lines.empty());
    EXPECT_NE(diagnostics.lines.back().find(u"nothing is written"), std::u16string::npos);
  }
  EXPECT_EQ(saved, 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadFile(path), before);
}

TEST(Registry, CorruptEntriesAreSkippedAndLogged) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  WriteFile(path,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\X]\r\n"
            "\"good\"=dword:00000005\r\n"
            "\"bad hex\"=hex:0g,12\r\n"
            "\"no equals\"\r\n"
            "\"bad dword\"=dword:123456789\r\n"
            "\"unknown\"=hex(7):41,00\r\n"
            "[HKEY_LOCAL_MACHINE\\Elsewhere]\r\n"
            "\"lost\"=dword:00000001\r\n"
            "[HKEY_CURRENT_USER\\Software\\X]\r\n"
            "\"wrapped\"=hex:01,02,\\\r\n"
            "  03,04\r\n"
            "\"s\"=\"unterminated\r\n");
  DiagnosticCapture diag;
  RegistryStore reg(path);
  auto values = reg.EnumValues(u"Software\\X");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].first, u"good");
  EXPECT_EQ(values[1].second, RegValue::Binary(std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(diag.lines.size(), 7u);
  EXPECT_FALSE(reg.KeyExists(u"Elsewhere"));
}

TEST(Registry, AFileThatIsNoRegistryFileIsMovedAside) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  WriteFile(path, "this is somebody's notes, not a registry file\n");
  DiagnosticCapture diag;
  {
    RegistryStore reg(path);
    EXPECT_TRUE(reg.EnumSubkeys(u"").empty());
    EXPECT_EQ(ReadFile(path + ".bad"), "this is somebody's notes, not a registry file\n");
    EXPECT_EQ(diag.lines.size(), 1u);
    reg.SetDword(u"Software\\X", u"v", 1);
    ASSERT_TRUE(reg.Save());
  }
  // A second bad file does not replace the first one set aside.
  WriteFile(path, "garbage again");
  RegistryStore reg(path);
  EXPECT_EQ(ReadFile(path + ".bad"), "this is somebody's notes, not a registry file\n");
  EXPECT_EQ(ReadFile(path + ".bad.2"), "garbage again");
}

TEST(Registry, TwoInstancesSavingInTurnLoseNothing) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  RegistryStore first(path);
  RegistryStore second(path);
  first.SetDword(kKey, u"fromFirst", 1);
  second.SetDword(kKey + u"\\File Types", u"fromSecond", 2);
  second.SetDword(kKey, u"shared", 2);
  ASSERT_TRUE(first.Save());
  ASSERT_TRUE(second.Save());
  first.SetDword(kKey, u"shared", 1);  // the later save of the same value wins
  ASSERT_TRUE(first.Save());
  RegistryStore third(path);
  std::uint32_t v = 0;
  EXPECT_EQ(third.QueryDword(kKey, u"fromFirst", v), RegStatus::Ok);
  EXPECT_EQ(third.QueryDword(kKey + u"\\File Types", u"fromSecond", v), RegStatus::Ok);
  EXPECT_EQ(third.QueryDword(kKey, u"shared", v), RegStatus::Ok);
  EXPECT_EQ(v, 1u);
  // The first instance sees what the second wrote once it has saved.
  EXPECT_EQ(first.QueryDword(kKey + u"\\File Types", u"fromSecond", v), RegStatus::Ok);
}

// Names and texts that look like parts of the file's layout are written so that
// they read back as they were, and every entry after them too.
TEST(Registry, NamesAndTextsLikeTheLayoutReadBackAsTheyWere) {
  struct Case {
    const char* what;
    std::u16string key, name;
    RegValue value;
  } cases[] = {
      {"a carriage return inside a value name", kKey, u"a\rb", RegValue::Dword(1)},
      {"a carriage return at the end of a key name", kKey + u"\\k\r", u"v", RegValue::Dword(2)},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    {
      RegistryStore reg(dir / "registry.reg");
      reg.Set(c.key, c.name, c.value);
      reg.SetDword(c.key, u"after", 7);
      ASSERT_TRUE(reg.Save()) << c.what;
    }
    RegistryStore reg(dir / "registry.reg");
    const auto values = reg.EnumValues(c.key);
    ASSERT_EQ(values.size(), 2u) << c.what;
    EXPECT_EQ(values[0].first, c.name) << c.what;
    EXPECT_EQ(values[0].second, c.value) << c.what;
    EXPECT_EQ(values[1].second, RegValue::Dword(7)) << c.what;
  }
}
