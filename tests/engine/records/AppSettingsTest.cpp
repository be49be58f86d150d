#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "engine/records/AppSettings.h"
#include "platform/ByteOrder.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/TempDir.h"

using platform::RegistryStore;

namespace {

std::uint32_t Sum(const std::vector<std::uint8_t>& b) {
  std::uint32_t s = 0;
  for (std::size_t off = 4; off < b.size(); off += 4) s += platform::LeView(b.data(), b.size()).U32(off);
  return s;
}

// A registry of its own per test, and a counter of how often "Settings" is written.
struct SettingsFixture : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<RegistryStore> reg = std::make_unique<RegistryStore>(dir / "registry.reg");
  AppSettings settings;
  void SetUp() override { settings.SetRegistry(reg.get()); }
  std::vector<std::uint8_t> Stored() {
    RegistryStore fresh(dir / "registry.reg");
    std::vector<std::uint8_t> out;
    fresh.QueryBinary(kProgramKey, u"Settings", out);
    return out;
  }
  std::filesystem::file_time_type FileTime() { return std::filesystem::last_write_time(dir / "registry.reg"); }
};

}  // namespace

TEST_F(SettingsFixture, GoldenDefaults) {
  EXPECT_EQ(settings.Load(), 0);  // nothing stored: defaults
  std::vector<std::uint8_t> b = settings.Bytes();
  ASSERT_EQ(b.size(), 112004u);
  platform::LeView v(b.data(), b.size());
  struct Field {
    std::size_t off;
    std::int32_t value;
  } ints[] = {{36, 1},   {40, 1},     {44, 1},  {48, 0},  {52, 0},  {56, 1},      {60, 1},  {64, 1},   {68, 1},
              {72, 1},   {76, 1},     {80, 1},  {84, 1},  {88, 1},  {92, 1},      {96, 1},  {100, 0},  {104, 5400},
              {108, 0},  {112, 0},    {116, 1}, {120, 1}, {124, 10240}, {128, 30}, {140, 0}, {144, 1}, {148, 0},
              {152, 0},  {156, 0},    {160, 1}, {164, 1}, {168, 0}, {172, 1},     {176, 10}, {180, 0}, {184, 0},
              {188, 1},  {17604, 0}};
  for (auto& f : ints) EXPECT_EQ(v.I32(f.off), f.value) << "offset " << f.off;
  for (std::size_t off = 192; off < 17604; ++off) ASSERT_EQ(b[off], 0) << off;
  for (std::size_t off = 17608; off < 17788; ++off) ASSERT_EQ(b[off], 0) << off;
  for (std::size_t off = 107900; off < 112004; ++off) ASSERT_EQ(b[off], 0) << off;
  EXPECT_EQ(platform::ReadUtf16Field(v.bytes(), 17788, 4096),
            platform::Utf8ToUtf16(platform::JoinPath(platform::HomeDir(), "Recovered Files")));
  EXPECT_EQ(platform::ReadUtf16Field(v.bytes(), 25980, 4096), platform::Utf8ToUtf16(platform::TempDir()));
  EXPECT_EQ(platform::ReadUtf16Field(v.bytes(), 34172, 1024),
            platform::Utf8ToUtf16(platform::JoinPath(platform::ConfigDir(), "Vandrel Pro.log")));
  EXPECT_EQ(platform::ReadUtf16Field(v.bytes(), 36220, 35840), u"*");
  // The next update check is about 30 days from now.
  platform::FileTime next = static_cast<platform::FileTime>(v.U64(132));
  platform::FileTime expected = platform::FileTimeNow() + 30LL * 86400 * platform::kFileTimePerSecond;
  EXPECT_LT(std::llabs(next - expected), 600 * platform::kFileTimePerSecond);

  // The defaults are written with the previous checksum; the first idle save
  // writes the record again with its true checksum, and a second writes nothing.
  EXPECT_EQ(Stored(), b);
  settings.Save();
  std::vector<std::uint8_t> stored = Stored();
  EXPECT_EQ(v.U32(0), 0u);
  EXPECT_EQ(platform::LeView(stored.data(), stored.size()).U32(0), Sum(stored));
  auto t = FileTime();
  std::string before = reg->Serialize();
  settings.Save();
  EXPECT_EQ(reg->Serialize(), before);
  EXPECT_EQ(FileTime(), t);
  EXPECT_FALSE(reg->HasPendingChanges());

  // The association was registered.
  EXPECT_TRUE(std::filesystem::exists(platform::DataHomeDir() + "/mime/packages/Quenmar.FileSignature.xml"));
  std::ifstream desktop(platform::DataHomeDir() + "/applications/Quenmar.FileSignature.desktop");
  std::string all((std::istreambuf_iterator<char>(desktop)), {});
  EXPECT_NE(all.find(" /addsig %f\n"), std::string::npos);
  EXPECT_NE(all.find("MimeType=application/x-quenmar-filesignature;"), std::string::npos);
}

