// The recovery from damaged media: unreadable sectors cost only themselves, sizes no
// volume can hold are not written out, and a destination that can't take more files
// stops the job instead of failing every later file.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/Recovery.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

using platform::Utf8ToUtf16;
using test::FatImage;
using test::FatLayout;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t bytes, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = std::uint8_t(i * 7 + i / 509 + seed);
  return data;
}

using test::ReadFile;

std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) out.push_back(it->path().lexically_relative(root).string());
  std::sort(out.begin(), out.end());
  return out;
}

struct DamagedRecoveryThreads : ::testing::Test {
  test::TempDir dir;
  ProgramLog log;
  RecordingNotifier notifier;
  ScriptedUserCallbacks answers;
  AppSettings settings;
  std::atomic<std::int32_t> flag{0};
  std::string out = dir / "out";

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    SetNotifier(&notifier);
    SetUserCallbacks(&answers);
    settings.FillDefaults();
    settings.SetDestinationFolder(Utf8ToUtf16(out));
    SetSettings(&settings);
  }
  void TearDown() override {
    SetSettings(nullptr);
    SetUserCallbacks(nullptr);
    SetNotifier(nullptr);
    g_Log = nullptr;
  }

  // A FAT16 volume from bytes (its path an empty file, so any folder may hold the
  // copies), its file-system pass run.
  std::shared_ptr<CVolume> FatVolume(FatImage& img, std::shared_ptr<MemoryBlockDevice>* device) {
    std::ofstream(dir / "card.img") << "";
    auto v = test::ImageVolume(img.Bytes(), device);
    v->SetDevicePath(Utf8ToUtf16(dir / "card.img"));
    test::RunFatPass(*v, progress);
    return v;
  }
  FoundObject* Named(CVolume& v, std::u16string_view name) {
    const auto view = v.Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i)
      if (view.At(i)->Name() == name) return view.At(i);
    return nullptr;
  }
  void Run(CRecovery& job, const std::shared_ptr<CVolume>& v, const std::vector<FoundObject*>& objects) {
    job.SetRunFlag(&flag);
    ASSERT_TRUE(job.SetSelection(v, objects));
    ASSERT_TRUE(job.StartRecovery());
    job.Join();
  }
  std::vector<std::u16string> Lines(std::size_t from = 0) const {
    auto lines = log.Lines();
    return std::vector<std::u16string>(lines.begin() + std::ptrdiff_t(std::min(from, lines.size())), lines.end());
  }
  bool Logged(std::u16string_view text, std::size_t from = 0) const {
    for (const auto& l : Lines(from))
      if (l.find(text) != std::u16string::npos) return true;
    return false;
  }

  ScanProgress progress;
};

}  // namespace

