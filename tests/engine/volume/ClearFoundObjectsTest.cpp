// Clearing a volume's found objects before its passes start again: the store, the
// clusters bitmap and both passes' counters go; a running pass, or a user of the
// store that can't let go, refuses it with a message; the others let go first.
#include <gtest/gtest.h>

#include <vector>

#include "engine/fs/FreeClusterMap.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/AnalysisTestSupport.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

using namespace std::chrono_literals;

class ClearFoundObjectsThreads : public test::ComputerFixture {
 protected:
  // A file-system pass alone over the fat16 fixture, run to its end and finished
  // as the wizard finishes it.
  std::shared_ptr<CVolume> AnalysedFat16() {
    auto v = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
    if (!v) return nullptr;
    const std::size_t before = ui.Count(WM_FILE_SYSTEM_PASS_DONE);
    if (!v->StartAnalyseFileSystem()) return nullptr;
    if (!ui.RunUntil(*computer, [&] { return ui.Count(WM_FILE_SYSTEM_PASS_DONE) > before && !v->HasAnalysisThread(); }))
      return nullptr;
    computer->FinishAnalysis(v, false);
    return v;
  }
};

}  // namespace

TEST_F(ClearFoundObjectsThreads, TheStoreTheBitmapAndBothCountersGo) {
  auto v = AnalysedFat16();
  ASSERT_NE(v, nullptr);
  ASSERT_GT(v->Store().Count(), 10u);
  ASSERT_GT(v->ClustersBitmap().BitCount(), 0u);
  ASSERT_GT(v->FileSystemPassCounters().files.load(), 0);
  v->SectorPassCounters().files.store(3);
  v->SectorPassCounters().folders.store(1);
  const std::uint32_t serial = v->Store().Serial();

  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kCleared);
  EXPECT_TRUE(answers.Messages().empty());
  // Only the volume's own node is left, under a new serial (old handles die).
  EXPECT_EQ(v->Store().Count(), 1u);
  EXPECT_EQ(v->Store().Read().At(0), v->DeviceNode().get());
  EXPECT_NE(v->Store().Serial(), serial);
  EXPECT_EQ(v->ClustersBitmap().BitCount(), 0u);
  EXPECT_EQ(v->FileSystemPassCounters().files.load(), 0);
  EXPECT_EQ(v->FileSystemPassCounters().folders.load(), 0);
  EXPECT_EQ(v->SectorPassCounters().files.load(), 0);
  EXPECT_EQ(v->SectorPassCounters().folders.load(), 0);
  // With nothing in the bitmap the free space is the whole volume.
  EXPECT_TRUE(v->MakeFreeClusterMap()->CoversWholeVolume());
}

TEST_F(ClearFoundObjectsThreads, ARunningPassRefusesWithAMessage) {
  test::UseGatedParser(gate);
  gate.fileAt.store(4096);
  auto v = MemoryVolume(std::vector<std::uint8_t>(64 * 1024));
  ASSERT_TRUE(v->StartAnalyseFileSystem());
  ASSERT_TRUE(gate.WaitEntered(1));
  const std::size_t count = v->Store().Count();

  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kRefusedPass);
  ASSERT_EQ(answers.Messages().size(), 1u);
  EXPECT_NE(answers.Messages()[0].find(u"Memory drive is being analysed"), std::u16string::npos);
  EXPECT_EQ(v->Store().Count(), count);

  gate.open.store(true);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return !v->HasAnalysisThread(); }));
  computer->FinishAnalysis(v, false);
  EXPECT_EQ(v->FileSystemPassCounters().files.load(), 1);
  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kCleared);
  EXPECT_EQ(v->FileSystemPassCounters().files.load(), 0);
}

TEST_F(ClearFoundObjectsThreads, AUserThatCantLetGoRefusesBeforeAnyOtherLetsGo) {
  auto v = AnalysedFat16();
  ASSERT_NE(v, nullptr);
  std::vector<std::string> calls;
  bool busy = true;
  CVolume::StoreUser copying;
  copying.refusal = [&](CVolume& volume) -> std::u16string {
    calls.push_back("refusal");
    return busy && &volume == v.get() ? u"Files are being recovered." : u"";
  };
  CVolume::StoreUser finding;
  finding.release = [&](CVolume& volume) {
    calls.push_back("release");
    EXPECT_EQ(&volume, v.get());
  };
  const int a = CVolume::AddStoreUser(copying);
  const int b = CVolume::AddStoreUser(finding);
  const std::size_t count = v->Store().Count();

  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kRefusedInUse);
  EXPECT_EQ(calls, (std::vector<std::string>{"refusal"}));
  ASSERT_EQ(answers.Messages().size(), 1u);
  EXPECT_EQ(answers.Messages()[0], u"Files are being recovered.");
  EXPECT_EQ(v->Store().Count(), count);

  busy = false;
  calls.clear();
  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kCleared);
  EXPECT_EQ(calls, (std::vector<std::string>{"refusal", "release"}));
  EXPECT_EQ(v->Store().Count(), 1u);

  CVolume::RemoveStoreUser(a);
  CVolume::RemoveStoreUser(b);
  calls.clear();
  EXPECT_EQ(v->ClearFoundObjects(), CVolume::ClearResult::kCleared);
  EXPECT_TRUE(calls.empty());
}
