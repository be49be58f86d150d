// Reads of object data on damaged media: a run of sectors that can't be read whole
// is read again sector by sector, so only the sectors that can't be read are zeros;
// each run of them is logged by its first sector and counted for the reading thread.
// The FAT, NTFS and raw object reads go this way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/device/SectorBuffer.h"
#include "engine/fs/fat/FileSystemFatTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

using namespace std::chrono_literals;
using test::FatImage;
using test::FatLayout;

namespace {

// Every byte tells its position: a read from the wrong place shows.
std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = std::uint8_t(i * 7 + i / 512 * 13 + 1);
  return data;
}

struct Fault {
  const char* what;
  MemoryBlockDevice::Fault fault;
};
const Fault kFaults[] = {{"I/O error", MemoryBlockDevice::Fault::Error},
                         {"short read", MemoryBlockDevice::Fault::Short}};

struct SalvagedReads : ::testing::Test {
  ProgramLog log;
  std::vector<std::uint8_t> bytes = Pattern(8192 * 512);
  std::shared_ptr<MemoryBlockDevice> device;
  std::shared_ptr<CVolume> volume;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    Reset();
  }
  void TearDown() override {
    volume.reset();
    g_Log = nullptr;
  }
  void Reset() {
    device = std::make_shared<MemoryBlockDevice>(bytes);
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    auto d = device;
    volume->SetDeviceOpener([d](int&) { return d; });
    volume->SetDevicePath(u"/images/card.dsk");
    volume->SetReadRetries(2);
    volume->QueryInformation();
    mark = log.LineCount();
  }
  std::vector<std::uint8_t> Expected(std::int64_t first, std::int64_t count, std::int64_t badFirst,
                                     std::int64_t badCount) const {
    std::vector<std::uint8_t> e(bytes.begin() + first * 512, bytes.begin() + (first + count) * 512);
    std::fill_n(e.begin() + (badFirst - first) * 512, badCount * 512, 0);
    return e;
  }
  std::size_t LoggedCount(std::u16string_view text) const {
    std::size_t n = 0;
    const auto lines = log.Lines();
    for (std::size_t i = mark; i < lines.size(); ++i)
      if (lines[i].find(text) != std::u16string::npos) ++n;
    return n;
  }
  std::size_t mark = 0;
};

}  // namespace

TEST_F(SalvagedReads, OnlyTheSectorsThatCantBeReadAreZeroAndEachRunIsLoggedByItsFirstSector) {
  for (const Fault& f : kFaults) {
    for (bool sectorBuffer : {false, true}) {
      SCOPED_TRACE(std::string(f.what) + (sectorBuffer ? ", into a sector buffer" : ", into memory"));
      Reset();
      for (std::uint64_t s = 1000; s < 1008; ++s) device->InjectFault(s, f.fault);
      device->InjectFault(3000, f.fault);
      CVolume::UnreadableSectors tally;
      std::vector<std::uint8_t> got(4096 * 512, 0xAA);
      SectorBuffer buffer(4096 * 512);
      std::int64_t n;
      if (sectorBuffer) {
        n = volume->ReadSectorsSalvaged(buffer, 0, 4096, u"Test: Can't read sector at: %I64d");
        std::memcpy(got.data(), buffer.data(), got.size());
      } else {
        n = volume->ReadSectorsSalvaged(got.data(), 0, 4096, u"Test: Can't read sector at: %I64d");
      }
      EXPECT_EQ(n, 4096 * 512);
      std::vector<std::uint8_t> expected = Expected(0, 4096, 1000, 8);
      std::fill_n(expected.begin() + 3000 * 512, 512, 0);
      EXPECT_TRUE(got == expected);
      EXPECT_EQ(tally.Count(), 9);
      EXPECT_EQ(LoggedCount(u"ERR: Test: Can't read sector at: 1000 (8 sectors)"), 1u);
      EXPECT_EQ(LoggedCount(u"ERR: Test: Can't read sector at: 3000"), 1u);
      EXPECT_EQ(LoggedCount(u"Can't read sector at: "), 2u);
    }
  }
}

TEST_F(SalvagedReads, TalliesNestAndTheDeviceEndIsNoUnreadableSector) {
  bytes = Pattern(100 * 512);
  Reset();
  CVolume::UnreadableSectors outer;
  {
    CVolume::UnreadableSectors inner;
    std::vector<std::uint8_t> got(120 * 512, 0xAA);
    // The device ends at sector 100: the read gives what lies before it.
    EXPECT_EQ(volume->ReadSectorsSalvaged(got.data(), 0, 120, u"Test: %I64d"), 100 * 512);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 100 * 512, bytes.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + 100 * 512, got.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(inner.Count(), 0);
    device->InjectFault(5, MemoryBlockDevice::Fault::Error);
    EXPECT_EQ(volume->ReadSectorsSalvaged(got.data(), 0, 10, u"Test: %I64d"), 10 * 512);
    EXPECT_EQ(inner.Count(), 1);
  }
  EXPECT_EQ(outer.Count(), 1);
  CVolume::UnreadableSectors::Add(3);
  EXPECT_EQ(outer.Count(), 4);
}

