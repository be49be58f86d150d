#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PartitionTestSupport.h"
#include "engine/fs/FileSystem.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "support/LogLines.h"

namespace {

void Put(std::vector<std::uint8_t>& s, std::size_t offset, const char* text) {
  std::memcpy(s.data() + offset, text, std::strlen(text));
}

struct BootFixture : ::testing::Test {
  ProgramLog log;
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override { g_Log = nullptr; }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
  // A partition volume over `bytes` whose partition-type byte is `code`.
  std::shared_ptr<CVolume> Partition(std::vector<std::uint8_t> bytes, std::int32_t code, bool knownSize = true) {
    auto v = test::MemoryDisk(std::move(bytes), 512, CVolume::kFoundPartition);
    if (!knownSize) v->UpdateInfo([](VolumeInfo& i) { i.totalBytes = 0; });
    v->UpdateInfo([](VolumeInfo& i) { i.geometry.totalSectors = 0; });
    v->SetFileSystemTypeCode(code);
    return v;
  }
};

}  // namespace

TEST(FileSystemDetection, LabelsInTheBootSector) {
  struct Case {
    std::vector<std::pair<std::size_t, const char*>> labels;
    std::int32_t expected;
  };
  const Case cases[] = {
      {{{54, "FAT12   "}}, 1},
      {{{54, "FAT16   "}}, 4},
      {{{82, "FAT32   "}}, 11},
      {{{3, "NTFS    "}}, 7},
      {{}, 0},
      {{{54, "FAT16   "}, {3, "NTFS    "}}, 4},  // two labels: the first in order wins
      {{{82, "FAT32   "}, {3, "NTFS    "}}, 11},
      {{{54, "FAT1    "}}, 0},
      {{{3, "NTFS"}}, 0},  // the blanks belong to the label
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> sector(512);
    for (const auto& [offset, text] : c.labels) Put(sector, offset, text);
    EXPECT_EQ(CFileSystem::DetectByBootSector(sector), c.expected) << (c.labels.empty() ? "" : c.labels[0].second);
  }
  std::vector<std::uint8_t> shortSector(60);
  Put(shortSector, 54, "FAT1");
  EXPECT_EQ(CFileSystem::DetectByBootSector(shortSector), 0);  // nothing read past the end
}

TEST(FileSystemDetection, TypeCodeTable) {
  struct Case {
    std::int32_t code;
    const char16_t* name;
    CFileSystem::ParserKind parser;
    std::int32_t root;
    int fatBits;
  };
  using K = CFileSystem::ParserKind;
  const Case cases[] = {
      {1, u"FAT12", K::Fat, 0, 12},    {17, u"Unknown", K::Fat, 0, 12}, {4, u"FAT16", K::Fat, 0, 16},
      {6, u"FAT16", K::Fat, 0, 16},    {14, u"Unknown", K::Fat, 0, 16}, {20, u"Unknown", K::Fat, 0, 16},
      {22, u"Unknown", K::Fat, 0, 16}, {30, u"Unknown", K::Fat, 0, 16}, {11, u"FAT32", K::Fat, 2, 32},
      {12, u"FAT32", K::Fat, 2, 32},   {27, u"Unknown", K::Fat, 2, 32}, {28, u"Unknown", K::Fat, 2, 32},
      {7, u"NTFS", K::Ntfs, 5, 0},     {128, u"NTFS", K::None, 0, 0},   {0, u"Unknown", K::None, 0, 0},
      {131, u"Unknown", K::None, 0, 0},
  };
  for (const Case& c : cases) {
    CFileSystem fs;
    EXPECT_EQ(fs.typeName, u"Unknown");
    fs.typeCode = c.code;
    fs.GetTypeName();
    EXPECT_EQ(fs.typeName, c.name) << c.code;
    EXPECT_EQ(CFileSystem::ParserFor(c.code), c.parser) << c.code;
    EXPECT_EQ(CFileSystem::RootFolderIdFor(c.code), c.root) << c.code;
    EXPECT_EQ(CFileSystem::FatBitsFor(c.code), c.fatBits) << c.code;
  }
  CFileSystem fs;
  EXPECT_EQ(fs.root.Name(), u".");
  EXPECT_EQ(std::uint16_t(fs.root.flags), OBJ_FOLDER | OBJ_NAMED);
}

TEST_F(BootFixture, EveryFatCodeWithAndWithoutItsLabel) {
  for (std::int32_t code : {1, 4, 6, 11, 12, 14, 17, 20, 22, 27, 28, 30}) {
    const bool fat32 = code == 11 || code == 12 || code == 27 || code == 28;
    for (bool label : {true, false}) {
      std::vector<std::uint8_t> bytes(1024 * 1024);
      platform::LeWriter w(bytes.data(), 512);
      Put(bytes, 3, "MSWIN4.1");
      w.U16(11, 512);
      w.U8(13, 8);
      w.U16(19, 0);
      w.U32(32, 2000);
      const std::uint32_t serial = 0xCAFE0000u + std::uint32_t(code);
      w.U32(fat32 ? 67 : 39, serial);
      Put(bytes, fat32 ? 71 : 43, "VOLUME NAME");
      if (label) Put(bytes, fat32 ? 82 : 54, fat32 ? "FAT32   " : code == 1 || code == 17 ? "FAT12   " : "FAT16   ");
      w.U8(510, 0x55);
      w.U8(511, 0xAA);
      auto v = Partition(std::move(bytes), code);
      ASSERT_EQ(v->BootSetup(), 1) << code;
      const std::int32_t expectedCode = !label ? code : fat32 ? 11 : code == 1 || code == 17 ? 1 : 4;
      EXPECT_EQ(v->FileSystemTypeCode(), expectedCode) << code << " label " << label;
      EXPECT_EQ(v->GetFileSystemFamily(), 0) << code;
      const VolumeInfo info = v->Info();
      EXPECT_EQ(info.geometry.totalSectors, 2000) << code << " label " << label;
      EXPECT_EQ(info.geometry.sectorsPerCluster, 8) << code;
      EXPECT_EQ(info.geometry.totalClusters, 250) << code;
      EXPECT_EQ(info.geometry.clusterBytes, 4096) << code;
      EXPECT_EQ(info.geometry.serialLow, serial) << code << " label " << label;
      EXPECT_EQ(info.geometry.serialHigh, 0u);
      EXPECT_EQ(info.geometry.oemName, u"MSWIN4.1");
      EXPECT_EQ(info.label, u"VOLUME NAME") << code;
    }
  }
}

