// The whole road through the engine over the fixture images: open the image,
// analyse it (with and without the signature pass), recover what the analysis
// found into a destination folder, and compare every file with what the recipes
// copied in. Also a drive image of each fixture, which must list the same files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "BuiltinTypesFixture.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/ImageJob.h"
#include "platform/Text.h"
#include "search/FormatWalk.h"
#include "search/Recovery.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

std::string ShaOfFile(const std::string& path, std::int64_t prefix = -1) {
  std::vector<std::uint8_t> data = test::ReadWholeFile(path);
  if (prefix >= 0 && std::int64_t(data.size()) > prefix) data.resize(std::size_t(prefix));
  return test::Sha256(data.data(), data.size());
}

// Every regular file below a folder, by its path relative to it ("/a/b.txt").
std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.insert("/" + e.path().lexically_relative(root).string());
  return out;
}

class EndToEnd : public test::BuiltinTypesComputerFixture {
 protected:
  // Opens an image file and analyses the volumes it makes (the image itself, or
  // each partition on it); the volumes analysed.
  std::vector<std::shared_ptr<CVolume>> OpenAndAnalyse(const std::string& path, bool partitions = false) {
    auto image = computer->OpenImageFile(platform::Utf8ToUtf16(path));
    EXPECT_NE(image, nullptr) << path;
    if (!image) return {};
    std::vector<std::shared_ptr<CVolume>> volumes;
    if (partitions) {
      for (const auto& v : computer->Volumes().Volumes())
        if (v->IsPartition() && v->GetParentVolume() == image) volumes.push_back(v);
      std::sort(volumes.begin(), volumes.end(),
                [](const auto& a, const auto& b) { return a->Geometry().baseOffset < b->Geometry().baseOffset; });
    } else {
      volumes.push_back(image);
    }
    const std::size_t before = ui.Count(WM_ANALYSIS_DONE);
    // The first starts, the others wait in the queue.
    for (std::size_t i = 0; i < volumes.size(); ++i) EXPECT_EQ(computer->StartAnalysis(volumes[i]), i == 0 ? 1 : 0);
    EXPECT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(before + volumes.size()); }, 120s));
    CVolume::JoinAnalysisThreads();
    return volumes;
  }

  // Recovers every file the volume's store holds into `destination`; the number
  // recovered whole.
  std::int32_t RecoverAll(const std::shared_ptr<CVolume>& volume, const std::string& destination,
                          std::int32_t sizeMode = 2, std::int64_t sizeKB = -1) {
    std::vector<FoundObject*> files;
    {
      const auto view = volume->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i)
        if (!view.At(i)->IsDevice() && !view.At(i)->IsFolder()) files.push_back(view.At(i));
    }
    settings.SetDestinationFolder(platform::Utf8ToUtf16(destination));
    settings.SetKeepFolderStructure(1);  // the folder paths recreated (the defaults' choice)
    CRecovery job;
    job.SetSizeMode(sizeMode, sizeKB);  // carved objects of unknown size (2: up to the next object)
    EXPECT_TRUE(job.SetSelection(volume, files));
    EXPECT_TRUE(job.StartRecovery());
    job.Join();
    EXPECT_FALSE(Logged(u"Recovery_Thread.except"));
    return job.SuccessCount();
  }

  // Every file of a FAT or NTFS manifest against what the recovery wrote under
  // `destination`: content and times of every live file and of every deleted one
  // whose data is intact; no file for what has no data to copy. Returns the files
  // compared byte for byte.
  int CompareWithManifest(const json& manifest, const std::string& destination) {
    const bool fat = manifest["file_system"].get<std::string>().rfind("FAT", 0) == 0;
    const std::set<std::string> written = FilesBelow(destination);
    int compared = 0;
    for (const json& o : manifest["objects"]) {
      if (o["type"] != "file") continue;
      std::string path = test::ListedPath(o, fat);
      if (!fat && o.contains("hard_links") && o["hard_links"].is_array())  // one record, one of its names
        for (const auto& link : o["hard_links"])
          if (written.count(link.get<std::string>())) path = link.get<std::string>();
      SCOPED_TRACE(path);
      const std::string file = destination + path;
      const bool compressed = !fat && o.value("compressed", false);
      if (o["size"].get<std::int64_t>() == 0 || compressed) {
        // Nothing to copy: an empty file is not made, nor a file of zeros that
        // would pass for a compressed file's content.
        EXPECT_EQ(written.count(path), 0u);
        if (compressed) {
          EXPECT_TRUE(Logged(u"File '" + platform::Utf8ToUtf16(o["name"].get<std::string>()) +
                             u"' skipped: its data can't be read"));
          // Its folder holds nothing else: not even the folder is made.
          EXPECT_FALSE(std::filesystem::exists(destination + o["parent_path"].get<std::string>()));
        }
        continue;
      }
      if (written.count(path) != 1) {
        ADD_FAILURE() << "not recovered";
        continue;
      }
      const bool intact = o["state"] == "live" || o.value("data_intact", false);
      if (o["state"] == "deleted" && fat && !o.value("contiguous_read_matches", false)) continue;
      if (!intact) continue;
      struct stat st {};
      EXPECT_EQ(stat(file.c_str(), &st), 0);
      EXPECT_EQ(std::int64_t(st.st_mtim.tv_sec), o["modified_utc"].get<std::int64_t>());
      if (!fat) {
        EXPECT_EQ(std::int64_t(st.st_atim.tv_sec), o["accessed_utc"].get<std::int64_t>());
      }
      EXPECT_EQ(std::int64_t(st.st_size), o["size"].get<std::int64_t>());
      EXPECT_EQ(ShaOfFile(file), o["sha256"].get<std::string>());
      ++compared;
    }
    return compared;
  }

  test::TempDir dir;
};

