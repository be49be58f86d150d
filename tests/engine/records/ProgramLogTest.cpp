#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/UserCallbacks.h"
#include "platform/Text.h"
#include "support/TempDir.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct LogFixture : ::testing::Test {
  RecordingNotifier notifier;
  ProgramLog log;
  void SetUp() override { SetNotifier(&notifier); }
  void TearDown() override { SetNotifier(nullptr); }
};

}  // namespace

TEST_F(LogFixture, LineFormatsWithoutStamps) {
  log.SetTimeStamps(false);
  log.Info(u"information");
  log.Error(u"Read Timeout!");
  log.Debug(u"debug");
  log.Critical(u"critical");
  log.Plain(u"plain");
  log.InfoId(135, 2, 5);
  log.ErrorId(172, u"Drive 0", std::int64_t(1) << 40, 3);
  EXPECT_EQ(log.Lines(), (std::vector<std::u16string>{
                             u"information", u"ERR: Read Timeout!", u"DBG: debug", u"CRITICALERR: critical", u"plain",
                             u"Analysis duration: 2 minute(s), 5 second(s).",
                             u"ERR: Volume Drive 0 at position 1099511627776 not read, retry 3"}));
}

TEST_F(LogFixture, StampedLinesBeginWithDateTimeAndHyphen) {
  log.Info(u"text");
  log.Error(u"bad");
  std::string info = platform::Utf16ToUtf8(log.Line(0));
  std::string err = platform::Utf16ToUtf8(log.Line(1));
  // The C locale's short date and time: "12/10/26 10:17:03".
  EXPECT_TRUE(std::regex_match(info, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d - text)"))) << info;
  EXPECT_TRUE(std::regex_match(err, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d - ERR: bad)"))) << err;
}

TEST_F(LogFixture, LinesArePostedWithTheirOwnText) {
  log.SetTimeStamps(false);
  log.Info(u"first");
  log.Info(u"second");
  auto posted = notifier.Messages(WM_LOG_LINE);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].text, u"first");
  EXPECT_EQ(posted[1].text, u"second");
  log.SendStatus(57211);
  auto status = notifier.Messages(WM_SET_STATUS_TEXT);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].wParam, 57211);
  // Without a window nothing is posted, and the line is still kept.
  SetNotifier(nullptr);
  log.Info(u"third");
  EXPECT_EQ(notifier.Count(WM_LOG_LINE), 2u);
  EXPECT_EQ(log.LineCount(), 3u);
}

TEST_F(LogFixture, WriteThroughWritesUtf8LinesAndAppends) {
  test::TempDir dir;
  const std::string path = dir / "Vandrel Pro.log";
  {
    std::ofstream(path) << "earlier run\n";
  }
  log.SetTimeStamps(false);
  log.SetFilePath(platform::Utf8ToUtf16(path));
  log.SetWriteThrough(true);
  log.Info(u"caf\u00e9");
  log.Error(u"second");
  EXPECT_EQ(ReadFile(path), "earlier run\ncaf\xC3\xA9\nERR: second\n");
  log.CloseFile();
  log.SetCreateNew(true);
  log.Info(u"fresh");
  EXPECT_EQ(ReadFile(path), "fresh\n");
}

TEST_F(LogFixture, BadLogPathTurnsWriteThroughOffAndKeepsLines) {
  test::TempDir dir;
  log.SetTimeStamps(false);
  log.SetFilePath(platform::Utf8ToUtf16(dir / "missing/folder/x.log"));
  log.SetWriteThrough(true);
  log.Info(u"kept");
  EXPECT_FALSE(log.WriteThrough());
  EXPECT_EQ(log.Lines(), std::vector<std::u16string>{u"kept"});
  EXPECT_EQ(notifier.Count(WM_LOG_LINE), 1u);
}

