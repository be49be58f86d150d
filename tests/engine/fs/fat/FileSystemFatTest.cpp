// The FAT parser over the fixture images (FAT12, FAT16, FAT32, FAT16 with 4096-byte
// sectors), against what their manifests say the recipes wrote.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FileSystemFatTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "platform/FileTime.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

using nlohmann::json;

namespace {

std::u16string U16(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }
std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

platform::FileTime Utc(const json& seconds) { return platform::FileTimeFromUnix(seconds.get<std::int64_t>()); }

std::string ExpectedPath(const json& o) { return test::ListedPath(o, true); }

class FatFixture : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    manifest = test::FixtureManifest(GetParam());
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(U16(test::FixtureImage(std::string(GetParam()) + ".img")));
    volume->SetDeviceNodeId(-31);
    ASSERT_EQ(volume->QueryInformation(), 1);
    ASSERT_EQ(volume->BootSetup(), 1);
    fat = test::RunFatPass(*volume, progress);
    rootId = volume->Store().RootFolderId();
  }
  void TearDown() override {
    volume.reset();
    g_Log = nullptr;
  }

  // Every record the pass found, by the path GetObjectPath and its name give.
  std::multimap<std::string, FoundObject*> ByPath() const {
    std::multimap<std::string, FoundObject*> out;
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      FoundObject* r = view.At(i);
      if (r->IsDevice() || (r->id == rootId && r->Name() == u".")) continue;
      std::u16string folder;
      volume->GetObjectPath(*r, folder);
      out.emplace("/" + U8(folder) + U8(r->Name()), r);
    }
    return out;
  }
  // The objects with data (first cluster 0 is an empty file, which is not listed).
  std::vector<json> Listed() const {
    std::vector<json> out;
    for (const json& o : manifest["objects"])
      if (o["first_cluster"].get<std::int64_t>() != 0) out.push_back(o);
    return out;
  }
  std::string ReadSha(const FoundObject& r, std::int64_t size, std::uint32_t chunk) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (std::int64_t at = 0; at < size; at += chunk) {
      const auto n = std::uint32_t(std::min<std::int64_t>(chunk, size - at));
      EXPECT_EQ(volume->ReadObjectData(r, data.data() + at, at, n), n) << U8(r.Name()) << " at " << at;
    }
    return test::Sha256(data.data(), data.size());
  }

  ProgramLog log;
  json manifest;
  ScanProgress progress;
  std::shared_ptr<CVolume> volume;
  CFileSystem_FAT* fat = nullptr;
  std::int32_t rootId = 0;
};

TEST_P(FatFixture, TheParameterBlockIsReadInTheVolumesUnits) {
  const FatParameters p = fat->Parameters();
  const std::int64_t units = manifest["bytes_per_sector"].get<std::int64_t>() / 512;
  EXPECT_EQ(p.bytesPerSector, manifest["bytes_per_sector"].get<std::uint32_t>());
  EXPECT_EQ(p.clusterBytes, manifest["cluster_size"].get<std::uint32_t>());
  EXPECT_EQ(p.clusterCount, manifest["cluster_count"].get<std::uint32_t>());
  EXPECT_EQ(p.fatSector, manifest["reserved_sectors"].get<std::int64_t>() * units);
  EXPECT_EQ(p.rootDirSector, manifest["root_dir_sector"].get<std::int64_t>() * units);
  EXPECT_EQ(p.dataStartSector, manifest["first_data_sector"].get<std::int64_t>() * units);
  const VolumeGeometry g = volume->Geometry();
  EXPECT_EQ(g.bytesPerSector, 512);
  EXPECT_EQ(g.clusterBytes, manifest["cluster_size"].get<std::int32_t>());
  EXPECT_EQ(std::int64_t(g.sectorsPerCluster) * 512, manifest["cluster_size"].get<std::int64_t>());
  EXPECT_EQ(rootId, manifest["file_system"] == "FAT32" ? 2 : 0);
}

