#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/store/StoreTestSupport.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

using namespace std::chrono_literals;
using test::Parsed;

namespace {

// Every byte tells its position: a read from the wrong place shows.
std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = std::uint8_t(i * 7 + i / 512 * 13 + 1);
  return data;
}

struct VolumeFixture : ::testing::Test {
  ProgramLog log;
  std::shared_ptr<MemoryBlockDevice> device = std::make_shared<MemoryBlockDevice>(Pattern(64 * 512));
  int opens = 0;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override { g_Log = nullptr; }

  std::shared_ptr<CVolume> Make(std::int32_t kind, std::shared_ptr<IBlockDevice> dev = nullptr) {
    auto v = std::make_shared<CVolume>(kind);
    std::shared_ptr<IBlockDevice> d = dev ? dev : device;
    v->SetDeviceOpener([this, d](int&) {
      ++opens;
      return d;
    });
    v->SetReadRetries(10);
    v->SetDevicePath(u"/dev/test");
    return v;
  }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
};

}  // namespace

TEST_F(VolumeFixture, ReadOfCountZeroTouchesNothing) {
  auto v = Make(CVolume::kImageFile);
  std::uint8_t buffer[512];
  std::memset(buffer, 0xAA, sizeof buffer);
  EXPECT_EQ(v->ReadSectors(buffer, 0, 0), 0);
  EXPECT_EQ(v->ReadSectors(buffer, 5, -1), 0);
  EXPECT_EQ(opens, 0);
  EXPECT_EQ(device->ReadCalls(), 0u);
  EXPECT_EQ(buffer[0], 0xAA);
  EXPECT_EQ(buffer[511], 0xAA);
  EXPECT_EQ(v->FileRead(Parsed(1, 0, u"x"), buffer, 0, 0), 0);
  EXPECT_EQ(device->ReadCalls(), 0u);
}

