// The configuration folder on the drive being read: while a volume that holds it is
// analysed, nothing is written into it (the settings saved meanwhile and the log
// lines wait in memory); when the analysis ends, both are written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "AnalysisTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/ConfigFolderGuard.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;

namespace {

// Every file below a folder with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> Listing(const std::string& root) {
  std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[e.path().string()] = {e.file_size(), e.last_write_time()};
  return out;
}

std::string Text(const std::string& path) {
  const std::vector<std::uint8_t> bytes = test::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

class ConfigFolderThreads : public test::ComputerFixture {
 protected:
  void SetUp() override {
    const char* old = std::getenv("VANDREL_CONFIG_DIR");
    oldConfig_ = old ? old : "";
    config_ = dir_ / "config";
    std::filesystem::create_directories(config_);
    setenv("VANDREL_CONFIG_DIR", config_.c_str(), 1);
    platform::ResetCurrentUserRegistry();
    ComputerFixture::SetUp();
  }
  void TearDown() override {
    ComputerFixture::TearDown();
    ConfigFolderGuard::SetMatcher(nullptr);
    setenv("VANDREL_CONFIG_DIR", oldConfig_.c_str(), 1);
    platform::ResetCurrentUserRegistry();
  }
  test::TempDir dir_;
  std::string config_;
  std::string oldConfig_;
};

}  // namespace

TEST_F(ConfigFolderThreads, NothingIsWrittenIntoItWhileItsVolumeIsAnalysedAndAllIsWrittenAfterwards) {
  std::shared_ptr<MemoryBlockDevice> device;
  auto disk = MemoryVolume(std::vector<std::uint8_t>(64 * 512), CVolume::kPhysicalDrive, &device);
  auto other = MemoryVolume(std::vector<std::uint8_t>(64 * 512));
  // The configuration folder lies on `disk` (a fake device match), not on `other`.
  ConfigFolderGuard::SetMatcher([&](const std::string& folder, const CVolume& v) {
    EXPECT_EQ(folder, config_);
    return &v == disk.get() ? DeviceMatch::Same : DeviceMatch::Different;
  });
  const std::string logFile = config_ + "/Vandrel Pro.log";
  ProgramLog& log = computer->GetLog();
  log.SetFilePath(platform::Utf8ToUtf16(logFile));
  log.SetWriteThrough(true);
  log.Info(u"before the analysis");
  settings.SetReadRetries(3);
  ASSERT_EQ(settings.Write(), 1);
  const auto before = Listing(config_);
  ASSERT_EQ(before.count(config_ + "/registry.reg"), 1u);

  // The analysis of `disk` waits on its first read until the test lets it go.
  device->InjectFault(0, MemoryBlockDevice::Fault::Hang);
  ASSERT_EQ(computer->StartAnalysis(disk), 1);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (device->ReadCalls() == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ConfigFolderGuard::ConfigHeld());
  // Settings saved, file types written, lines logged meanwhile: none reaches the folder.
  settings.SetReadRetries(7);
  EXPECT_EQ(settings.Save(), 1);  // taken: it is written later
  log.Info(u"while the analysis runs");
  EXPECT_EQ(Listing(config_), before);
  EXPECT_TRUE(platform::CurrentUserRegistry().HasPendingChanges());

  device->ReleaseHangs();
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_FALSE(ConfigFolderGuard::ConfigHeld());
  EXPECT_FALSE(platform::CurrentUserRegistry().HasPendingChanges());
  // Written now: the settings as last saved, and every line in its order.
  platform::RegistryStore reread(config_ + "/registry.reg");
  AppSettings loaded;
  loaded.SetRegistry(&reread);
  EXPECT_EQ(loaded.Load(), 1);
  EXPECT_EQ(loaded.ReadRetries(), 7);
  const std::string text = Text(logFile);
  const std::size_t a = text.find("before the analysis"), b = text.find("while the analysis runs"),
                    said = text.find("which is being read: nothing is written there until that work ends");
  EXPECT_NE(a, std::string::npos);
  EXPECT_NE(b, std::string::npos);
  EXPECT_NE(said, std::string::npos);
  EXPECT_LT(a, said);
  EXPECT_LT(said, b);
  EXPECT_EQ(text.find("which is being read", said + 1), std::string::npos);  // said once

  // Another drive's analysis holds nothing.
  ASSERT_EQ(computer->StartAnalysis(other), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(2); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(Text(logFile).find("which is being read", said + 1), std::string::npos);
}