TEST_P(FatFixture, EveryLiveAndDeletedObjectIsListedWithItsPathAndFields) {
  const auto found = ByPath();
  const auto listed = Listed();
  EXPECT_EQ(found.size(), listed.size());
  for (const json& o : listed) {
    const std::string path = ExpectedPath(o);
    SCOPED_TRACE(path);
    ASSERT_EQ(found.count(path), 1u);
    const FoundObject& r = *found.find(path)->second;
    const bool folder = o["type"] == "folder";
    EXPECT_EQ(r.IsFolder(), folder);
    EXPECT_EQ(r.flags.Any(OBJ_DELETED), o["state"] == "deleted");
    EXPECT_TRUE(r.flags.Any(OBJ_NAMED));
    EXPECT_EQ(r.size, o["size"].get<std::int64_t>());
    EXPECT_EQ(r.firstCluster, o["first_cluster"].get<std::int64_t>());
    EXPECT_EQ(r.id, o["first_cluster"].get<std::int32_t>());
    EXPECT_EQ(r.attributes, o["attributes"].get<std::uint16_t>());
    const FatParameters p = fat->Parameters();
    EXPECT_EQ(r.offset, p.ClusterOffset(std::uint32_t(r.firstCluster)));
    EXPECT_EQ(r.created, Utc(o["created_utc"]));
    EXPECT_EQ(r.modified, Utc(o["modified_utc"]));
    EXPECT_EQ(r.accessed, Utc(o["accessed_utc"]));
  }
  // Empty files have no cluster and are not listed.
  for (const json& o : manifest["objects"]) {
    if (o["first_cluster"].get<std::int64_t>() == 0) {
      EXPECT_EQ(found.count(ExpectedPath(o)), 0u) << o["path"];
    }
  }
  EXPECT_EQ(volume->FileSystemPassCounters().folders.load() + volume->FileSystemPassCounters().files.load(),
            std::int64_t(listed.size()));
}

TEST_P(FatFixture, LiveFilesReadBackByteExactThroughTheirChains) {
  const auto found = ByPath();
  int files = 0;
  for (const json& o : Listed()) {
    if (o["type"] != "file" || o["state"] != "live") continue;
    SCOPED_TRACE(o["path"].get<std::string>());
    const auto it = found.find(ExpectedPath(o));
    ASSERT_NE(it, found.end());
    EXPECT_EQ(ReadSha(*it->second, o["size"].get<std::int64_t>(), 2 * 1024 * 1024), o["sha256"].get<std::string>());
    ++files;
  }
  EXPECT_GT(files, 20);
}