TEST_F(BootFixture, NtfsSerialAndClusterSizes) {
  struct Case {
    std::uint8_t spcByte;
    std::int32_t spc;
  };
  // 0xF4 and above: 2^(256 - byte) sectors; a byte that is no power of two is ignored.
  const Case cases[] = {{8, 8}, {128, 128}, {0xF4, 4096}, {0xF8, 256}, {0xFF, 2}, {0, 1}, {3, 1}, {0x81, 1}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes(64 * 1024);
    platform::LeWriter w(bytes.data(), 512);
    Put(bytes, 3, "NTFS    ");
    w.U8(13, c.spcByte);
    w.U64(72, 0x34F5EE1202469FF7ull);
    auto v = Partition(bytes, 7);
    v->UpdateInfo([](VolumeInfo& i) { i.geometry.totalSectors = 100000; });
    ASSERT_EQ(v->BootSetup(), 1);
    const VolumeInfo info = v->Info();
    EXPECT_EQ(info.geometry.serialLow, 0x02469FF7u);
    EXPECT_EQ(info.geometry.serialHigh, 0x34F5EE12u);
    EXPECT_EQ(info.geometry.sectorsPerCluster, c.spc) << int(c.spcByte);
    EXPECT_EQ(info.geometry.totalClusters, 100000 / c.spc) << int(c.spcByte);
    EXPECT_EQ(info.geometry.clusterBytes, c.spc * 512);
    EXPECT_EQ(v->GetFileSystemName(), u"NTFS");
  }
}

TEST_F(BootFixture, CorruptBootSectorsDivideByNothingAndAllocateNothing) {
  struct Case {
    std::int32_t code;
    std::uint8_t spc;
    std::uint32_t large;
    std::uint16_t small;
    std::int64_t totalSectors, totalClusters;
  };
  const Case cases[] = {
      {4, 0, 1000, 0, 1000, 1000},              // no sectors per cluster
      {4, 0xFF, 1000, 0, 1000, 1000},           // not a power of two (and not NTFS)
      {11, 64, 0xFFFFFFFF, 0xFFFF, 2048, 32},   // more sectors than the volume holds
      {6, 2, 0, 0, 0, 0},                       // no totals at all
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes(1024 * 1024);
    platform::LeWriter w(bytes.data(), 512);
    w.U8(13, c.spc);
    w.U32(32, c.large);
    w.U16(19, c.small);
    auto v = Partition(bytes, c.code);
    ASSERT_EQ(v->BootSetup(), 1);
    const VolumeInfo info = v->Info();
    EXPECT_EQ(info.geometry.totalSectors, c.totalSectors) << c.code << " " << int(c.spc);
    EXPECT_EQ(info.geometry.totalClusters, c.totalClusters) << c.code << " " << int(c.spc);
    EXPECT_GE(info.geometry.sectorsPerCluster, 1);
  }
  EXPECT_TRUE(Logged(u"ERR: boot_fat16->BPB.Large_Sectors == 0 && boot_fat16->BPB.Small_Sectors == 0"));
}

TEST_F(BootFixture, AnImageTakesItsSizeAndAnAllZeroImageAddsNothing) {
  test::PartitionVolumes computer;
  auto v = computer.Register(test::MemoryDisk(std::vector<std::uint8_t>(1024), 512, CVolume::kImageFile));
  ASSERT_EQ(v->BootSetup(), 1);
  EXPECT_EQ(v->FileSystemTypeCode(), 0);
  EXPECT_EQ(v->Info().totalBytes, 1024);
  EXPECT_EQ(v->Info().geometry.totalSectors, 2);
  EXPECT_TRUE(computer.partitions.empty());
  EXPECT_EQ(v->GetFileSystemName(), u"Unknown");
}

TEST_F(BootFixture, AnUnreadableBootSectorIsAFailure) {
  auto device = std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(4096));
  device->InjectFault(0, MemoryBlockDevice::Fault::Error);
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(u"/images/broken.dsk");
  v->SetDeviceOpener([device](int&) { return device; });
  EXPECT_EQ(v->BootSetup(), 0);
  EXPECT_TRUE(Logged(u"ERR: Can't read boot sector on [broken.dsk]"));
}

TEST_F(BootFixture, ALabelAlreadyKnownIsKept) {
  std::vector<std::uint8_t> bytes(64 * 1024);
  Put(bytes, 54, "FAT16   ");
  Put(bytes, 43, "FROM BOOT  ");
  auto v = Partition(bytes, 6);
  v->UpdateInfo([](VolumeInfo& i) { i.label = u"MOUNTED"; });
  ASSERT_EQ(v->BootSetup(), 1);
  EXPECT_EQ(v->Info().label, u"MOUNTED");
}
