#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/DeviceMatch.h"
#include "engine/volume/ImageJob.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "support/FileBytes.h"
#include "support/Sha256.h"
#include "support/TempDir.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t sectors) {
  std::vector<std::uint8_t> data(sectors * 512);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t((i / 512) * 7 + i % 251);
  return data;
}

using test::ReadFile;

struct ImageJobThreads : ::testing::Test {
  test::TempDir dir;
  ProgramLog log;
  RecordingNotifier notifier;
  std::shared_ptr<MemoryBlockDevice> device = std::make_shared<MemoryBlockDevice>(Pattern(10000));
  std::shared_ptr<CVolume> source = std::make_shared<CVolume>(CVolume::kImageFile);
  ImageJob job;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    SetNotifier(&notifier);
    // The source stands for an image file (a regular file), so any folder may hold the copy.
    std::ofstream(dir / "source.dsk") << "";
    source->SetDevicePath(platform::Utf8ToUtf16(dir / "source.dsk"));
    source->SetDeviceOpener([this](int&) { return device; });
    source->SetReadRetries(0);
    source->UpdateInfo([](VolumeInfo& v) { v.geometry.totalSectors = 10000; });
    job.source = source;
    job.notifyTarget = 77;
  }
  void TearDown() override {
    job.Cancel();
    SetNotifier(nullptr);
    g_Log = nullptr;
  }
  void Run(const std::string& path) {
    job.imagePath = platform::Utf8ToUtf16(path);
    ASSERT_TRUE(job.Start());
    job.Join();
  }
  std::int64_t DoneStatus() {
    auto done = notifier.Messages(WM_IMAGE_DONE);
    return done.size() == 1 ? done[0].wParam : -1000;
  }
};

}  // namespace

TEST_F(ImageJobThreads, CopiesEverySectorInChunksOf4096) {
  Run(dir / "copy.dsk");
  EXPECT_EQ(ReadFile(dir / "copy.dsk"), std::vector<std::uint8_t>(device->Data(), device->Data() + device->Size()));
  EXPECT_EQ(ReadFile(dir / "copy.dsk").size(), 5120000u);
  auto progress = notifier.Messages(WM_IMAGE_PROGRESS);
  EXPECT_EQ(progress.size(), 3u);
  for (auto& m : progress) EXPECT_EQ(m.target, 77u);
  EXPECT_EQ(DoneStatus(), 0);
  EXPECT_EQ(notifier.Count(WM_IMAGE_ERROR), 0u);
  EXPECT_EQ(job.running.load(), 0);
  EXPECT_EQ(job.currentSector.load(), 10000);
}

TEST_F(ImageJobThreads, UnreadableSectorsAreZeroAndLaterSectorsKeepTheirOffsets) {
  device->InjectFault(5000, MemoryBlockDevice::Fault::Error);
  device->InjectFault(9000, MemoryBlockDevice::Fault::Short);  // the chunk read ends there
  Run(dir / "bad.dsk");
  std::vector<std::uint8_t> image = ReadFile(dir / "bad.dsk");
  ASSERT_EQ(image.size(), 5120000u);
  std::vector<std::uint8_t> expected(device->Data(), device->Data() + device->Size());
  std::fill_n(expected.begin() + 5000 * 512, 512, 0);
  std::fill_n(expected.begin() + 9000 * 512, 512, 0);
  EXPECT_EQ(image, expected);  // the sectors after 9000 were read one by one
  EXPECT_EQ(job.unreadSectors.load(), 2);
  EXPECT_EQ(DoneStatus(), 0);
  bool logged = false;
  for (auto& l : log.Lines()) logged |= l == u"ERR: Image_Create: Can't read sector: 0x1388";
  EXPECT_TRUE(logged);
}