TEST_F(VolumeFixture, ReadsSectorsAtTheirPlace) {
  auto v = Make(CVolume::kImageFile);
  std::vector<std::uint8_t> buffer(3 * 512);
  EXPECT_EQ(v->ReadSectors(buffer.data(), 2, 3), 3 * 512);
  const auto expected = Pattern(64 * 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), expected.begin() + 2 * 512));
  // Past the end: what there is, the rest zero-filled.
  std::fill(buffer.begin(), buffer.end(), 0xAA);
  EXPECT_EQ(v->ReadSectors(buffer.data(), 63, 3), 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, expected.begin() + 63 * 512));
  EXPECT_TRUE(std::all_of(buffer.begin() + 512, buffer.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(opens, 1);  // opened on the first read and kept open
}

TEST_F(VolumeFixture, ShortReadsAreTriedReadRetriesPlusOneTimes) {
  auto v = Make(CVolume::kImageFile);
  device->InjectFault(3, MemoryBlockDevice::Fault::Short);
  std::vector<std::uint8_t> buffer(8 * 512, 0xAA);
  EXPECT_EQ(v->ReadSectors(buffer.data(), 0, 8), 3 * 512);
  EXPECT_EQ(device->ReadCalls(), 11u);
  EXPECT_TRUE(std::all_of(buffer.begin() + 3 * 512, buffer.end(), [](std::uint8_t b) { return b == 0; }));
  v->SetReadRetries(2);
  EXPECT_EQ(v->ReadSectors(buffer.data(), 0, 8), 3 * 512);
  EXPECT_EQ(device->ReadCalls(), 14u);
}

TEST_F(VolumeFixture, AFailedReadIsLoggedAndLeavesNoStaleBytes) {
  auto v = Make(CVolume::kImageFile);
  v->SetDevicePath(u"/images/card.dsk");
  device->InjectFault(5, MemoryBlockDevice::Fault::Error);
  std::vector<std::uint8_t> buffer(4 * 512, 0xAA);  // bytes of an earlier read
  EXPECT_EQ(v->ReadSectors(buffer.data(), 4, 4), 0);
  EXPECT_EQ(device->ReadCalls(), 1u);  // an error is not retried
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(Logged(u"ERR: Volume card.dsk at position 2048 not read, retry 0"));
}

TEST_F(VolumeFixture, FileReadReturnsTheBytesAtTheirPosition) {
  auto v = Make(CVolume::kImageFile);
  const auto data = Pattern(64 * 512);
  struct Case {
    std::int64_t offset, position;
    std::uint32_t count;
    std::int64_t expected;
  };
  const Case cases[] = {
      {0, 0, 700, 700},           // 2 sectors read, 700 returned
      {1000, 300, 700, 700},      // inside a sector
      {512, 0, 1024, 1024},       // whole sectors, read in place
      {0, 1, 1, 1},
      {64 * 512 - 100, 0, 700, 100},  // the end of the device
      {64 * 512 + 10, 0, 10, 0},
  };
  for (const Case& c : cases) {
    // Exactly the bytes asked for: an overrun would show under the address sanitizer.
    std::vector<std::uint8_t> buffer(c.count, 0xAA);
    FoundObject o = Parsed(1, 0, u"f", 0, c.offset);
    EXPECT_EQ(v->FileRead(o, buffer.data(), c.position, c.count), c.expected) << c.offset << "+" << c.position;
    const std::size_t start = std::size_t(c.offset + c.position);
    for (std::size_t i = 0; i < c.count; ++i) {
      const std::uint8_t want = i < std::size_t(c.expected) ? data[start + i] : 0;
      ASSERT_EQ(buffer[i], want) << c.offset << "+" << c.position << " byte " << i;
    }
  }
}

TEST_F(VolumeFixture, ObjectDataGoesThroughTheParserForEveryFatAndNtfsCode) {
  struct Parser : CFileSystem {
    int calls = 0;
    bool ReadsObjectData() const override { return true; }
    std::int64_t FileRead(const FoundObject&, void* buffer, std::int64_t, std::uint32_t length) override {
      ++calls;
      std::memset(buffer, 0x5A, length);
      return length;
    }
  };
  auto v = Make(CVolume::kImageFile);
  for (int code = 0; code < 256; ++code) {
    auto parser = std::make_unique<Parser>();
    Parser* p = parser.get();
    parser->typeCode = code;
    v->SetFileSystem(std::move(parser));
    std::uint8_t buffer[512];
    EXPECT_EQ(v->ReadObjectData(Parsed(3, 0, u"f", 0, 512), buffer, 0, 512), 512);
    const bool viaParser = CVolume::GetFileSystemFamily(code) < 2;
    EXPECT_EQ(p->calls, viaParser ? 1 : 0) << code;
    EXPECT_EQ(buffer[0] == 0x5A, viaParser) << code;
  }
  // The plain parser a volume starts with reads no data itself: raw sectors are read.
  v->SetFileSystem(nullptr);
  v->SetFileSystemTypeCode(11);
  std::uint8_t buffer[512];
  EXPECT_EQ(v->ReadObjectData(Parsed(3, 0, u"f", 0, 512), buffer, 0, 512), 512);
  EXPECT_EQ(buffer[0], Pattern(1024)[512]);
}

TEST(VolumeFamilies, TypeCodesTable) {
  for (int code : {1, 4, 6, 11, 12, 14, 17, 20, 22, 27, 28, 30}) EXPECT_EQ(CVolume::GetFileSystemFamily(code), 0);
  EXPECT_EQ(CVolume::GetFileSystemFamily(7), 1);
  for (int code : {0, 5, 15, 131, 134, 135, 139, 140, 128, 255}) EXPECT_EQ(CVolume::GetFileSystemFamily(code), 2);
}

TEST_F(VolumeFixture, PartitionReadsThroughItsParentWithItsBaseOffset) {
  auto disk = Make(CVolume::kPhysicalDrive);
  auto part = std::make_shared<CVolume>(CVolume::kFoundPartition);
  part->SetParentVolume(disk);
  part->UpdateInfo([](VolumeInfo& v) { v.geometry.baseOffset = 8 * 512; });
  std::vector<std::uint8_t> buffer(2 * 512);
  ASSERT_EQ(disk->ReadSectors(buffer.data(), 0, 1), 512);
  ASSERT_EQ(part->ReadSectors(buffer.data(), 1, 2), 2 * 512);
  const auto data = Pattern(64 * 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), data.begin() + 9 * 512));
  EXPECT_EQ(opens, 1);  // one device, opened by the disk
  EXPECT_EQ(part->GetPath(), u"/dev/test");
  // The partition keeps the device when the disk goes.
  disk.reset();
  EXPECT_EQ(part->ReadSectors(buffer.data(), 0, 1), 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, data.begin() + 8 * 512));
}