class FixtureRecoveryThreads : public EndToEnd,
                               public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

}  // namespace

TEST_P(FixtureRecoveryThreads, EveryFileTheImageHoldsIsRecoveredByteExactWithItsPathAndTimes) {
  const auto [name, signaturePass] = GetParam();
  settings.SetSignaturePass(signaturePass ? 1 : 0);
  const json manifest = test::FixtureManifest(name);
  const auto volumes = OpenAndAnalyse(test::FixtureImage(std::string(name) + ".img"));
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), signaturePass ? 1u : 0u);

  const std::string out = dir / "out";
  const std::int32_t recovered = RecoverAll(volumes[0], out);
  const int compared = CompareWithManifest(manifest, out);
  EXPECT_GE(compared, 25);
  EXPECT_GE(recovered, compared);
  EXPECT_TRUE(Logged(u"Recovery started."));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureRecoveryThreads,
                         ::testing::Combine(::testing::Values("fat12", "fat16", "fat32", "fat16_4k", "ntfs"),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "_WithSignaturePass" : "");
                         });

namespace {
class LostFileRecoveryThreads : public EndToEnd {};
class PartitionRecoveryThreads : public EndToEnd {};
class DriveImageThreads : public EndToEnd, public ::testing::WithParamInterface<const char*> {};
class CarvedFileRecoveryThreads : public EndToEnd {};
}  // namespace

