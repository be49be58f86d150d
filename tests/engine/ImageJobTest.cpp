#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "engine/ImageJob.h"
#include "engine/Messages.h"
#include "engine/MemoryBlockDevice.h"
#include "engine/Notifier.h"
#include "engine/ProgramLog.h"
#include "engine/Volume.h"
#include "platform/Text.h"
#include "support/TempDir.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t sectors) {
  std::vector<std::uint8_t> data(sectors * 512);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t((i / 512) * 7 + i % 251);
  return data;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

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