TEST_F(SalvagedReads, ADeviceThatStopsAnsweringIsNotAskedForEverySector) {
  volume->SetReadWaitPerSector(50ms);
  device->SetHangTime(20s);
  for (std::uint64_t s = 10; s < 40; ++s) device->InjectFault(s, MemoryBlockDevice::Fault::Hang);
  CVolume::UnreadableSectors tally;
  std::vector<std::uint8_t> got(40 * 512, 0xAA);
  EXPECT_EQ(volume->ReadSectorsSalvaged(got.data(), 0, 40, u"Test: Can't read sector at: %I64d"), 40 * 512);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10 * 512, bytes.begin()));
  EXPECT_TRUE(std::all_of(got.begin() + 10 * 512, got.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(tally.Count(), 30);
  // The whole run, the first sectors one by one, and no more than the few in a row
  // that timed out (a read that finds every reader stuck times out without a call).
  EXPECT_GE(device->ReadCalls(), 1u + 10u);
  EXPECT_LE(device->ReadCalls(), 1u + 10u + std::uint64_t(CVolume::kMaxTimeoutsInARow));
  EXPECT_EQ(LoggedCount(u"ERR: Test: Can't read sector at: 10 (30 sectors)"), 1u);
  device->ReleaseHangs();
}

TEST_F(SalvagedReads, ObjectDataOfRawAndFatVolumesKeepsEveryReadableByte) {
  // A 256 KiB file in clusters 3 to 514 of a FAT16 volume, read raw from its offset
  // and through the parser, with 8 unreadable sectors in its middle.
  FatLayout layout;
  FatImage img(layout);
  std::vector<std::uint32_t> chain;
  for (std::uint32_t c = 3; c < 3 + 512; ++c) chain.push_back(c);
  img.Chain(chain);
  FatImage::Put(img.Root(), 0, {"PHOTO   JPG", 0x20, 3, 256 * 1024});
  std::vector<std::uint8_t> content = Pattern(256 * 1024);
  std::memcpy(img.Cluster(3), content.data(), content.size());
  const std::int64_t fileSector = std::int64_t(img.ClusterOffset(3) / 512);
  const std::int64_t badFirst = fileSector + 250;
  std::vector<std::uint8_t> expected = content;
  std::fill_n(expected.begin() + 250 * 512, 8 * 512, 0);

  for (const Fault& f : kFaults) {
    for (bool raw : {true, false}) {
      SCOPED_TRACE(std::string(f.what) + (raw ? ", raw" : ", through the FAT parser"));
      ProgramLog own;
      own.SetTimeStamps(false);
      g_Log = &own;
      std::shared_ptr<MemoryBlockDevice> dev;
      auto v = test::ImageVolume(img.Bytes(), &dev);
      ScanProgress progress;
      FoundObject file;
      if (raw) {
        file.flags = OBJ_NAMED;
        file.offset = fileSector * 512;
        file.size = 256 * 1024;
      } else {
        test::RunFatPass(*v, progress);
        const auto view = v->Store().Read();
        for (std::size_t i = 0; i < view.Count(); ++i)
          if (view.At(i)->Name() == u"PHOTO.JPG") file = *view.At(i);
        ASSERT_EQ(file.Name(), u"PHOTO.JPG");
      }
      for (std::int64_t s = badFirst; s < badFirst + 8; ++s) dev->InjectFault(std::uint64_t(s), f.fault);
      CVolume::UnreadableSectors tally;
      std::vector<std::uint8_t> got(content.size(), 0xAA);
      EXPECT_EQ(v->ReadObjectData(file, got.data(), 0, std::uint32_t(got.size())), std::int64_t(got.size()));
      EXPECT_TRUE(got == expected);
      EXPECT_EQ(tally.Count(), 8);
      const std::u16string line = (raw ? u"ERR: CVolume::FileRead: Can't read sector at: "
                                       : u"ERR: CFileSystem_FAT.FileRead: Can't read sector at: ") +
                                  platform::Utf8ToUtf16(std::to_string(badFirst)) + u" (8 sectors)";
      bool logged = false;
      for (const auto& l : own.Lines()) logged |= l == line;
      EXPECT_TRUE(logged) << platform::Utf16ToUtf8(line);
      g_Log = &log;
    }
  }
}

// "Read errors:" of the wizard's progress pages: the running pass counts the
// sectors that reads of its volume left zero-filled; a salvaged read counts only
// those it could not save, the device's end counts nothing, nor do reads of another
// volume or reads while no scan runs.
TEST_F(SalvagedReads, ThePassCountsTheSectorsItsReadsLeftZeroFilled) {
  bytes = Pattern(4096 * 512);
  Reset();
  ScanProgress progress;
  SetScanProgress(&progress);
  progress.running.store(1);
  progress.BeginUnreadableCount(volume.get());
  std::vector<std::uint8_t> got(4200 * 512);
  device->InjectFault(1000, MemoryBlockDevice::Fault::Error);
  volume->SetReadRetries(0);
  // A plain read that fails leaves the whole run zeros.
  EXPECT_EQ(volume->ReadSectors(got.data(), 990, 20), 0);
  EXPECT_EQ(progress.unreadable.load(), 20);
  // The salvaged read of the same run saves all but that sector.
  EXPECT_EQ(volume->ReadSectorsSalvaged(got.data(), 990, 20, u"Test: %I64d"), 20 * 512);
  EXPECT_EQ(progress.unreadable.load(), 21);
  // Past the device's end is no read error.
  EXPECT_EQ(volume->ReadSectors(got.data(), 4000, 200), 96 * 512);
  EXPECT_EQ(progress.unreadable.load(), 21);
  // Another volume's reads, and reads while nothing runs, are not the pass's.
  auto other = std::make_shared<CVolume>(CVolume::kImageFile);
  auto d = device;
  other->SetDeviceOpener([d](int&) { return d; });
  other->SetReadRetries(0);
  other->QueryInformation();
  other->ReadSectors(got.data(), 990, 20);
  progress.running.store(0);
  volume->ReadSectors(got.data(), 990, 20);
  EXPECT_EQ(progress.unreadable.load(), 21);
  // A new pass counts from 0.
  progress.running.store(1);
  progress.BeginUnreadableCount(volume.get());
  EXPECT_EQ(progress.unreadable.load(), 0);
  SetScanProgress(nullptr);
}