TEST_F(VolumeFixture, ImageOfAMillionBytesHas1953SectorsAndIsOpenedReadOnly) {
  test::TempDir dir;
  const std::string path = dir / "card.dsk";
  {
    std::ofstream out(path, std::ios::binary);
    const auto data = Pattern(1000000);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  }
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(platform::Utf8ToUtf16(path));
  ASSERT_EQ(v->QueryInformation(), 1);
  EXPECT_EQ(v->GetState(), CVolume::kReady);
  EXPECT_FALSE(v->IsOpen());  // the query closes what it opened
  const VolumeInfo info = v->Info();
  EXPECT_EQ(info.totalBytes, 1000000);
  EXPECT_EQ(info.geometry.totalSectors, 1953);
  EXPECT_EQ(info.geometry.clusterBytes, 512);
  EXPECT_EQ(v->GetDisplayName(), u"card.dsk");

  ASSERT_NE(v->OpenDrive(), nullptr);
  // The descriptor that holds the image: read-only, closed on exec.
  bool found = false;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(e.path(), ec) != path) continue;
    std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
    std::string key, value;
    while (info >> key >> value) {
      if (key != "flags:") continue;
      const long flags = std::stol(value, nullptr, 8);
      EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
      EXPECT_NE(flags & O_CLOEXEC, 0);
      found = true;
    }
  }
  EXPECT_TRUE(found);
  v->Close();
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    EXPECT_NE(std::filesystem::read_symlink(e.path(), ec), path);
  }
}

TEST_F(VolumeFixture, AWholeDiskTakesItsSizeFromTheDeviceNotItsGeometry) {
  DeviceInfo info;
  info.isBlockDevice = true;
  info.logicalSectorSize = 4096;
  info.hasGeometry = true;  // 255 x 63 x 1 cylinder: far less than the disk
  info.heads = 255;
  info.sectorsPerTrack = 63;
  info.cylinders = 1;
  info.vendor = "ATA";
  info.model = "WDC WD10EZEX";
  info.diskNumber = {8, 0};
  auto disk = std::make_shared<MemoryBlockDevice>(Pattern(9 * 1024 * 1024 + 4096), info);
  auto v = Make(CVolume::kPhysicalDrive, disk);
  ASSERT_EQ(v->QueryInformation(), 1);
  const VolumeInfo got = v->Info();
  EXPECT_EQ(got.totalBytes, 9 * 1024 * 1024 + 4096);
  EXPECT_EQ(got.geometry.totalSectors, (9 * 1024 * 1024 + 4096) / 512);
  EXPECT_EQ(got.geometry.bytesPerSector, 512);  // sectors stay 512-byte units
  EXPECT_EQ(got.logicalSectorSize, 4096u);      // the partition walk counts these
  EXPECT_EQ(got.deviceNumber, (platform::BlockDeviceId{8, 0}));
  EXPECT_EQ(v->GetDisplayName(), u"ATA, WDC WD10EZEX");
}