TEST_F(ImageJobThreads, EightUnreadableSectorsAreExactlyTheZerosOfTheImageAndTheEndSaysSo) {
  for (auto fault : {MemoryBlockDevice::Fault::Error, MemoryBlockDevice::Fault::Short}) {
    SCOPED_TRACE(fault == MemoryBlockDevice::Fault::Error ? "I/O error" : "short read");
    device->ClearFaults();
    notifier.Clear();
    const std::size_t before = log.LineCount();
    for (std::uint64_t s = 6000; s < 6008; ++s) device->InjectFault(s, fault);
    Run(dir / "eight.dsk");
    std::vector<std::uint8_t> expected(device->Data(), device->Data() + device->Size());
    std::fill_n(expected.begin() + 6000 * 512, 8 * 512, 0);
    EXPECT_TRUE(ReadFile(dir / "eight.dsk") == expected);
    EXPECT_EQ(job.unreadSectors.load(), 8);
    auto done = notifier.Messages(WM_IMAGE_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].wParam, 0);
    EXPECT_EQ(done[0].lParam, 8);  // never a clean copy without saying how many sectors are zeros
    const auto lines = log.Lines();
    std::vector<std::u16string> errors;
    for (std::size_t i = before; i < lines.size(); ++i)
      if (lines[i].rfind(u"ERR: Image_Create", 0) == 0) errors.push_back(lines[i]);
    EXPECT_EQ(errors, (std::vector<std::u16string>{
                          u"ERR: Image_Create: Can't read sector: 0x1770 (8 sectors)",
                          u"ERR: Image_Create: 8 of 10000 sectors could not be read and are zeros in the image"}));
  }
}

