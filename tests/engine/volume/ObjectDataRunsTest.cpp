// Where an object's data lies (CVolume::GetObjectDataRuns) over the FAT16 and NTFS
// fixtures, against the runs their manifests recorded, and the bytes at those runs
// against the files' contents.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/ObjectRunList.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/Sha256.h"

using nlohmann::json;

namespace {

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// Reads the bytes the runs name from the image (sparse runs as zeros).
std::vector<std::uint8_t> BytesOfRuns(const std::vector<std::uint8_t>& image, const std::vector<ObjectRun>& runs) {
  std::vector<std::uint8_t> out;
  for (const ObjectRun& r : runs) {
    if (r.sparse) {
      out.insert(out.end(), std::size_t(r.length), 0);
      continue;
    }
    if (r.offset < 0 || r.length < 0 || std::size_t(r.offset + r.length) > image.size()) return {};
    out.insert(out.end(), image.begin() + r.offset, image.begin() + r.offset + r.length);
  }
  return out;
}

std::string Sha(const std::vector<std::uint8_t>& bytes) { return test::Sha256(bytes.data(), bytes.size()); }

class DataRunsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override {
    volume.reset();
    g_Log = nullptr;
  }
  void Open(const std::string& name) {
    manifest = test::FixtureManifest(name);
    image = test::ReadWholeFile(test::FixtureImage(name + ".img"));
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage(name + ".img")));
    volume->SetDeviceNodeId(-31);
    ASSERT_EQ(volume->QueryInformation(), 1);
    ASSERT_EQ(volume->BootSetup(), 1);
  }
  // The records the pass found by path (the root folder as "/").
  std::map<std::string, const FoundObject*> ByPath() const {
    std::map<std::string, const FoundObject*> out;
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      const FoundObject* r = view.At(i);
      if (r->IsDevice()) continue;
      if (r->Name() == u"." && r->id == view.RootFolderId()) {
        out.emplace("/", r);
        continue;
      }
      std::u16string folder;
      volume->GetObjectPath(*r, folder);
      out.emplace("/" + U8(folder) + U8(r->Name()), r);
    }
    return out;
  }

  ProgramLog log;
  ScanProgress progress;
  json manifest;
  std::vector<std::uint8_t> image;
  std::shared_ptr<CVolume> volume;
};

// ---- FAT16 -----------------------------------------------------------------------------

class FatDataRuns : public DataRunsFixture {
 protected:
  void SetUp() override {
    DataRunsFixture::SetUp();
    Open("fat16");
    test::RunFatPass(*volume, progress);
  }
  // The runs the manifest gives, as byte runs: [first cluster, count] each, the
  // last one ending with `size` (a folder's: whole clusters).
  std::vector<ObjectRun> ManifestRuns(const json& clusterRuns, std::int64_t size) const {
    const std::int64_t cb = manifest["cluster_size"], dataStart = manifest["first_data_sector"];
    std::vector<ObjectRun> out;
    std::int64_t at = 0;
    for (const json& r : clusterRuns) {
      const std::int64_t first = r[0], count = r[1];
      std::int64_t length = count * cb;
      if (size >= 0) length = std::min(length, size - at);
      out.push_back({dataStart * 512 + (first - 2) * cb, length, false});
      at += count * cb;
    }
    return out;
  }
};

TEST_F(FatDataRuns, FragmentedFileGivesItsTwoRunsEndingWithItsSize) {
  const auto objects = ByPath();
  ASSERT_TRUE(objects.count("/frag/Fragmented file.bin"));
  const std::vector<ObjectRun> runs =
      volume->GetObjectDataRuns(*objects.at("/frag/Fragmented file.bin")).ToVector();
  // 8,292 bytes on 1,024-byte clusters: clusters 193-195, then 200-205 (5,220 bytes used).
  const std::int64_t data = 98 * 512;
  const std::vector<ObjectRun> expected{{data + 191 * 1024, 3072, false}, {data + 198 * 1024, 5220, false}};
  EXPECT_EQ(runs, expected);
}