TEST_F(DamagedRecoveryThreads, EightUnreadableSectorsCostOnlyThemselves) {
  // A 256 KiB photo and a 3 MiB video in contiguous chains, each with 8 sectors in
  // its middle that can't be read.
  FatLayout layout;
  layout.sectorsPerFat = 32;  // 8,192 clusters
  layout.totalSectors = 8192 + 100;
  FatImage img(layout);
  const std::uint32_t photoFirst = 3, photoClusters = 512, videoFirst = 600, videoClusters = 6144;
  std::vector<std::uint32_t> chain;
  for (std::uint32_t c = photoFirst; c < photoFirst + photoClusters; ++c) chain.push_back(c);
  img.Chain(chain);
  chain.clear();
  for (std::uint32_t c = videoFirst; c < videoFirst + videoClusters; ++c) chain.push_back(c);
  img.Chain(chain);
  std::size_t slot = FatImage::Put(img.Root(), 0, {"PHOTO   JPG", 0x20, photoFirst, photoClusters * 512});
  FatImage::Put(img.Root(), slot, {"VIDEO   MP4", 0x20, videoFirst, videoClusters * 512});
  const auto photo = Pattern(photoClusters * 512, 1);
  const auto video = Pattern(videoClusters * 512, 2);
  std::memcpy(img.Cluster(photoFirst), photo.data(), photo.size());
  std::memcpy(img.Cluster(videoFirst), video.data(), video.size());
  const std::int64_t photoBad = std::int64_t(img.ClusterOffset(photoFirst) / 512) + 200;
  const std::int64_t videoBad = std::int64_t(img.ClusterOffset(videoFirst) / 512) + 4200;  // in its second chunk

  for (auto fault : {MemoryBlockDevice::Fault::Error, MemoryBlockDevice::Fault::Short}) {
    for (const bool raw : {false, true}) {
      SCOPED_TRACE(std::string(fault == MemoryBlockDevice::Fault::Error ? "I/O error" : "short read") +
                   (raw ? ", raw sectors" : ", through the FAT parser"));
      std::filesystem::remove_all(out);
      const std::size_t mark = log.LineCount();
      std::shared_ptr<MemoryBlockDevice> device;
      auto v = FatVolume(img, &device);
      if (raw) v->SetFileSystem(nullptr);  // no parser: the objects' sectors from their offsets
      for (std::int64_t s = 0; s < 8; ++s) {
        device->InjectFault(std::uint64_t(photoBad + s), fault);
        device->InjectFault(std::uint64_t(videoBad + s), fault);
      }
      CRecovery job;
      Run(job, v, {Named(*v, u"PHOTO.JPG"), Named(*v, u"VIDEO.MP4")});

      auto expectedPhoto = photo;
      std::fill_n(expectedPhoto.begin() + 200 * 512, 8 * 512, 0);
      auto expectedVideo = video;
      std::fill_n(expectedVideo.begin() + 4200 * 512, 8 * 512, 0);
      EXPECT_TRUE(ReadFile(out + "/PHOTO.JPG") == expectedPhoto);
      EXPECT_TRUE(ReadFile(out + "/VIDEO.MP4") == expectedVideo);
      // Counted as recovered, each with its line, and the end says how many had them.
      EXPECT_EQ(job.SuccessCount(), 2);
      EXPECT_EQ(job.DamagedCount(), 2);
      const std::u16string prefix = raw ? u"CVolume::FileRead" : u"CFileSystem_FAT.FileRead";
      for (std::int64_t bad : {photoBad, videoBad})
        EXPECT_TRUE(Logged(u"ERR: " + prefix + u": Can't read sector at: " + Utf8ToUtf16(std::to_string(bad)) +
                               u" (8 sectors)",
                           mark));
      EXPECT_TRUE(Logged(u"PHOTO.JPG' is recovered with 8 unreadable sectors zero-filled", mark));
      EXPECT_TRUE(Logged(u"VIDEO.MP4' is recovered with 8 unreadable sectors zero-filled", mark));
      const auto lines = Lines(mark);
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2],
                u"ERR: Recovery: 2 of the recovered files had unreadable sectors, zero-filled in the copies");
      EXPECT_EQ(lines.back(), u"Recovery completed.");
    }
  }
}