TEST_F(VolumeFixture, AnImageThatDoesNotOpenIsLogged) {
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(u"/nonexistent/disk.dsk");
  std::uint8_t buffer[512];
  std::memset(buffer, 0xAA, sizeof buffer);
  EXPECT_EQ(v->ReadSectors(buffer, 0, 1), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_TRUE(Logged(u"ERR: Can't open volume '/nonexistent/disk.dsk', System Error: No such file or directory"));
  EXPECT_EQ(v->QueryInformation(), 0);
  EXPECT_EQ(v->GetState(), CVolume::kNotReady);
}

TEST_F(VolumeFixture, DisplayNameTable) {
  struct Case {
    std::int32_t kind;
    std::u16string description, rootPath, label, devicePath;
    std::int64_t base;
    std::u16string expected;
  };
  const Case cases[] = {
      {CVolume::kPhysicalDrive, u"ATA, WDC WD10EZEX", u"", u"", u"/dev/sda", 0, u"ATA, WDC WD10EZEX"},
      {CVolume::kLogicalDrive, u"", u"/media/usb", u"  PHOTOS  ", u"/dev/sdb1", 0, u"/media/usb (PHOTOS)"},
      {CVolume::kLogicalDrive, u"", u"/media/usb", u"   ", u"/dev/sdb1", 0, u"/media/usb"},
      {CVolume::kPartition, u"", u"", u"", u"/dev/sda", 32256, u"Volume at: 32256"},
      {CVolume::kFoundPartition, u"", u"", u"", u"/dev/sda", std::int64_t(1) << 41, u"Volume at: 2199023255552"},
      {CVolume::kImageFile, u"", u"", u"", u"/home/me/images/card.dsk", 0, u"card.dsk"},
  };
  for (const Case& c : cases) {
    CVolume v(c.kind);
    v.UpdateInfo([&](VolumeInfo& i) {
      i.description = c.description;
      i.rootPath = c.rootPath;
      i.label = c.label;
      i.devicePath = c.devicePath;
      i.geometry.baseOffset = c.base;
    });
    EXPECT_EQ(v.GetDisplayName(), c.expected);
  }
}

TEST_F(VolumeFixture, ObjectPathTable) {
  test::FakeTypes types;
  CVolume v(CVolume::kImageFile);
  FoundObjectStore& s = v.Store();
  s.SetRootFolderId(0);
  s.RegisterObject(v.DeviceNode());
  s.RegisterObject(Parsed(0, v.DeviceNodeId(), u".", OBJ_FOLDER));
  s.RegisterObject(Parsed(5, 0, u"dir.txt", OBJ_DELETED));  // a deleted file that shares the folder's id
  s.RegisterObject(Parsed(5, 0, u"dir", OBJ_FOLDER));
  s.RegisterObject(Parsed(9, 5, u"sub", OBJ_FOLDER));
  s.RegisterObject(Parsed(77, kIdLostFolders, u"lost_folder_77", OBJ_FOLDER));
  s.RegisterObject(Parsed(-20, kIdLostFiles, u"Graphics", OBJ_FOLDER));
  s.RegisterObject(Parsed(20, 21, u"x", OBJ_FOLDER));
  s.RegisterObject(Parsed(21, 20, u"y", OBJ_FOLDER));
  struct Case {
    FoundObject object;
    std::u16string expected;
  };
  const Case cases[] = {
      {Parsed(30, 9, u"photo.jpg"), u"dir/sub/"},
      {Parsed(31, 5, u"a.txt"), u"dir/"},
      {Parsed(32, 0, u"b.txt"), u""},
      {Parsed(0, -31, u".", OBJ_FOLDER), u""},  // the root folder itself
      {Parsed(33, 77, u"c.txt"), u"lost_folder_77/"},
      {Parsed(0, -20, u"jpeg_512.jpg"), u""},   // carved, under the lost files
      {Parsed(34, 20, u"d.txt"), u"y/x/"},     // a parent cycle ends
      {Parsed(35, 404, u"e.txt"), u""},        // a missing parent ends
  };
  for (const Case& c : cases) {
    std::u16string path = u"stale";
    EXPECT_EQ(v.GetObjectPath(c.object, path), std::int64_t(c.expected.size()));
    EXPECT_EQ(path, c.expected) << platform::Utf16ToUtf8(c.object.Name());
  }
}

TEST_F(VolumeFixture, ParsedObjectsAreCountedAndTheirNamesLogged) {
  auto v = Make(CVolume::kImageFile);
  v->Store().SetRootFolderId(0);
  EXPECT_NE(v->OnObjectFound(Parsed(4, 0, u"dir", OBJ_FOLDER)), nullptr);
  EXPECT_NE(v->OnObjectFound(Parsed(5, 4, u"a.txt")), nullptr);
  EXPECT_FALSE(Logged(u"Found file: a.txt"));
  AppSettings settings;
  settings.SetLogFoundNames(1);
  settings.SetReadRetries(3);
  v->TakeSettings(settings);
  EXPECT_NE(v->OnObjectFound(Parsed(6, 4, u"b.txt")), nullptr);
  EXPECT_TRUE(Logged(u"Found file: b.txt"));
  EXPECT_EQ(v->FileSystemPassCounters().folders.load(), 1);
  EXPECT_EQ(v->FileSystemPassCounters().files.load(), 2);
  // The device node stands for the volume.
  EXPECT_EQ(v->DeviceNode()->volume, v.get());
  EXPECT_TRUE(v->DeviceNode()->IsDevice());
  EXPECT_EQ(v->DeviceNode()->parentId, kIdMyComputer);
}

TEST(VolumeReadWait, GrowsWithTheCountUpToItsCap) {
  CVolume v(CVolume::kImageFile);
  EXPECT_EQ(v.ReadWait(1), 512ms);
  EXPECT_EQ(v.ReadWait(2), 1024ms);
  EXPECT_EQ(v.ReadWait(4096), std::chrono::milliseconds(CVolume::kMaxReadWaitMs));
  EXPECT_EQ(v.ReadWait(std::int64_t(1) << 50), std::chrono::milliseconds(CVolume::kMaxReadWaitMs));
}

// ---- Time-outs and overlapping reads ----------------------------------------------------------

namespace {

// A device that blocks inside its read until the test opens the gate, then writes
// the whole buffer it was given.
class GateDevice : public IBlockDevice {
 public:
  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t) override {
    std::unique_lock lock(mutex_);
    ++entered_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
    std::memset(buffer, 0x5A, length);
    ++completed_;
    changed_.notify_all();
    return std::int64_t(length);
  }
  DeviceInfo Query() const override { return {}; }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitCompleted(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return completed_ >= n; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int entered_ = 0;
  int completed_ = 0;
};

// Suites that run reader threads end in "Threads": the thread-sanitizer build runs them.
using VolumeReadsThreads = VolumeFixture;

}  // namespace

TEST_F(VolumeReadsThreads, TimeOutOnTheMemoryDevice) {
  auto v = Make(CVolume::kImageFile);
  v->SetDevicePath(u"/images/dying.dsk");
  v->SetReadWaitPerSector(50ms);
  device->InjectFault(2, MemoryBlockDevice::Fault::Hang);
  device->SetHangTime(8000ms);
  std::vector<std::uint8_t> buffer(4 * 512, 0xAA);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(v->ReadSectors(buffer.data(), 0, 4), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, 6000ms);  // the wait was 4 x 50 ms, not the device's 8 s (a loaded machine is slow)
  EXPECT_EQ(device->ReadCalls(), 1u);  // a time-out ends the read
  const auto lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], u"ERR: Read Timeout!");
  EXPECT_EQ(lines.back(), u"ERR: Volume dying.dsk at position 0 not read, retry 0");
  // The read completes later, into the reader's buffer, never into ours.
  for (int i = 0; i < 2000 && device->HangsCompleted() == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(device->HangsCompleted(), 1u);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  // Other sectors still read.
  EXPECT_EQ(v->ReadSectors(buffer.data(), 8, 4), 4 * 512);
}