TEST_F(SettingsFixture, ReservedBytesSurviveAndOnlyTheChangedFieldIsSaved) {
  std::vector<std::uint8_t> rec(112004);
  for (std::size_t i = 4; i < rec.size(); ++i) rec[i] = std::uint8_t(i * 31 + 1);
  // Keep the fields the load checks inside their ranges.
  platform::LeWriter w(rec.data(), rec.size());
  w.I32(172, 4);
  w.I32(176, 3);
  w.I32(180, 10);
  w.I32(184, 1 << 20);
  w.I32(124, 100);
  w.I32(128, 7);
  w.I32(48, 2);
  for (std::size_t off : {17788u + 8190u, 25980u + 8190u, 34172u + 2046u}) w.U16(off, 0);
  w.U32(0, Sum(rec));
  reg->SetBinary(kProgramKey, u"Settings", rec);
  ASSERT_TRUE(reg->Save());

  ASSERT_EQ(settings.Load(), 1);
  settings.SetSearchThreads(8);
  settings.Save();
  std::vector<std::uint8_t> stored = Stored();
  ASSERT_EQ(stored.size(), rec.size());
  for (std::size_t i = 0; i < rec.size(); ++i) {
    if (i < 4 || (i >= 172 && i < 176) || (i >= 36 && i < 40)) continue;  // checksum, the field, Loaded
    ASSERT_EQ(stored[i], rec[i]) << "byte " << i;
  }
  platform::LeView v(stored.data(), stored.size());
  EXPECT_EQ(v.I32(172), 8);
  EXPECT_EQ(v.I32(36), 1);
  EXPECT_EQ(v.U32(0), Sum(stored));
}

TEST_F(SettingsFixture, BadStoredValuesGiveDefaults) {
  std::vector<std::uint8_t> good(112004);
  good[200] = 5;
  platform::LeWriter(good.data(), good.size()).U32(0, Sum(good));
  std::vector<std::uint8_t> shortValue(good.begin(), good.begin() + 112000);  // the sum of a short value still matches
  std::vector<std::uint8_t> longValue = good;
  longValue.push_back(0);
  std::vector<std::uint8_t> badSum = good;
  badSum[5000] ^= 1;
  struct Case {
    const char* what;
    platform::RegValue value;
  } cases[] = {
      {"wrong type", platform::RegValue::Dword(1)},
      {"too short", platform::RegValue::Binary(shortValue)},
      {"too long", platform::RegValue::Binary(longValue)},
      {"bad checksum", platform::RegValue::Binary(badSum)},
  };
  for (auto& c : cases) {
    reg->Set(kProgramKey, u"Settings", c.value);
    AppSettings s;
    s.SetRegistry(reg.get());
    EXPECT_EQ(s.Load(), 0) << c.what;
    EXPECT_EQ(s.ReadRetries(), 10) << c.what;
    EXPECT_EQ(s.Bytes()[200], 0) << c.what;
  }
  reg->Set(kProgramKey, u"Settings", platform::RegValue::Binary(good));
  EXPECT_EQ(settings.Load(), 1);
  EXPECT_EQ(settings.Bytes()[200], 5);
}

TEST_F(SettingsFixture, EditsThatCancelInTheSumAreStillSaved) {
  settings.Load();
  settings.Save();
  // +1 in one word and -1 in another leave the additive checksum as it was.
  settings.SetLogToFile(1);
  settings.SetConfirmExit(0);
  ASSERT_EQ(settings.ComputeChecksum(), settings.Checksum());
  settings.Save();
  AppSettings reread;
  reread.SetRegistry(reg.get());
  reg->Reload();
  ASSERT_EQ(reread.Load(), 1);
  EXPECT_EQ(reread.LogToFile(), 1);
  EXPECT_EQ(reread.ConfirmExit(), 0);
}

TEST_F(SettingsFixture, OutOfRangeFieldsAndUnterminatedTextsAreMended) {
  std::vector<std::uint8_t> rec(112004, 0x41);  // every text field full of 'A' with no terminator
  platform::LeWriter w(rec.data(), rec.size());
  w.I32(172, 0);         // SearchThreads below 1
  w.I32(176, -5);        // ReadRetries
  w.I32(184, 1 << 30);   // SearchBufferSize beyond reason
  w.I32(124, 0);         // MaxLogSizeKB
  w.I32(180, 99999999);  // RetryPauseMs
  w.U32(0, Sum(rec));
  reg->SetBinary(kProgramKey, u"Settings", rec);
  ASSERT_EQ(settings.Load(), 1);
  EXPECT_EQ(settings.SearchThreads(), 1);
  EXPECT_EQ(settings.ReadRetries(), 10);
  EXPECT_EQ(settings.SearchBufferSize(), 0);
  EXPECT_EQ(settings.EffectiveSearchBufferSize(), 2097152);
  EXPECT_EQ(settings.MaxLogSizeKB(), 10240);
  EXPECT_EQ(settings.RetryPauseMs(), 0);
  EXPECT_EQ(settings.DestinationFolder().size(), 4095u);
  EXPECT_EQ(settings.LogFileName().size(), 1023u);
  EXPECT_EQ(settings.NameMask().size(), 35839u);
}

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