TEST_P(FatFixture, TheFragmentedFileNeedsItsChain) {
  const json* frag = nullptr;
  for (const json& o : manifest["objects"])
    if (o["path"] == "/frag/Fragmented file.bin") frag = &o;
  ASSERT_NE(frag, nullptr);
  ASSERT_GT((*frag)["cluster_runs"].size(), 1u);  // its chain really is not contiguous
  EXPECT_FALSE((*frag)["contiguous"].get<bool>());
  const auto found = ByPath();
  const auto it = found.find("/frag/Fragmented file.bin");
  ASSERT_NE(it, found.end());
  const FoundObject& r = *it->second;
  const std::int64_t size = (*frag)["size"].get<std::int64_t>();
  const std::string sha = (*frag)["sha256"].get<std::string>();
  // In pieces that cross sector and cluster edges, as a viewer reads; the chain is
  // walked once for all of them.
  const std::uint64_t walks = fat->ChainWalks();
  for (std::uint32_t chunk : {512u, 700u, 4096u, 3000u}) EXPECT_EQ(ReadSha(r, size, chunk), sha) << chunk;
  EXPECT_EQ(fat->ChainWalks(), walks + 1);
  // Read as one run from its first cluster the data is wrong: the chain matters.
  FoundObject contiguous = volume->Store().Snapshot(r);
  contiguous.flags = std::uint16_t(contiguous.flags | OBJ_DELETED);
  EXPECT_NE(ReadSha(contiguous, size, 2 * 1024 * 1024), sha);
  // Past the end of the chain nothing more is read, and the rest is zero.
  const FatParameters p = fat->Parameters();
  const std::int64_t end = (size + p.clusterBytes - 1) / p.clusterBytes * p.clusterBytes;
  std::vector<std::uint8_t> tail(1024, 0xAA);
  EXPECT_EQ(volume->ReadObjectData(r, tail.data(), end - 512, 1024), 512);
  EXPECT_TRUE(std::all_of(tail.begin() + 512, tail.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_P(FatFixture, DeletedContiguousFilesReadBackByteExact) {
  const auto found = ByPath();
  int files = 0;
  for (const json& o : Listed()) {
    if (o["type"] != "file" || o["state"] != "deleted" || !o["contiguous_read_matches"].get<bool>()) continue;
    SCOPED_TRACE(o["path"].get<std::string>());
    const auto it = found.find(ExpectedPath(o));
    ASSERT_NE(it, found.end());
    EXPECT_EQ(ReadSha(*it->second, o["size"].get<std::int64_t>(), 2 * 1024 * 1024), o["sha256"].get<std::string>());
    ++files;
  }
  EXPECT_GE(files, 5);  // in live folders and in a deleted folder
}

TEST_P(FatFixture, TheClustersBitmapIsTheAllocatedClusters) {
  const std::uint32_t count = manifest["cluster_count"].get<std::uint32_t>();
  std::vector<bool> allocated(count + 2, false);
  for (const json& run : manifest["allocated_clusters"])
    for (std::uint32_t c = run[0].get<std::uint32_t>(), n = run[1].get<std::uint32_t>(); n > 0; ++c, --n)
      allocated[c] = true;
  const CBitArray& bitmap = volume->ClustersBitmap();
  ASSERT_GE(bitmap.BitCount(), std::uint64_t(count) + 2);
  std::uint32_t wrong = 0;
  for (std::uint32_t c = 2; c < count + 2; ++c)
    if ((bitmap.GetBit(c) != 0) != allocated[c]) ++wrong;
  EXPECT_EQ(wrong, 0u);
  if (manifest.contains("last_quarter_from_cluster")) {
    // FAT12: files lie in the last quarter of the table, which the whole table covers.
    const std::int64_t from = manifest["last_quarter_from_cluster"].get<std::int64_t>();
    int inLastQuarter = 0;
    for (const json& o : Listed())
      if (o["first_cluster"].get<std::int64_t>() >= from) ++inLastQuarter;
    EXPECT_GT(inLastQuarter, 30);
  }
}

TEST_P(FatFixture, ScanAtADeletedFoldersClusterListsItsEntries) {
  const json* folder = nullptr;
  for (const json& o : manifest["objects"])
    if (o["path"] == "/Old Projects") folder = &o;
  ASSERT_NE(folder, nullptr);
  ASSERT_EQ((*folder)["state"], "deleted");
  const std::uint32_t cluster = (*folder)["first_cluster"].get<std::uint32_t>();
  volume->Store().Clear();
  FoundObject hit;
  hit.flags = OBJ_DELETED | OBJ_RAW;
  hit.offset = fat->Parameters().ClusterOffset(cluster);
  hit.size = -1;
  fat->ScanAt(hit);
  std::vector<std::string> names;
  const auto view = volume->Store().Read();
  for (std::size_t i = 0; i < view.Count(); ++i)
    if (view.At(i)->parentId == rootId) names.push_back(U8(view.At(i)->Name()));
  std::sort(names.begin(), names.end());
  // The deleted folder's entries, the 8.3-only one with its lost first character.
  for (const char* name : {"_ATA.BIN", "Project plan.txt", "Sub Folder"})
    EXPECT_TRUE(std::find(names.begin(), names.end(), std::string(name)) != names.end()) << name;
}

TEST_P(FatFixture, TheParserLeavesTheDeviceOpen) {
  EXPECT_TRUE(volume->IsOpen());
  volume->SetFileSystem(nullptr);  // the parser goes
  EXPECT_TRUE(volume->IsOpen());
  std::uint8_t sector[512];
  EXPECT_EQ(volume->ReadSectors(sector, 0, 1), 512);
}

INSTANTIATE_TEST_SUITE_P(Images, FatFixture, ::testing::Values("fat12", "fat16", "fat32", "fat16_4k"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
