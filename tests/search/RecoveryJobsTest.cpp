// The program's two recovery jobs live in the computer object: made once, the same
// for every caller, and stopped and joined when the computer goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Notifier.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/TempDir.h"

namespace {

struct RecoveryJobsThreads : ::testing::Test {
  test::TempDir dir;
  RecordingNotifier notifier;
  ScriptedUserCallbacks answers;
  AppSettings settings;

  void SetUp() override {
    setenv("VANDREL_CONFIG_DIR", dir.path().c_str(), 1);
    SetNotifier(&notifier);
    SetUserCallbacks(&answers);
    settings.FillDefaults();
    settings.SetDestinationFolder(platform::Utf8ToUtf16(dir / "out"));
    SetSettings(&settings);
  }
  void TearDown() override {
    SetSettings(nullptr);
    SetUserCallbacks(nullptr);
    SetNotifier(nullptr);
  }
};

}  // namespace

TEST_F(RecoveryJobsThreads, OneOfEachForTheComputersLifeStoppedWhenItGoes) {
  auto computer = std::make_unique<CLocalComputer>();
  EXPECT_EQ(computer->RecoveryJob(), nullptr);
  CRecovery& recovery = RecoveryJob();
  CRecovery& tryOpen = TryOpenJob();
  EXPECT_EQ(&recovery, computer->RecoveryJob().get());
  EXPECT_EQ(&tryOpen, computer->TryOpenJob().get());
  EXPECT_EQ(recovery.GetKind(), CRecovery::Kind::Recovery);
  EXPECT_EQ(tryOpen.GetKind(), CRecovery::Kind::TryOpen);
  EXPECT_EQ(&RecoveryJob(), &recovery);
  EXPECT_FALSE(computer->InstallRecoveryJobs(std::make_shared<CRecovery>(), std::make_shared<CRecovery>()));
  EXPECT_EQ(&RecoveryJob(), &recovery);

  // A job held at its size question ends when the computer goes: the stop answers
  // the question and the thread is joined.
  std::ofstream(dir / "disk.dsk") << "";
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(dir / "disk.dsk"));
  volume->SetDeviceOpener([](int&) { return std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(65536)); });
  FoundObject o;
  o.id = 5;
  o.flags = OBJ_RAW | OBJ_CARVED | OBJ_NAMED;
  o.SetName(u"carved.bin");
  o.offset = 4096;
  o.size = -1;
  FoundObject* record = volume->Store().RegisterObject(o);
  answers.HoldAnswers(true);
  ASSERT_TRUE(recovery.SetSelection(volume, {record}));
  ASSERT_TRUE(recovery.StartRecovery());
  for (int i = 0; i < 500 && answers.Asked().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(answers.Asked().size(), 1u);
  std::weak_ptr<CRecovery> held = computer->RecoveryJob();
  computer.reset();
  EXPECT_TRUE(held.expired());
  EXPECT_TRUE(answers.Asked()[0].Withdrawn());
  answers.Release();
}