// Files made by everyday tools in random bytes (tests/fixtures/make_carve.sh): each is
// found at its offset, typed and named by its final type, and comes back in every size
// mode: at the size its format gives where it gives one, whatever record follows it.
TEST_F(CarvedFileRecoveryThreads, PlantedFilesComeBackAtTheSizesTheirFormatsGive) {
  settings.SetSignaturePass(1);
  const json manifest = test::FixtureManifest("carve");
  const auto volumes = OpenAndAnalyse(test::FixtureImage("carve.img"));
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 1u);
  FoundObjectStore& store = volumes[0]->Store();

  std::map<std::int64_t, std::u16string> names;  // by offset
  for (const json& p : manifest["planted"]) {
    const std::string what = p["name"].get<std::string>();
    SCOPED_TRACE(what);
    const std::int64_t offset = p["offset"].get<std::int64_t>();
    const FoundObject* found = store.FindByOffset(offset);
    ASSERT_NE(found, nullptr);
    const FoundObject r = store.Snapshot(*found);
    EXPECT_TRUE(r.flags.Any(OBJ_CARVED | OBJ_RAW));
    EXPECT_EQ(r.typeId, p["type_id"].get<std::int16_t>());
    const FileType* type = types->FindByKey(r.typeKey);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->typeId(), r.typeId);
    // Named after the type it was given last (a TIFF first matches the camera raw
    // types listed before it).
    const std::u16string name = type->NamePrefix() + u"_" + platform::Widen(std::to_string(offset)) + u"." +
                                type->DefaultExtension();
    EXPECT_EQ(r.Name(), name);
    if (r.typeId == 87) {
      EXPECT_EQ(r.Name().substr(r.Name().size() - 5), u".TIFF");
    }
    if (p.contains("format_size")) {
      EXPECT_EQ(r.size, p["format_size"].get<std::int64_t>());
    }
    names[offset] = name;
  }
  // Random bytes after a two-byte signature hold no header of its type: no file.
  for (const json& h : manifest["extra_hits"]) {
    SCOPED_TRACE(h["bytes"].get<std::string>());
    EXPECT_EQ(store.FindByOffset(h["offset"].get<std::int64_t>()), nullptr);
  }

  // Recovered in each size mode (they decide only what no neighbour and no format
  // settles: the last file); mode 4 with 64 KB.
  for (std::int32_t mode = 1; mode <= 4; ++mode) {
    SCOPED_TRACE("size mode " + std::to_string(mode));
    const std::string out = dir / ("mode" + std::to_string(mode));
    RecoverAll(volumes[0], out, mode, mode == 4 ? 64 : -1);
    std::map<std::string, std::string> byName;  // file name -> path
    for (const std::string& f : FilesBelow(out)) byName[f.substr(f.rfind('/') + 1)] = out + f;
    for (const json& p : manifest["planted"]) {
      const std::string what = p["name"].get<std::string>();
      SCOPED_TRACE(what);
      const auto it = byName.find(platform::Utf16ToUtf8(names[p["offset"].get<std::int64_t>()]));
      ASSERT_NE(it, byName.end()) << "not recovered";
      const std::int64_t recovered = std::int64_t(std::filesystem::file_size(it->second));
      const std::int64_t size = p["size"].get<std::int64_t>();
      const std::string check = p["check"].get<std::string>();
      // A format the search walks to its end comes back exactly (a tar with the
      // members inside it too).
      if (FormatKindOfType(p["type_id"].get<std::int32_t>()) != FormatKind::None) {
        EXPECT_EQ(recovered, size);
        EXPECT_EQ(ShaOfFile(it->second), p["sha256"].get<std::string>());
        continue;
      }
      if (check == "first_512") {
        EXPECT_GE(recovered, 512);
        EXPECT_EQ(ShaOfFile(it->second, 512), p["first_512_sha256"].get<std::string>());
        continue;
      }
      if (check == "exact") {
        EXPECT_EQ(recovered, size);
      } else if (check == "format_size") {
        EXPECT_EQ(recovered, p["format_size"].get<std::int64_t>());
      } else {
        EXPECT_GE(recovered, size);
      }
      EXPECT_EQ(ShaOfFile(it->second, size), p["sha256"].get<std::string>());
    }
  }
}

TEST_F(LostFileRecoveryThreads, TheCarvedFilesOfAReformattedVolumeAreRecoveredWithTheirContent) {
  settings.SetSignaturePass(1);
  const json manifest = test::FixtureManifest("lost");
  const auto volumes = OpenAndAnalyse(test::FixtureImage("lost.img"));
  ASSERT_EQ(volumes.size(), 1u);
  const std::string out = dir / "out";
  const std::int32_t recovered = RecoverAll(volumes[0], out);
  EXPECT_EQ(recovered, std::int32_t(manifest["planted"].size()));

  // Each planted file starts a recovered one: its size by the format where the
  // format tells it, else up to the next found file (the cluster slack after it).
  std::map<std::string, std::int64_t> sizes;
  for (const std::string& f : FilesBelow(out)) sizes[f] = std::int64_t(std::filesystem::file_size(out + f));
  for (const json& p : manifest["planted"]) {
    SCOPED_TRACE(p["path_before_format"].get<std::string>());
    const std::int64_t size = p["size"].get<std::int64_t>();
    int matches = 0;
    for (const auto& [file, bytes] : sizes)
      if (bytes >= size && ShaOfFile(out + file, size) == p["sha256"].get<std::string>()) ++matches;
    EXPECT_EQ(matches, 1);
  }
}

