// The sector pass over the free drive space only: after a file-system pass it reads
// and tests only the clusters the clusters bitmap marks free, counts its progress in
// them and reports their number; without a bitmap it reads the whole volume. The
// same pass over the entire drive finds the live files too.
#include <gtest/gtest.h>

#include "BuiltinTypesFixture.h"
#include "engine/fs/FreeClusterMap.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

class FreeSpacePassThreads : public test::BuiltinTypesComputerFixture {
 protected:
  void SetUp() override {
    BuiltinTypesComputerFixture::SetUp();
    manifest = test::FixtureManifest("fat16");
  }

  bool RunFileSystemPass(const std::shared_ptr<CVolume>& v) {
    const std::size_t before = ui.Count(WM_FILE_SYSTEM_PASS_DONE);
    if (!v->StartAnalyseFileSystem()) return false;
    if (!ui.RunUntil(*computer, [&] { return ui.Count(WM_FILE_SYSTEM_PASS_DONE) > before && !v->HasAnalysisThread(); }))
      return false;
    return computer->FinishAnalysis(v, false) == 1;
  }
  bool RunSectorPass(const std::shared_ptr<CVolume>& v, bool freeOnly) {
    const std::size_t before = ui.Count(WM_SECTOR_PASS_DONE);
    if (!v->StartAnalyseSectors(CVolume::kLostFileSearch, freeOnly)) return false;
    if (!ui.RunUntil(*computer, [&] { return ui.Count(WM_SECTOR_PASS_DONE) > before && !v->HasAnalysisThread(); },
                     std::chrono::seconds(60)))
      return false;
    return computer->FinishAnalysis(v, false) == 1;
  }

  std::int64_t ClusterOffset(std::int64_t cluster) const {
    return manifest["first_data_sector"].get<std::int64_t>() * 512 +
           (cluster - 2) * manifest["cluster_size"].get<std::int64_t>();
  }
  bool Allocated(std::int64_t cluster) const {
    for (const auto& run : manifest["allocated_clusters"]) {
      const std::int64_t first = run[0].get<std::int64_t>();
      if (cluster >= first && cluster < first + run[1].get<std::int64_t>()) return true;
    }
    return false;
  }
  std::int64_t FreeClusterCount() const {
    std::int64_t used = 0;
    for (const auto& run : manifest["allocated_clusters"]) used += run[1].get<std::int64_t>();
    return manifest["cluster_count"].get<std::int64_t>() - used;
  }
  // The file-system record of a manifest object (by its first cluster).
  const FoundObject* Record(const std::shared_ptr<CVolume>& v, const std::string& path) const {
    for (const auto& o : manifest["objects"])
      if (o["path"] == path) return v->Store().FindByOffset(ClusterOffset(o["first_cluster"].get<std::int64_t>()));
    return nullptr;
  }

  nlohmann::json manifest;
};

}  // namespace

TEST_F(FreeSpacePassThreads, OnlyTheFreeClustersAreSearched) {
  auto v = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(RunFileSystemPass(v));
  ASSERT_TRUE(RunSectorPass(v, true));
  EXPECT_TRUE(v->SectorPassFreeClustersOnly());

  // Total and current count the free clusters; their number is reported.
  EXPECT_EQ(progress.freeClusters.load(), FreeClusterCount());
  EXPECT_EQ(progress.total.load(), FreeClusterCount());
  EXPECT_EQ(progress.current.load(), FreeClusterCount());

  // The deleted picture lies in free clusters: the pass confirms it.
  const FoundObject* deleted = Record(v, "/DELETED.JPG");
  ASSERT_NE(deleted, nullptr);
  EXPECT_TRUE(deleted->flags.Any(OBJ_DELETED));
  EXPECT_TRUE(deleted->flags.Any(OBJ_CARVED));
  // The live pictures lie in clusters in use: not read, not marked.
  for (const char* path : {"/Überraschung Fotos/Geburtstag 2021.jpg", "/Überraschung Fotos/IMG_0001.JPG",
                           "/DCIM/100CANON/IMG_0002.JPG"}) {
    SCOPED_TRACE(path);
    const FoundObject* live = Record(v, path);
    ASSERT_NE(live, nullptr);
    EXPECT_FALSE(live->flags.Any(OBJ_CARVED));
  }
  // Nothing the pass found lies in a cluster in use, nor before the data area (the
  // boot sector is not found again).
  const auto view = v->Store().Read();
  std::size_t carved = 0;
  for (std::size_t i = 0; i < view.Count(); ++i) {
    const FoundObject* r = view.At(i);
    if (!r->flags.Any(OBJ_CARVED) || r->IsDevice()) continue;
    ++carved;
    ASSERT_GE(r->offset, ClusterOffset(2));
    EXPECT_FALSE(Allocated((r->offset - ClusterOffset(2)) / manifest["cluster_size"].get<std::int64_t>() + 2))
        << r->offset;
  }
  EXPECT_GT(carved, 0u);
  EXPECT_FALSE(v->DeviceNode()->flags.Any(OBJ_CARVED));
}

TEST_F(FreeSpacePassThreads, TheEntireDriveFindsTheLiveFilesToo) {
  auto v = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(RunFileSystemPass(v));
  ASSERT_TRUE(RunSectorPass(v, false));
  EXPECT_FALSE(v->SectorPassFreeClustersOnly());
  EXPECT_EQ(progress.freeClusters.load(), FreeClusterCount());
  EXPECT_EQ(progress.total.load(), v->Geometry().totalClusters);
  for (const char* path : {"/DELETED.JPG", "/Überraschung Fotos/Geburtstag 2021.jpg", "/DCIM/100CANON/IMG_0002.JPG"}) {
    SCOPED_TRACE(path);
    const FoundObject* r = Record(v, path);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->flags.Any(OBJ_CARVED));
  }
  EXPECT_TRUE(v->DeviceNode()->flags.Any(OBJ_CARVED));  // its own boot sector
}

TEST_F(FreeSpacePassThreads, WithoutAFileSystemPassTheWholeVolumeIsFree) {
  // The planted files of the reformatted volume, searched before any file-system
  // pass: the free space is all of it.
  const nlohmann::json lost = test::FixtureManifest("lost");
  auto v = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(v->MakeFreeClusterMap()->CoversWholeVolume());
  ASSERT_TRUE(RunSectorPass(v, true));
  EXPECT_EQ(progress.freeClusters.load(), v->Geometry().totalClusters);
  for (const auto& f : lost["planted"]) {
    SCOPED_TRACE(f["path_before_format"].get<std::string>());
    EXPECT_NE(v->Store().FindByOffset(f["offset"].get<std::int64_t>()), nullptr);
  }
}