TEST_F(DamagedRecoveryThreads, SizesNoVolumeCanHoldAreNotWrittenOut) {
  // 160 KiB of FAT12: two entries claim 4 GiB - 1 over chains of 3 clusters; a chain
  // of 3 clusters that loops claims 50 MiB.
  FatLayout l;
  l.bits = 12;
  l.sectorsPerFat = 1;
  l.totalSectors = 320;
  FatImage img(l);
  std::size_t slot = FatImage::Put(img.Root(), 0, {"HUGE1   BIN", 0x20, 3, 0xFFFFFFFF});
  slot = FatImage::Put(img.Root(), slot, {"HUGE2   BIN", 0x20, 6, 0xFFFFFFFF});
  FatImage::Put(img.Root(), slot, {"LOOP    BIN", 0x20, 30, 50 * 1024 * 1024});
  img.Chain({3, 4, 5});
  img.Chain({6, 7, 8});
  img.SetFat(30, 31);
  img.SetFat(31, 32);
  img.SetFat(32, 30);
  for (std::uint32_t c : {3u, 4u, 5u, 6u, 7u, 8u, 30u, 31u, 32u}) std::memset(img.Cluster(c), int(c), 512);
  std::shared_ptr<MemoryBlockDevice> device;
  auto v = FatVolume(img, &device);
  FoundObject* huge1 = Named(*v, u"HUGE1.BIN");
  FoundObject* loop = Named(*v, u"LOOP.BIN");
  CRecovery job;
  Run(job, v, {huge1, Named(*v, u"HUGE2.BIN"), loop});

  EXPECT_EQ(std::filesystem::file_size(out + "/HUGE1.BIN"), 3u * 512);
  EXPECT_EQ(std::filesystem::file_size(out + "/HUGE2.BIN"), 3u * 512);
  // The looping chain: what it holds, then no more than the volume holds after it.
  const std::uint64_t loopReadable = 320 * 512 - img.ClusterOffset(30);
  EXPECT_EQ(std::filesystem::file_size(out + "/LOOP.BIN"), loopReadable);
  const auto loopData = ReadFile(out + "/LOOP.BIN");
  EXPECT_TRUE(std::all_of(loopData.begin(), loopData.begin() + 512, [](std::uint8_t b) { return b == 30; }));
  EXPECT_EQ(job.SuccessCount(), 3);
  EXPECT_TRUE(Logged(u"File 'HUGE1.BIN' claims 4294967295 bytes, of which only 1536 can be read"));
  EXPECT_TRUE(Logged(u"the cluster chain of 'LOOP.BIN' from cluster 30 loops back into itself"));
  // What is shown stays the entry's own.
  EXPECT_EQ(v->Store().Snapshot(*huge1).size, 0xFFFFFFFF);
  EXPECT_EQ(v->Store().Snapshot(*loop).size, 50 * 1024 * 1024);
}

TEST_F(DamagedRecoveryThreads, AShortNameWithASlashIsRecoveredUnderACleanName) {
  FatImage img(FatLayout{});
  FatImage::Put(img.Root(), 0, {"A/B     TXT", 0x20, 3, 100});
  img.Chain({3});
  std::memset(img.Cluster(3), 'x', 512);
  std::shared_ptr<MemoryBlockDevice> device;
  auto v = FatVolume(img, &device);
  FoundObject* o = Named(*v, u"A/B.TXT");
  ASSERT_NE(o, nullptr);
  CRecovery job;
  Run(job, v, {o});
  EXPECT_EQ(FilesBelow(out), (std::vector<std::string>{recovery::CleanPathPart(u"A/B.TXT")}));
  EXPECT_EQ(job.SuccessCount(), 1);
}