TEST_F(LogFixture, LoggingSettingsTakeEffect) {
  test::TempDir dir;
  const std::string path = dir / "from-settings.log";
  {
    std::ofstream(path) << std::string(3000, 'x') << "\n";
  }
  AppSettings s;
  s.SetLogToFile(1);
  s.SetClearLogAtStart(1);
  s.SetMaxLogSizeKB(1);
  s.SetLogFileName(platform::Utf8ToUtf16(path));
  log.SetTimeStamps(false);
  log.ApplySettings(s);
  log.Info(u"start");  // cleared at start
  EXPECT_EQ(ReadFile(path), "start\n");
  for (int i = 0; i < 200; ++i) log.Info(u"0123456789");  // beyond 1 KB the file starts anew
  EXPECT_LE(ReadFile(path).size(), 1024u);
  EXPECT_FALSE(ReadFile(path + ".old").empty());
  s.SetLogToFile(0);
  log.ApplySettings(s);
  EXPECT_FALSE(log.WriteThrough());
}

TEST_F(LogFixture, ShowLogFileWritesAPrivateFileAndOpensIt) {
  ScriptedUserCallbacks ui;
  SetUserCallbacks(&ui);
  log.SetTimeStamps(false);
  log.Info(u"one");
  log.Error(u"two");
  EXPECT_EQ(log.ShowLogFile(), 1);
  const std::string path = log.ShownLogPath();
  EXPECT_EQ(ReadFile(path), "one\nERR: two\n");
  EXPECT_NE(path.find("/Recovery log file.txt"), std::string::npos);
  struct stat st{};
  ASSERT_EQ(stat(path.substr(0, path.rfind('/')).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ui.Opened(), std::vector<std::string>{path});
  SetUserCallbacks(nullptr);
}

TEST(ProgramLogThreads, EightThreadsLoseNoLine) {
  test::TempDir dir;
  RecordingNotifier notifier;
  SetNotifier(&notifier);
  ProgramLog log;
  log.SetTimeStamps(false);
  log.SetFilePath(platform::Utf8ToUtf16(dir / "threads.log"));
  log.SetWriteThrough(true);
  constexpr int kThreads = 8, kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) log.Info(platform::Format(u"thread %d line %d", t, i));
    });
  for (auto& th : threads) th.join();
  SetNotifier(nullptr);
  EXPECT_EQ(log.LineCount(), std::size_t(kThreads * kLines));
  EXPECT_EQ(notifier.Count(WM_LOG_LINE), std::size_t(kThreads * kLines));
  std::string file = ReadFile(dir / "threads.log");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), kThreads * kLines);
  auto lines = log.Lines();
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
}

TEST_F(LogFixture, DebuggerEchoWritesEachLineToStandardErrorWhileOn) {
  log.SetTimeStamps(false);
  AppSettings s;
  s.FillDefaults();
  s.SetLogToFile(0);
  s.SetLogToDebugger(1);
  log.ApplySettings(s);
  EXPECT_TRUE(log.DebuggerEcho());
  testing::internal::CaptureStderr();
  log.Info(u"to the debug window");
  log.Error(u"\u00e9crit");
  std::string echoed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(echoed, "to the debug window\nERR: \xc3\xa9" "crit\n");

  s.SetLogToDebugger(0);
  log.ApplySettings(s);
  EXPECT_FALSE(log.DebuggerEcho());
  testing::internal::CaptureStderr();
  log.Info(u"kept quiet");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(log.LineCount(), 3u);
}

TEST_F(LogFixture, AppliedSettingsSendLinesToTheChosenFile) {
  test::TempDir dir;
  const std::string first = dir / "first.log";
  const std::string second = dir / "second.log";
  AppSettings s;
  s.FillDefaults();
  s.SetLogToDebugger(0);
  s.SetLogToFile(1);
  s.SetLogFileName(platform::Utf8ToUtf16(first));
  log.SetTimeStamps(false);
  log.ApplySettings(s);
  log.Info(u"one");
  // A later apply (the settings sheet closing) moves the log to another file.
  s.SetLogFileName(platform::Utf8ToUtf16(second));
  log.ApplySettings(s);
  log.Info(u"two");
  EXPECT_EQ(ReadFile(first), "one\n");
  EXPECT_EQ(ReadFile(second), "two\n");
}