TEST_F(PartitionRecoveryThreads, EveryPartitionOfADiskIsRecoveredFromItsOwnVolume) {
  std::vector<test::FixtureDiskPiece> pieces = {{"fat12", 0x01}, {"fat32", 0x0C}, {"ntfs", 0x07}};
  const std::string disk = dir / "disk.img";
  ASSERT_TRUE(test::MakeFixtureDisk(disk, pieces));
  const auto volumes = OpenAndAnalyse(disk, true);
  ASSERT_EQ(volumes.size(), pieces.size());
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    SCOPED_TRACE(pieces[i].name);
    EXPECT_EQ(volumes[i]->Geometry().baseOffset, pieces[i].start * 512);
    const std::string out = dir / ("out-" + pieces[i].name);
    RecoverAll(volumes[i], out);
    EXPECT_GE(CompareWithManifest(test::FixtureManifest(pieces[i].name), out), 25);
  }
}

TEST_P(DriveImageThreads, AnImageOfAFixtureReopenedListsTheSameFiles) {
  const std::string name = GetParam();
  const auto original = OpenAndAnalyse(test::FixtureImage(name + ".img"));
  ASSERT_EQ(original.size(), 1u);

  ImageJob job;
  job.source = original[0];
  job.imagePath = platform::Utf8ToUtf16(dir / (name + ".dsk"));
  ASSERT_TRUE(computer->StartCreateImage(job));
  job.Join();
  ASSERT_EQ(job.status.load(), 0);
  EXPECT_EQ(job.unreadSectors.load(), 0);
  EXPECT_EQ(ShaOfFile(dir / (name + ".dsk")), test::FixtureManifest(name)["image"]["sha256"].get<std::string>());

  const auto copy = OpenAndAnalyse(dir / (name + ".dsk"));
  ASSERT_EQ(copy.size(), 1u);
  // Path, kind, state and size of every object, from both.
  using Row = std::tuple<std::string, bool, bool, std::int64_t>;
  auto listing = [](CVolume& v) {
    std::multiset<Row> rows;
    std::vector<FoundObject> records;
    {
      const auto view = v.Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i)
        if (!view.At(i)->IsDevice()) records.push_back(*view.At(i));
    }
    for (const FoundObject& r : records) {
      std::u16string folder;
      v.GetObjectPath(r, folder);
      rows.emplace(platform::Utf16ToUtf8(folder + std::u16string(r.Name())), r.IsFolder(),
                   r.flags.Any(OBJ_DELETED), r.size);
    }
    return rows;
  };
  const auto before = listing(*original[0]);
  EXPECT_GT(before.size(), 30u);
  EXPECT_EQ(listing(*copy[0]), before);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DriveImageThreads, ::testing::Values("fat16", "fat32", "ntfs"));

namespace {

class PlantedSamplesThreads : public EndToEnd, public ::testing::WithParamInterface<std::int32_t> {};

struct PlantedFile {
  std::string name;
  std::int64_t offset = 0;
  std::int64_t size = 0;
  std::int16_t typeId = 0;
  std::string sha256;
};

// Noise from a seeded generator (xorshift), the same at every run.
class Filler {
 public:
  explicit Filler(std::uint64_t seed) : x_(seed) {}
  std::uint8_t Next() {
    x_ ^= x_ << 13, x_ ^= x_ >> 7, x_ ^= x_ << 17;
    return std::uint8_t(x_ >> 29);
  }
  void Append(std::vector<std::uint8_t>& out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(Next());
  }