// A record that fails its load falls back to the defaults, which register the file
// association; a second failed load finds it registered and touches nothing in the
// data folder: no file is rewritten and the desktop's databases are not rebuilt.
// A file that differs is written again, and only its own database rebuilt.
TEST_F(SettingsFixture, AFailedLoadTwiceRegistersTheAssociationOnce) {
  test::TempDir scratch;
  const std::string bin = scratch / "bin", log = scratch / "helpers.log", data = scratch / "data";
  std::filesystem::create_directories(bin);
  for (const char* helper : {"update-mime-database", "update-desktop-database"}) {
    std::ofstream(bin + "/" + helper) << "#!/bin/sh\necho \"$(basename \"$0\") $1\" >> '" << log << "'\n";
    std::filesystem::permissions(bin + "/" + helper, std::filesystem::perms::owner_all);
  }
  ScopedEnv path("PATH", bin + ":/usr/bin:/bin");
  ScopedEnv dataHome("XDG_DATA_HOME", data);
  const std::string mime = data + "/mime/packages/Quenmar.FileSignature.xml";
  const std::string desktop = data + "/applications/Quenmar.FileSignature.desktop";

  std::vector<std::uint8_t> broken(112004, 7);  // its checksum word does not match
  auto failedLoad = [&] {
    reg->SetBinary(kProgramKey, u"Settings", broken);
    AppSettings s;
    s.SetRegistry(reg.get());
    EXPECT_EQ(s.Load(), 0);
    EXPECT_EQ(s.ReadRetries(), 10);  // the defaults
  };
  auto inode = [](const std::string& p) {
    struct stat st{};
    return stat(p.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
  };

  failedLoad();
  ASSERT_NE(inode(mime), 0u);
  ASSERT_NE(inode(desktop), 0u);
  const ino_t mimeInode = inode(mime), desktopInode = inode(desktop);
  EXPECT_EQ(ReadAll(log), "update-mime-database " + data + "/mime\n" + "update-desktop-database " + data +
                              "/applications\n");

  failedLoad();
  EXPECT_EQ(inode(mime), mimeInode);  // not replaced
  EXPECT_EQ(inode(desktop), desktopInode);
  EXPECT_EQ(ReadAll(log), "update-mime-database " + data + "/mime\n" + "update-desktop-database " + data +
                              "/applications\n");

  std::ofstream(desktop, std::ios::app) << "Hidden=true\n";  // edited by hand
  failedLoad();
  EXPECT_EQ(inode(mime), mimeInode);
  EXPECT_NE(ReadAll(desktop).find(" /addsig %f\n"), std::string::npos);
  EXPECT_EQ(ReadAll(desktop).find("Hidden"), std::string::npos);
  EXPECT_EQ(ReadAll(log), "update-mime-database " + data + "/mime\n" + "update-desktop-database " + data +
                              "/applications\n" + "update-desktop-database " + data + "/applications\n");
}

TEST(AppSettingsFallback, HoldsTheDefaultsUntilTheApplicationSetsItsRecord) {
  SetSettings(nullptr);
  EXPECT_EQ(Settings().ReadRetries(), 10);
  EXPECT_EQ(Settings().SearchThreads(), 1);
  EXPECT_EQ(Settings().AutoContinueQueue(), 1);
  AppSettings own;
  own.SetReadRetries(3);
  SetSettings(&own);
  EXPECT_EQ(Settings().ReadRetries(), 3);
  SetSettings(nullptr);
}

TEST(AppSettingsRanges, EditorsGetTheRangesTheRecordKeeps) {
  struct Case {
    std::size_t offset;
    std::int32_t low, high;
  };
  for (const Case& c : {Case{AppSettings::kReadRetriesOffset, 0, 100}, Case{AppSettings::kRetryPauseMsOffset, 0, 60000},
                        Case{AppSettings::kMaxLogSizeKBOffset, 1, 102400}}) {
    std::int32_t low = -7, high = -7;
    ASSERT_TRUE(AppSettings::FieldRange(c.offset, low, high)) << c.offset;
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
  }
  std::int32_t low = 0, high = 0;
  EXPECT_FALSE(AppSettings::FieldRange(AppSettings::kShowSplashOffset, low, high));
}