TEST_F(VolumeReadsThreads, TimeOutOnADeviceThatBlocksBelow) {
  auto gate = std::make_shared<GateDevice>();
  auto v = Make(CVolume::kPhysicalDrive, gate);
  v->SetReadWaitPerSector(30ms);
  auto* buffer = new std::uint8_t[8 * 512];
  std::memset(buffer, 0xAA, 8 * 512);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(v->ReadSectors(buffer, 0, 8), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);  // the wait, not the device's hang
  EXPECT_EQ(buffer[0], 0);  // zero-filled, not the device's bytes
  // Free the caller's buffer, then let the stuck read complete: it must not write
  // into freed memory (the address sanitizer would stop here).
  delete[] buffer;
  // Meanwhile a second read gets a reader of its own and times out too.
  std::vector<std::uint8_t> other(512, 0xAA);
  EXPECT_EQ(v->ReadSectors(other.data(), 20, 1), 0);
  gate->Open();
  ASSERT_TRUE(gate->WaitCompleted(2));
  EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](std::uint8_t b) { return b == 0; }));
  // The device answers again.
  EXPECT_EQ(v->ReadSectors(other.data(), 20, 1), 512);
  EXPECT_EQ(other[0], 0x5A);
}

TEST_F(VolumeReadsThreads, ASectorBufferGivesItsMemoryToATimedOutRead) {
  auto gate = std::make_shared<GateDevice>();
  auto v = Make(CVolume::kPhysicalDrive, gate);
  v->SetReadWaitPerSector(30ms);
  SectorBuffer buffer(8 * 512);
  std::memset(buffer.data(), 0xAA, buffer.size());
  const std::uint8_t* before = buffer.data();
  EXPECT_EQ(v->ReadSectors(buffer, 0, 8), 0);
  EXPECT_NE(buffer.data(), before);  // new memory: the old one stays with the read
  EXPECT_EQ(buffer.size(), 8u * 512);
  EXPECT_TRUE(std::all_of(buffer.data(), buffer.data() + buffer.size(), [](std::uint8_t b) { return b == 0; }));
  gate->Open();
  ASSERT_TRUE(gate->WaitCompleted(1));
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(std::all_of(buffer.data(), buffer.data() + buffer.size(), [](std::uint8_t b) { return b == 0; }));
  // Read into directly when the device answers; grown when too small.
  EXPECT_EQ(v->ReadSectors(buffer, 0, 16), 16 * 512);
  EXPECT_EQ(buffer.size(), 16u * 512);
  EXPECT_EQ(buffer.data()[16 * 512 - 1], 0x5A);
}