 private:
  std::uint64_t x_;
};

class DamagedDiskRecoveryThreads : public EndToEnd {
 protected:
  // Every file of the GPT manifest on partition `number`, against what the recovery
  // wrote under `destination`: the files compared.
  int CompareGptFiles(int number, const std::string& destination) {
    int compared = 0;
    const json manifest = test::FixtureManifest("gpt");
    for (const json& f : manifest["files"]) {
      if (f["partition"].get<int>() != number) continue;
      const std::string path = f["path"].get<std::string>();
      SCOPED_TRACE(path);
      EXPECT_EQ(ShaOfFile(destination + path), f["sha256"].get<std::string>());
      ++compared;
    }
    return compared;
  }
  // A copy of a fixture with `patch` applied, written into the test's folder.
  std::string PatchedCopy(const std::string& name, const std::function<void(std::vector<std::uint8_t>&)>& patch) {
    std::vector<std::uint8_t> bytes = test::ReadWholeFile(test::FixtureImage(name));
    patch(bytes);
    const std::string path = dir / ("patched-" + name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
};

}  // namespace

// The sample files that everyday tools made (tests/fixtures/make_samples.sh), planted at
// sector offsets in noise, with gaps and back to back: each comes back byte for byte
// at the size its format gives, nothing is listed inside any of them, a JPEG whose
// end was overwritten keeps the size up to the next file, and an archive cut by the
// volume's end is sized within the volume. With one worker and with eight.
TEST_P(PlantedSamplesThreads, EveryPlantedFileComesBackByteExactAndNothingInsideOneIsListed) {
  settings.SetSignaturePass(1);
  settings.SetSearchThreads(GetParam());
  settings.SetSearchBufferSize(64 * 1024);  // many blocks: files cross them
  const json manifest = test::FixtureManifest("samples");
  const std::vector<std::uint8_t> blob = test::ReadWholeFile(test::FixtureImage("samples.bin"));
  ASSERT_EQ(std::int64_t(blob.size()), manifest["blob"]["size_bytes"].get<std::int64_t>());

  Filler filler(0x5EED);
  std::vector<std::uint8_t> image(8 * 512, 0);  // no boot sector
  std::vector<PlantedFile> planted;
  auto pad = [&] { filler.Append(image, (512 - image.size() % 512) % 512); };
  auto plant = [&](const json& s, std::size_t bytes) {
    const auto from = blob.begin() + s["offset"].get<std::ptrdiff_t>();
    planted.push_back({s["name"].get<std::string>(), std::int64_t(image.size()), std::int64_t(bytes),
                       s["type_id"].get<std::int16_t>(), s["sha256"].get<std::string>()});
    image.insert(image.end(), from, from + std::ptrdiff_t(bytes));
    pad();
  };
  std::set<std::int32_t> jpegStarts;
  std::size_t n = 0;
  for (const json& s : manifest["samples"]) {
    plant(s, s["size"].get<std::size_t>());
    if (s.contains("jpeg_start")) jpegStarts.insert(s["jpeg_start"].get<std::int32_t>());
    if (++n % 3) filler.Append(image, 512 * (1 + n % 7));  // else back to back
  }
  EXPECT_EQ(jpegStarts, (std::set<std::int32_t>{0xE0, 0xE1, 0xE2, 0xED, 0xEE, 0xFE, 0xDB}));
  // A JPEG whose last bytes were overwritten, then a file after a gap.
  const json& jfif = manifest["samples"][0];
  plant(jfif, jfif["size"].get<std::size_t>());
  PlantedFile damaged = planted.back();
  planted.pop_back();
  for (std::int64_t i = damaged.offset + damaged.size - 600; i < damaged.offset + damaged.size; ++i)
    image[std::size_t(i)] = filler.Next();
  filler.Append(image, 3 * 512);
  const json& gif = manifest["samples"][9];
  plant(gif, gif["size"].get<std::size_t>());
  // A GNU tar cut by the volume's end.
  filler.Append(image, 2 * 512);
  const json& tar = manifest["samples"][20];
  ASSERT_EQ(tar["name"], "letters.tar");
  const std::int64_t cut = std::int64_t(image.size());
  const auto tarFrom = blob.begin() + tar["offset"].get<std::ptrdiff_t>();
  image.insert(image.end(), tarFrom, tarFrom + 6 * 512);
  const std::string path = dir / "planted.img";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  }

  ASSERT_EQ(planted.size(), manifest["samples"].size() + 1);

