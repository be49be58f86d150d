// An analysis with the signature pass installed: the whole road from the queue to
// the carved objects of the store, on a reformatted volume whose files no file
// system lists any more (tests/fixtures/make_lost.sh).
#include <gtest/gtest.h>

#include <map>

#include "BuiltinTypesFixture.h"
#include "engine/records/ProgramLog.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

class AnalysisSignaturePassThreads : public test::BuiltinTypesComputerFixture {
 protected:
  void SetUp() override {
    BuiltinTypesComputerFixture::SetUp();
    settings.SetSignaturePass(1);
  }
};

}  // namespace

TEST_F(AnalysisSignaturePassThreads, AnAnalysisOfAReformattedVolumeCarvesThePlantedFiles) {
  const nlohmann::json manifest = test::FixtureManifest("lost");
  auto image = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(computer->StartAnalysis(image), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }, std::chrono::seconds(60)));
  CVolume::JoinAnalysisThreads();

  EXPECT_EQ(ui.Count(WM_FILE_SYSTEM_PASS_DONE), 1u);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 1u);
  EXPECT_EQ(LogCount(u"Analysis of lost.img completed"), 1u);
  // Its own boot sector, found again, is the image itself: no partition is made.
  EXPECT_TRUE(image->DeviceNode()->flags.Any(OBJ_CARVED));
  EXPECT_EQ(computer->Volumes().GetCount(), 1);

  const auto& planted = manifest["planted"];
  for (const auto& f : planted) {
    SCOPED_TRACE(f["path_before_format"].get<std::string>());
    const FoundObject* r = image->Store().FindByOffset(f["offset"].get<std::int64_t>());
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->flags.Any(OBJ_CARVED));
    EXPECT_EQ(r->typeId, f["type_id"].get<std::int16_t>());
  }
  EXPECT_EQ(image->SectorPassCounters().files.load(), std::int64_t(planted.size()));
  EXPECT_TRUE(Logged(platform::Format(u"Analysis completed. Found 0 folder(s) and %d file(s).",
                                      std::int64_t(planted.size()))));
}

TEST_F(AnalysisSignaturePassThreads, AnNtfsVolumeListsNoRecordNumberTwice) {
  // mkntfs keeps copies of the first records in the $MFTMirr clusters, where the
  // signature pass finds them again.
  auto image = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("ntfs.img")));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(computer->StartAnalysis(image), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }, std::chrono::seconds(60)));
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 1u);

  std::map<std::int32_t, int> records;  // record number -> objects listed for it
  {
    const auto view = image->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      const FoundObject* o = view.At(i);
      if (o->IsDevice() || o->flags.Any(OBJ_RAW) || o->id < 0) continue;
      ++records[o->id];
    }
  }
  ASSERT_GE(records.size(), 20u);
  for (std::int32_t system : {0, 1, 2, 3}) EXPECT_EQ(records[system], 1) << "record " << system;
  for (const auto& [number, count] : records) EXPECT_EQ(count, 1) << "record " << number;
}