TEST_F(DamagedRecoveryThreads, AFullDestinationStopsTheRecoveryAndLeavesNoPartialFile) {
  FatLayout layout;
  layout.sectorsPerFat = 32;
  layout.totalSectors = 8192 + 100;
  FatImage img(layout);
  std::vector<std::uint32_t> chain;
  for (std::uint32_t c = 3; c < 3 + 6144; ++c) chain.push_back(c);  // 3 MiB
  img.Chain(chain);
  std::size_t slot = FatImage::Put(img.Root(), 0, {"FIRST   BIN", 0x20, 3, 1000});
  slot = FatImage::Put(img.Root(), slot, {"BIG     BIN", 0x20, 3, 6144 * 512});
  FatImage::Put(img.Root(), slot, {"LATER   BIN", 0x20, 3, 1000});
  std::shared_ptr<MemoryBlockDevice> device;
  auto v = FatVolume(img, &device);
  const std::vector<FoundObject*> files = {Named(*v, u"FIRST.BIN"), Named(*v, u"BIG.BIN"), Named(*v, u"LATER.BIN")};

  struct Case {
    int error;
    bool stops;  // every later file would fail as well
  } cases[] = {{ENOSPC, true}, {EDQUOT, true}, {EROFS, true}, {EIO, true}, {EFBIG, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::strerror(c.error));
    std::filesystem::remove_all(out);
    const std::size_t mark = log.LineCount();
    const std::size_t shown = answers.Messages().size();
    CRecovery job;
    // The destination fails in BIG.BIN's second chunk, as a file system does that fills up.
    int writes = 0;
    job.SetWriteFunction([&](int fd, const std::uint8_t* data, std::size_t bytes) {
      if (++writes == 3) {
        errno = c.error;
        return false;
      }
      return write(fd, data, bytes) == ssize_t(bytes);
    });
    Run(job, v, files);
    // The file being written is removed and not counted.
    EXPECT_FALSE(std::filesystem::exists(out + "/BIG.BIN"));
    EXPECT_TRUE(std::filesystem::exists(out + "/FIRST.BIN"));
    EXPECT_EQ(std::filesystem::exists(out + "/LATER.BIN"), !c.stops);
    EXPECT_EQ(job.SuccessCount(), c.stops ? 1 : 2);
    EXPECT_EQ(job.DestinationError(), c.stops ? c.error : 0);
    EXPECT_TRUE(Logged(u"ERR: FileRecovery: Write system error " + Utf8ToUtf16(std::to_string(c.error)), mark));
    const auto lines = Lines(mark);
    ASSERT_FALSE(lines.empty());
    if (c.stops) {
      EXPECT_EQ(lines.back(), u"ERR: Recovery stopped: the destination folder can't be written (" +
                                  Utf8ToUtf16(std::strerror(c.error)) + u").");
      EXPECT_FALSE(Logged(u"Recovery completed.", mark));
      ASSERT_EQ(answers.Messages().size(), shown + 1);
      EXPECT_NE(answers.Messages().back().find(Utf8ToUtf16(std::strerror(c.error))), std::u16string::npos);
    } else {
      EXPECT_EQ(lines.back(), u"Recovery completed.");
    }
  }
}

TEST_F(DamagedRecoveryThreads, AFullFileSystemStopsTheRecovery) {
  // A real file system of 64 KiB that fills up.
  const std::string small = dir / "small";
  std::filesystem::create_directories(small);
  if (geteuid() != 0 || mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root";
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{small};
  settings.SetDestinationFolder(Utf8ToUtf16(small + "/out"));

  FatLayout layout;
  layout.sectorsPerFat = 4;
  FatImage img(layout);
  std::vector<std::uint32_t> chain;
  for (std::uint32_t c = 3; c < 3 + 400; ++c) chain.push_back(c);  // 200 KiB
  img.Chain(chain);
  std::size_t slot = FatImage::Put(img.Root(), 0, {"FIRST   BIN", 0x20, 3, 20 * 1024});
  slot = FatImage::Put(img.Root(), slot, {"BIG     BIN", 0x20, 3, 400 * 512});
  FatImage::Put(img.Root(), slot, {"LATER   BIN", 0x20, 3, 1000});
  std::shared_ptr<MemoryBlockDevice> device;
  auto v = FatVolume(img, &device);
  CRecovery job;
  Run(job, v, {Named(*v, u"FIRST.BIN"), Named(*v, u"BIG.BIN"), Named(*v, u"LATER.BIN")});
  EXPECT_EQ(job.DestinationError(), ENOSPC);
  EXPECT_EQ(job.SuccessCount(), 1);
  EXPECT_EQ(FilesBelow(small + "/out"), (std::vector<std::string>{"FIRST.BIN"}));
  EXPECT_EQ(log.Lines().back(), u"ERR: Recovery stopped: the destination folder can't be written (" +
                                    Utf8ToUtf16(std::strerror(ENOSPC)) + u").");
}