  const auto volumes = OpenAndAnalyse(path);
  ASSERT_EQ(volumes.size(), 1u);
  FoundObjectStore& store = volumes[0]->Store();
  std::map<std::int64_t, FoundObject> records;  // the files, by offset
  {
    const auto view = store.Read();
    for (std::size_t i = 0; i < view.Count(); ++i)
      if (!view.At(i)->IsFolder() && !view.At(i)->IsDevice()) records[view.At(i)->offset] = store.Snapshot(*view.At(i));
  }
  std::map<std::int64_t, std::u16string> names;
  for (const PlantedFile& p : planted) {
    SCOPED_TRACE(p.name);
    const auto it = records.find(p.offset);
    ASSERT_NE(it, records.end()) << "not found";
    EXPECT_EQ(it->second.typeId, p.typeId);
    EXPECT_EQ(it->second.size, p.size);
    names[p.offset] = std::u16string(it->second.Name());
    // Nothing else inside it.
    for (auto r = records.upper_bound(p.offset); r != records.end() && r->first < p.offset + p.size; ++r)
      ADD_FAILURE() << "a record at " << r->first << " inside " << p.name;
  }
  // The damaged JPEG reaches to the next file, as a file without its end does.
  const auto d = records.find(damaged.offset);
  ASSERT_NE(d, records.end());
  EXPECT_EQ(d->second.typeId, 83);
  EXPECT_EQ(d->second.offset + d->second.size, std::next(d)->first);
  // The cut archive ends at the volume's end at most.
  const auto t = records.find(cut);
  ASSERT_NE(t, records.end());
  EXPECT_EQ(t->second.typeId, 330);
  EXPECT_LE(t->second.offset + t->second.size, std::int64_t(image.size()));

  const std::string out = dir / "out";
  RecoverAll(volumes[0], out);
  std::map<std::string, std::string> byName;
  for (const std::string& f : FilesBelow(out)) byName[f.substr(f.rfind('/') + 1)] = out + f;
  for (const PlantedFile& p : planted) {
    SCOPED_TRACE(p.name);
    const auto it = byName.find(platform::Utf16ToUtf8(names[p.offset]));
    ASSERT_NE(it, byName.end()) << "not recovered";
    EXPECT_EQ(std::int64_t(std::filesystem::file_size(it->second)), p.size);
    EXPECT_EQ(ShaOfFile(it->second), p.sha256);
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, PlantedSamplesThreads, ::testing::Values(1, 8),
                         [](const auto& info) { return std::to_string(info.param) + "_workers"; });
TEST_F(DamagedDiskRecoveryThreads, EveryFileOfBothGptVolumesComesBackFromTheHealthyAndTheDamagedDisk) {
  for (const char* name : {"gpt.img", "gpt_damaged.img"}) {
    SCOPED_TRACE(name);
    const auto volumes = OpenAndAnalyse(test::FixtureImage(name), true);
    ASSERT_EQ(volumes.size(), 2u);
    for (int i = 0; i < 2; ++i) {
      const std::string out = dir / (std::string(name) + "-" + std::to_string(i + 1));
      RecoverAll(volumes[std::size_t(i)], out);
      EXPECT_EQ(CompareGptFiles(i + 1, out), 4);
    }
  }
  // The damaged disk was read through its backups, each said in the log.
  EXPECT_TRUE(Logged(u"the backup header at LBA 94207 is used"));
  EXPECT_TRUE(Logged(u"its backup copy at sector 6 is used"));
  EXPECT_TRUE(Logged(u"its backup copy at sector 16383 is used"));
  EXPECT_TRUE(Logged(u"its copy in $MFTMirr (cluster 1023) is used"));
}

TEST_F(DamagedDiskRecoveryThreads, WithoutAnyMftTheRecordsTheSectorPassFindsAreListedAndRecovered) {
  // Record 0 gone in the $MFT and in $MFTMirr: no table can be loaded.
  const std::string path = PatchedCopy("ntfs.img", [](std::vector<std::uint8_t>& b) {
    const platform::LeView boot(b.data(), 512);
    const std::int64_t cluster = std::int64_t(boot.U8(13)) * boot.U16(11);
    for (const std::uint64_t at : {boot.U64(0x30), boot.U64(0x38)})
      std::fill_n(b.begin() + std::ptrdiff_t(at * cluster), 1024, 0);
  });
  settings.SetSignaturePass(1);
  const auto volumes = OpenAndAnalyse(path);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_TRUE(Logged(u"the $MFT can't be loaded from $MFTMirr either"));
  {
    // The $MFTMirr copies of the first records are not listed a second time.
    std::map<std::int32_t, int> records;
    const auto view = volumes[0]->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i)
      if (!view.At(i)->IsDevice() && !view.At(i)->flags.Any(OBJ_RAW) && view.At(i)->id > 0) ++records[view.At(i)->id];
    for (std::int32_t system : {1, 2, 3}) EXPECT_EQ(records[system], 1) << "record " << system;
  }
  const std::string out = dir / "out";
  RecoverAll(volumes[0], out);
  EXPECT_GE(CompareWithManifest(test::FixtureManifest("ntfs"), out), 25);
}