TEST_F(FatDataRuns, EveryObjectAgainstTheManifest) {
  const auto objects = ByPath();
  int files = 0, folders = 0, deleted = 0;
  for (const json& o : manifest["objects"]) {
    if (o["first_cluster"].get<std::int64_t>() == 0) continue;  // empty files are not listed
    const std::string path = test::ListedPath(o, true);
    SCOPED_TRACE(path);
    ASSERT_TRUE(objects.count(path));
    const FoundObject& record = *objects.at(path);
    const std::vector<ObjectRun> runs = volume->GetObjectDataRuns(record).ToVector();
    const std::int64_t size = o["size"];
    if (o["type"] == "folder") {
      ++folders;
      // A live folder follows its chain; a deleted one is its first cluster.
      EXPECT_EQ(runs, ManifestRuns(o["folder_cluster_runs"], -1));
    } else if (o["state"] == "deleted") {
      ++deleted;
      // Its chain is gone: one run from the first cluster, as the recovery reads it.
      const std::int64_t first = o["first_cluster"];
      const std::int64_t cb = manifest["cluster_size"], dataStart = manifest["first_data_sector"];
      EXPECT_EQ(runs, (std::vector<ObjectRun>{{dataStart * 512 + (first - 2) * cb, size, false}}));
      if (o["contiguous_read_matches"].get<bool>()) {
        EXPECT_EQ(Sha(BytesOfRuns(image, runs)), o["sha256"].get<std::string>());
      }
    } else {
      ++files;
      EXPECT_EQ(runs, ManifestRuns(o["cluster_runs"], size));
      EXPECT_EQ(Sha(BytesOfRuns(image, runs)), o["sha256"].get<std::string>());
    }
  }
  EXPECT_GT(files, 20);
  EXPECT_GT(folders, 5);
  EXPECT_GT(deleted, 5);
}

TEST_F(FatDataRuns, RootFolderIsItsFixedArea) {
  const auto objects = ByPath();
  ASSERT_TRUE(objects.count("/"));
  const std::int64_t rootSector = manifest["root_dir_sector"], entries = manifest["root_entries"];
  EXPECT_EQ(volume->GetObjectDataRuns(*objects.at("/")).ToVector(),
            (std::vector<ObjectRun>{{rootSector * 512, entries * 32, false}}));
}

TEST_F(FatDataRuns, AskingAgainUsesTheCachedChain) {
  auto* fat = dynamic_cast<CFileSystem_FAT*>(volume->FileSystem());
  ASSERT_NE(fat, nullptr);
  const FoundObject& record = *ByPath().at("/Documents/Letter.doc");
  const ObjectRunList first = volume->GetObjectDataRuns(record);
  const std::uint64_t walks = fat->ChainWalks();
  const ObjectRunList second = volume->GetObjectDataRuns(record);
  EXPECT_EQ(fat->ChainWalks(), walks);
  EXPECT_EQ(first.ToVector(), second.ToVector());
  // Out of range: an empty run.
  EXPECT_EQ(first.At(first.Count()), ObjectRun{});
}

// ---- NTFS ------------------------------------------------------------------------------

class NtfsDataRuns : public DataRunsFixture {
 protected:
  void SetUp() override {
    DataRunsFixture::SetUp();
    Open("ntfs");
    auto parser = std::make_unique<CFileSystem_NTFS>(*volume, progress);
    CFileSystem_NTFS* fs = parser.get();
    volume->SetFileSystem(std::move(parser));
    FoundObjectStore& store = volume->Store();
    store.Clear();
    store.RegisterObject(volume->DeviceNode());
    store.SetRootFolderId(5);
    fs->root.id = 5;
    fs->root.parentId = volume->DeviceNodeId();
    store.RegisterObject(fs->root);
    progress.running = 1;
    fs->Analyse();
  }
  // The manifest's [vcn, lcn, clusters] runs as byte runs, cut at the size.
  static std::vector<ObjectRun> ManifestRuns(const json& o) {
    const std::int64_t size = o["size"];
    std::vector<ObjectRun> out;
    for (const json& r : o["data_runs"]) {
      const std::int64_t vcn = r[0], count = r[2];
      if (vcn * 4096 >= size) break;
      const std::int64_t length = std::min(count * 4096, size - vcn * 4096);
      if (r[1].is_null()) {
        out.push_back({0, length, true});
      } else {
        out.push_back({r[1].get<std::int64_t>() * 4096, length, false});
      }
    }
    return out;
  }
  const json& Object(const std::string& path) const {
    for (const json& o : manifest["objects"])
      if (o["path"] == path) return o;
    static const json none;
    return none;
  }
};

TEST_F(NtfsDataRuns, FragmentedAndSparseFilesAgainstTheManifest) {
  const auto objects = ByPath();
  for (const char* path : {"/frag/Fragmented file.bin", "/sparse.bin"}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(objects.count(path));
    const json& o = Object(path);
    const std::vector<ObjectRun> runs = volume->GetObjectDataRuns(*objects.at(path)).ToVector();
    EXPECT_EQ(runs, ManifestRuns(o));
    EXPECT_EQ(Sha(BytesOfRuns(image, runs)), o["sha256"].get<std::string>());
  }
  // The sparse file: 1 cluster, 255 sparse, 2 clusters, 254 sparse.
  const std::vector<ObjectRun> sparse = volume->GetObjectDataRuns(*objects.at("/sparse.bin")).ToVector();
  ASSERT_EQ(sparse.size(), 4u);
  EXPECT_FALSE(sparse[0].sparse);
  EXPECT_TRUE(sparse[1].sparse);
  EXPECT_EQ(sparse[1].length, 255 * 4096);
  EXPECT_FALSE(sparse[2].sparse);
  EXPECT_TRUE(sparse[3].sparse);
}