TEST_F(ImageJobThreads, ASourceOfUnknownSizeGivesNoImage) {
  source->UpdateInfo([](VolumeInfo& v) {
    v.geometry.totalSectors = 0;
    v.totalBytes = 0;
  });
  Run(dir / "empty.dsk");
  EXPECT_EQ(DoneStatus(), EINVAL);
  EXPECT_EQ(notifier.Count(WM_IMAGE_ERROR), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.dsk"));
  bool logged = false;
  for (auto& l : log.Lines()) logged |= l.find(u"is not known: no image is written") != std::u16string::npos;
  EXPECT_TRUE(logged);
}

TEST_F(ImageJobThreads, CancelLeavesAPartialImageAndNoThread) {
  device->InjectFault(8500, MemoryBlockDevice::Fault::Hang);
  job.imagePath = platform::Utf8ToUtf16(dir / "partial.dsk");
  ASSERT_TRUE(job.Start());
  while (notifier.Count(WM_IMAGE_PROGRESS) < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread release([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    device->ReleaseHangs();
  });
  job.Cancel();
  release.join();
  EXPECT_EQ(job.running.load(), 0);
  EXPECT_EQ(DoneStatus(), ECANCELED);
  EXPECT_EQ(ReadFile(dir / "partial.dsk").size(), 2u * 4096 * 512);
}

TEST_F(ImageJobThreads, ACancelRightAfterTheStartIsHonoured) {
  // The writer is held in the source's open until the cancel has cleared the flag,
  // so the cancel always comes before its first chunk, however the threads run.
  std::atomic<bool> opened{false}, go{false};
  source->SetDeviceOpener([this, &opened, &go](int&) -> std::shared_ptr<IBlockDevice> {
    opened.store(true);
    while (!go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return device;
  });
  job.imagePath = platform::Utf8ToUtf16(dir / "never.dsk");
  ASSERT_TRUE(job.Start());
  std::thread cancel([this] { job.Cancel(); });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((!opened.load() || job.running.load() != 0) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  go.store(true);
  cancel.join();
  EXPECT_EQ(DoneStatus(), ECANCELED);
  EXPECT_EQ(notifier.Count(WM_IMAGE_PROGRESS), 0u);
}

TEST_F(ImageJobThreads, PathsThatMustNotBeWrittenAreRefused) {
  // A missing folder.
  Run(dir / "missing/folder/x.dsk");
  auto errors = notifier.Messages(WM_IMAGE_ERROR);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].lParam, ENOENT);
  EXPECT_EQ(DoneStatus(), ENOENT);

  // A device node, a link, a FIFO nobody reads (no wait for a reader) and the source
  // image itself.
  std::ofstream(dir / "target.txt") << "keep me";
  ASSERT_EQ(symlink((dir / "target.txt").c_str(), (dir / "link.dsk").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo.dsk").c_str(), 0600), 0);
  struct Case {
    std::string path;
    int error;
  } cases[] = {{"/dev/null", EINVAL},
               {dir / "link.dsk", ELOOP},
               {dir / "fifo.dsk", ENXIO},
               {dir / "source.dsk", EINVAL}};
  for (auto& c : cases) {
    notifier.Clear();
    Run(c.path);
    EXPECT_EQ(DoneStatus(), c.error) << c.path;
    EXPECT_EQ(notifier.Count(WM_IMAGE_PROGRESS), 0u) << c.path;
  }
  std::ifstream in(dir / "target.txt");
  std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "keep me");
}

namespace {

// A read-only loop device over a file, detached again at the end; empty where this
// machine does not allow one (no root, no loop driver: CI containers).
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& file) {
    const std::string cmd = "losetup --find --show --read-only '" + file + "' 2>/dev/null";
    if (FILE* p = popen(cmd.c_str(), "r")) {
      char line[256] = {};
      if (fgets(line, sizeof line, p)) node_ = line;
      if (pclose(p) != 0) node_.clear();
    }
    while (!node_.empty() && (node_.back() == '\n' || node_.back() == ' ')) node_.pop_back();
  }
  ~LoopDevice() {
    if (!node_.empty()) std::system(("losetup --detach '" + node_ + "' 2>/dev/null").c_str());
  }
  const std::string& node() const { return node_; }

 private:
  std::string node_;
};

}  // namespace

TEST_F(ImageJobThreads, AnImageIsNeverWrittenOverTheFileBehindTheLoopDeviceItCopies) {
  // 16,384 sectors of a card image, seen through a loop device.
  const std::vector<std::uint8_t> card = Pattern(16384);
  {
    std::ofstream out(dir / "card.img", std::ios::binary);
    out.write(reinterpret_cast<const char*>(card.data()), std::streamsize(card.size()));
  }
  const std::string before = test::Sha256(card.data(), card.size());
  LoopDevice loop(dir / "card.img");
  if (loop.node().empty()) GTEST_SKIP() << "this machine does not allow a loop device (losetup needs root)";

  auto drive = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  drive->SetDevicePath(platform::Utf8ToUtf16(loop.node()));
  ASSERT_EQ(drive->QueryInformation(), 1);
  ASSERT_EQ(drive->Geometry().totalSectors, 16384);
  job.source = drive;
  ASSERT_EQ(link((dir / "card.img").c_str(), (dir / "other name.img").c_str()), 0);
  for (const std::string& path : {dir / "card.img", dir / "other name.img"}) {
    SCOPED_TRACE(path);
    notifier.Clear();
    Run(path);
    EXPECT_EQ(DoneStatus(), EPERM);
    EXPECT_EQ(notifier.Count(WM_IMAGE_PROGRESS), 0u);
    const std::vector<std::uint8_t> after = ReadFile(dir / "card.img");
    EXPECT_EQ(test::Sha256(after.data(), after.size()), before);
  }
  // The recovery's destination check refuses a folder through the file as well.
  EXPECT_EQ(MatchDestination(dir / "card.img/recovered", *drive, platform::BlockDeviceTree()), DeviceMatch::Same);

  // Beside it the image is made, and is the card's copy.
  notifier.Clear();
  Run(dir / "copy.dsk");
  EXPECT_EQ(DoneStatus(), 0);
  EXPECT_TRUE(ReadFile(dir / "copy.dsk") == card);
  const std::vector<std::uint8_t> after = ReadFile(dir / "card.img");
  EXPECT_EQ(test::Sha256(after.data(), after.size()), before);
}