TEST_F(VolumeReadsThreads, OverlapWithoutASharedPosition) {
  device->SetMayBlock(true);  // through the reader threads
  auto v = Make(CVolume::kImageFile);
  const auto data = Pattern(64 * 512);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::uint8_t> buffer(5 * 512);
      SectorBuffer direct(5 * 512);
      for (int i = 0; i < 200; ++i) {
        const std::int64_t first = (t * 13 + i) % 59;
        if (v->ReadSectors(buffer.data(), first, 5) != 5 * 512 ||
            !std::equal(buffer.begin(), buffer.end(), data.begin() + first * 512))
          ++wrong;
        if (v->ReadSectors(direct, first, 5) != 5 * 512 ||
            !std::equal(direct.data(), direct.data() + 5 * 512, data.begin() + first * 512))
          ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  // A volume let go while its device is open closes it with the last reference.
  std::weak_ptr<MemoryBlockDevice> weak = device;
  device.reset();
  v.reset();
  EXPECT_TRUE(weak.expired());
}

TEST_F(VolumeReadsThreads, WhatMemoryHoldsIsReadOnTheCallersThreadAndTheRestThroughAReader) {
  device->SetMayBlock(true);
  device->SetCachedBytes(6 * 512);  // the first six sectors are in memory
  auto v = Make(CVolume::kImageFile);
  v->SetReadWaitPerSector(50ms);
  const auto data = Pattern(64 * 512);
  std::vector<std::uint8_t> buffer(8 * 512);
  SectorBuffer direct(8 * 512);
  // All in memory: no reader thread is asked.
  EXPECT_EQ(v->ReadSectors(buffer.data(), 0, 4), 4 * 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 4 * 512, data.begin()));
  EXPECT_EQ(device->ReadCalls(), 0u);
  // Partly in memory: the rest comes from a reader, joined at its place.
  for (int kind = 0; kind < 2; ++kind) {
    const std::uint64_t calls = device->ReadCalls();
    const std::uint8_t* got = kind ? direct.data() : buffer.data();
    EXPECT_EQ(kind ? v->ReadSectors(direct, 2, 8) : v->ReadSectors(buffer.data(), 2, 8), 8 * 512);
    got = kind ? direct.data() : buffer.data();
    EXPECT_TRUE(std::equal(got, got + 8 * 512, data.begin() + 2 * 512)) << kind;
    EXPECT_EQ(device->ReadCalls(), calls + 1) << kind;
  }
  // The part a reader reads still times out when the device hangs there.
  device->InjectFault(7, MemoryBlockDevice::Fault::Hang);
  device->SetHangTime(8000ms);
  EXPECT_EQ(v->ReadSectors(buffer.data(), 4, 4), 0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 4 * 512, [](std::uint8_t b) { return b == 0; }));
  device->ReleaseHangs();
}