TEST_F(NtfsDataRuns, EveryNonResidentFileAgainstTheManifest) {
  const auto objects = ByPath();
  int checked = 0;
  for (const json& o : manifest["objects"]) {
    if (o["type"] != "file" || !o.contains("data_runs") || o["resident"] != false) continue;
    if (o.value("compressed", false) || o.value("clusters_reused", false)) continue;
    // A file with hard links is listed under one of its names.
    std::string path = o["path"];
    if (o.contains("hard_links"))
      for (const json& link : o["hard_links"])
        if (objects.count(link.get<std::string>())) path = link.get<std::string>();
    ASSERT_TRUE(objects.count(path)) << path;
    SCOPED_TRACE(path);
    const std::vector<ObjectRun> runs = volume->GetObjectDataRuns(*objects.at(path)).ToVector();
    EXPECT_EQ(runs, ManifestRuns(o));
    if (o.value("data_intact", true) && o.contains("sha256")) {
      EXPECT_EQ(Sha(BytesOfRuns(image, runs)), o["sha256"].get<std::string>());
    }
    ++checked;
  }
  EXPECT_GT(checked, 5);
}

TEST_F(NtfsDataRuns, ResidentDataLiesInItsRecord) {
  const auto objects = ByPath();
  int checked = 0;
  for (const json& o : manifest["objects"]) {
    if (o["type"] != "file" || o["resident"] != true || o["state"] != "live" || !o.contains("sha256")) continue;
    const std::string path = o["path"];
    if (!objects.count(path) || o["size"].get<std::int64_t>() == 0) continue;
    SCOPED_TRACE(path);
    const std::vector<ObjectRun> runs = volume->GetObjectDataRuns(*objects.at(path)).ToVector();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].length, o["size"].get<std::int64_t>());
    // Inside the object's file record, where the table's runs put it.
    const std::int64_t byte = o["mft_record"].get<std::int64_t>() * 1024;
    std::int64_t record = -1;
    for (const json& r : manifest["mft_runs"]) {
      const std::int64_t vcn = r[0], lcn = r[1], count = r[2];
      if (byte / 4096 >= vcn && byte / 4096 < vcn + count) record = (lcn + byte / 4096 - vcn) * 4096 + byte % 4096;
    }
    ASSERT_GE(record, 0);
    EXPECT_GT(runs[0].offset, record);
    EXPECT_LE(runs[0].offset + runs[0].length, record + 1024);
    // The record as the disk holds it keeps the last two bytes of each sector in
    // its update sequence array: put them back before comparing.
    std::vector<std::uint8_t> fixed = image;
    const platform::LeView v(image.data() + record, 1024);
    for (std::size_t i = 1; i < v.U16(6); ++i) {
      fixed[std::size_t(record) + i * 512 - 2] = image[std::size_t(record) + v.U16(4) + 2 * i];
      fixed[std::size_t(record) + i * 512 - 1] = image[std::size_t(record) + v.U16(4) + 2 * i + 1];
    }
    EXPECT_EQ(Sha(BytesOfRuns(fixed, runs)), o["sha256"].get<std::string>());
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST_F(NtfsDataRuns, FoldersAndDeviceNodesHaveNone) {
  const auto objects = ByPath();
  EXPECT_TRUE(volume->GetObjectDataRuns(*objects.at("/Documents")).Empty());
  EXPECT_TRUE(volume->GetObjectDataRuns(*volume->DeviceNode()).Empty());
}

// ---- Records without a parser of their own ----------------------------------------------

TEST(ObjectDataRuns, RawAndCarvedRecordsAreOneRunFromTheirOffset) {
  struct Case {
    const char* what;
    std::uint16_t flags;
    std::int64_t offset, size;
    std::vector<ObjectRun> runs;
  };
  const Case cases[] = {
      {"raw record of known size", OBJ_DELETED | OBJ_RAW, 4096, 1000, {{4096, 1000, false}}},
      {"carved record of unknown size", OBJ_DELETED | OBJ_RAW | OBJ_CARVED, 8192, -1, {{8192, -1, false}}},
      {"empty file", OBJ_NAMED, 512, 0, {}},
      {"folder", OBJ_FOLDER, 512, 0, {}},
      {"device node", OBJ_DEVICE, 0, 1 << 20, {}},
  };
  // A volume with no file system of its kind: every record goes by the base rule.
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FoundObject o;
    o.flags = c.flags;
    o.offset = c.offset;
    o.size = c.size;
    EXPECT_EQ(volume->GetObjectDataRuns(o).ToVector(), c.runs);
  }
  // A run list worked out on request.
  const ObjectRunList made(3, [](std::size_t i) { return ObjectRun{std::int64_t(i) * 100, 10, i == 1}; });
  EXPECT_EQ(made.Count(), 3u);
  EXPECT_EQ(made.At(1), (ObjectRun{100, 10, true}));
  EXPECT_TRUE(ObjectRunList(5, nullptr).Empty());
}

}  // namespace
