#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "PartitionTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

using test::DiskBytes;
using test::PartitionVolumes;

namespace {

struct WalkFixture : ::testing::Test {
  ProgramLog log;
  PartitionVolumes computer;
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override { g_Log = nullptr; }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
  std::shared_ptr<CVolume> Disk(DiskBytes& disk, std::uint32_t sectorSize = 512) {
    return computer.Register(test::MemoryDisk(disk.bytes, sectorSize));
  }
  // (offset, type) of every partition handed over, in order.
  std::vector<std::pair<std::int64_t, int>> Found() const {
    std::vector<std::pair<std::int64_t, int>> out;
    for (const FoundObject& p : computer.partitions) out.emplace_back(p.offset, p.typeId);
    return out;
  }
};

using Parts = std::vector<std::pair<std::int64_t, int>>;

}  // namespace

TEST_F(WalkFixture, OneFat32PartitionAtSector63) {
  DiskBytes disk(20000);
  disk.Table(0, {{0x0B, 63, 19000, 0x80}});
  auto v = Disk(disk);
  computer.setUpEach = false;
  EXPECT_EQ(v->BootSetup(), 1);
  EXPECT_EQ(Found(), (Parts{{32256, 11}}));
  const FoundObject& p = computer.partitions[0];
  EXPECT_EQ(p.parentId, v->DeviceNodeId());
  EXPECT_EQ(p.size, 19000 * 512);  // the size from the table
  EXPECT_EQ(p.id, 0);
  EXPECT_EQ(std::uint16_t(p.flags), 0);
}

TEST_F(WalkFixture, ExtendedPartitionChain) {
  // An extended partition at 1,000: its first EBR holds a logical partition at
  // relative sector 63 and a link at relative 5,000 (read at 6,000, relative to the
  // extended partition's start), whose EBR holds one at 63 relative to itself.
  DiskBytes disk(20000);
  disk.Table(0, {{0x07, 63, 900}, {0x0F, 1000, 15000}});
  disk.Table(1000, {{0x06, 63, 3000}, {0x05, 5000, 4000}});
  disk.Table(6000, {{0x0B, 63, 2000}});
  auto v = Disk(disk);
  computer.setUpEach = false;
  EXPECT_EQ(v->ParsePartitionTable(), 3);
  EXPECT_EQ(Found(), (Parts{{63 * 512, 7}, {1063 * 512, 6}, {6063 * 512, 11}}));
}

TEST_F(WalkFixture, ALoopInTheChainEnds) {
  DiskBytes disk(20000);
  disk.Table(0, {{0x0F, 100, 10000}});
  disk.Table(100, {{0x06, 10, 20}, {0x05, 50, 100}});
  disk.Table(150, {{0x06, 10, 20}, {0x05, 0, 100}, {0x05, 50, 100}});  // back to 100, and to itself
  auto v = Disk(disk);
  computer.setUpEach = false;
  EXPECT_EQ(v->ParsePartitionTable(), 2);
  EXPECT_EQ(Found(), (Parts{{110 * 512, 6}, {160 * 512, 6}}));
  EXPECT_TRUE(Logged(u"Partition table at sector 100 on "));
  EXPECT_TRUE(Logged(u"Partition table at sector 150 on "));
  EXPECT_TRUE(Logged(u"already read: not walked again"));
}

TEST_F(WalkFixture, ABootSectorThatMerelyEndsIn55AAIsNoTable) {
  struct Case {
    const char* what;
    test::TableEntry entry;
  };
  const Case cases[] = {
      {"boot flag", {0x07, 63, 100, 0x33}},
      {"another boot flag", {0x07, 63, 100, 0x01}},
  };
  for (const Case& c : cases) {
    computer.partitions.clear();
    DiskBytes disk(1000);
    disk.Table(0, {{0x0B, 1, 10}, c.entry});
    auto v = Disk(disk);
    EXPECT_EQ(v->ParsePartitionTable(), 0) << c.what;
    EXPECT_TRUE(computer.partitions.empty()) << c.what;
    EXPECT_TRUE(Logged(u"entry 2 is not valid")) << c.what;
  }
  // exFAT's boot sector: code, no label, 55 AA.
  DiskBytes exfat(1000);
  std::memcpy(exfat.At(3), "EXFAT   ", 8);
  for (int i = 120; i < 510; ++i) exfat.bytes[std::size_t(i)] = std::uint8_t(i * 37 + 11);
  exfat.bytes[510] = 0x55;
  exfat.bytes[511] = 0xAA;
  computer.partitions.clear();
  auto v = Disk(exfat);
  EXPECT_EQ(v->BootSetup(), 1);
  EXPECT_TRUE(computer.partitions.empty());
}

TEST_F(WalkFixture, ATruncatedImageKeepsThePartitionsThatLieOnIt) {
  // An image cut to 1,000 sectors of a disk whose table describes more.
  struct Case {
    const char* what;
    std::vector<test::TableEntry> entries;
    Parts found;
    std::vector<std::int64_t> sizes;  // in sectors
    std::vector<std::u16string> logged;
  };
  const Case cases[] = {
      {"inside", {{0x0B, 63, 900}}, {{63 * 512, 0x0B}}, {900}, {}},
      {"overhanging: cut to the image",
       {{0x0B, 63, 400}, {0x07, 500, 4000}},
       {{63 * 512, 0x0B}, {500 * 512, 0x07}},
       {400, 500},
       {u"entry 2 runs past the end of the device: its 4000 sectors are cut to 500"}},
      {"beyond: skipped, the others kept",
       {{0x0B, 63, 400}, {0x07, 5000, 4000}, {0x06, 600, 100}},
       {{63 * 512, 0x0B}, {600 * 512, 0x06}},
       {400, 100},
       {u"entry 2 starts at sector 5000, beyond the end of the device (1000 sectors): skipped"}},
      {"an extended partition that runs past the end still leads to its tables",
       {{0x0F, 800, 9000}},
       {{810 * 512, 0x06}},
       {100},
       {u"entry 1 runs past the end of the device: its 9000 sectors are cut to 200"}},
      {"nothing inside: the table is ignored",
       {{0x0B, 2000, 400}, {0x07, 5000, 4000}},
       {},
       {},
       {u"ignored: no entry lies inside the device"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    computer.partitions.clear();
    const std::size_t mark = log.LineCount();
    DiskBytes disk(1000);
    disk.Table(0, c.entries);
    disk.Table(800, {{0x06, 10, 100}});  // an EBR, for the extended case
    auto v = Disk(disk);
    computer.setUpEach = false;
    v->ParsePartitionTable();
    EXPECT_EQ(Found(), c.found);
    std::vector<std::int64_t> sizes;
    for (const FoundObject& p : computer.partitions) sizes.push_back(p.size / 512);
    EXPECT_EQ(sizes, c.sizes);
    const auto lines = log.Lines();
    for (const std::u16string& want : c.logged) {
      bool seen = false;
      for (std::size_t i = mark; i < lines.size(); ++i) seen |= lines[i].find(want) != std::u16string::npos;
      EXPECT_TRUE(seen) << platform::Utf16ToUtf8(want);
    }
  }
}

TEST_F(WalkFixture, TableSectorsCountLogicalSectorsOfTheDevice) {
  // A USB disk of 4096-byte sectors: LBA 256 is byte 1 MiB.
  DiskBytes disk(2048, 4096);
  disk.Table(0, {{0x0C, 256, 1024}, {0x0F, 1280, 512}});
  disk.Table(1280, {{0x07, 8, 100}});
  auto v = Disk(disk, 4096);
  computer.setUpEach = false;
  EXPECT_EQ(v->ParsePartitionTable(), 2);
  EXPECT_EQ(Found(), (Parts{{256 * 4096, 12}, {1288 * 4096, 7}}));
  EXPECT_EQ(computer.partitions[0].size, 1024 * 4096);

  // A device smaller than one of its sectors holds no partition (found by fuzzing:
  // its size in sectors rounded down to 0 once passed for "size not known").
  computer.partitions.clear();
  DiskBytes tiny(1, 4096);
  tiny.Table(0, {{0x07, 2, 4}, {0x0F, 8, 8}});
  tiny.bytes.resize(1742);
  auto t = Disk(tiny, 4096);
  EXPECT_EQ(t->ParsePartitionTable(), 0);
  EXPECT_TRUE(computer.partitions.empty());
}

TEST_F(WalkFixture, APartitionBeyond4GiBKeepsIts64BitOffset) {
  test::TempDir dir;
  const std::string path = dir / "big.dsk";
  const std::int64_t start = 10'000'000;  // sectors: 5,120,000,000 bytes
  {
    DiskBytes mbr(1);
    mbr.Table(0, {{0x07, std::uint32_t(start), 1'000'000}});
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (start + 1'000'000) * 512), 0);  // sparse
    ASSERT_EQ(::pwrite(fd, mbr.bytes.data(), 512, 0), 512);
    std::vector<std::uint8_t> boot(512);
    std::memcpy(boot.data() + 3, "NTFS    ", 8);
    platform::LeWriter(boot.data(), 512).U64(72, 0x1122334455667788ull);
    ASSERT_EQ(::pwrite(fd, boot.data(), 512, start * 512), 512);
    ::close(fd);
  }
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(platform::Utf8ToUtf16(path));
  computer.Register(v);
  ASSERT_EQ(v->BootSetup(), 1);
  ASSERT_EQ(computer.partitions.size(), 1u);
  EXPECT_EQ(computer.partitions[0].offset, 5'120'000'000);
  // The partition volume reads its boot sector there.
  auto part = computer.volumes.back();
  EXPECT_EQ(part->FileSystemTypeCode(), 7);
  EXPECT_EQ(part->Info().geometry.serialHigh, 0x11223344u);
  EXPECT_EQ(part->GetDisplayName(), u"Volume at: 5120000000");
}

TEST_F(WalkFixture, NestedWalksNeverWalkTheSameTableAgain) {
  // A primary partition placed on the extended partition's first EBR, one placed at
  // sector 0, and an unknown partition whose first sector is a table again, forever
  // further in: none of them makes a volume that walks a table already walked.
  DiskBytes disk(40000);
  disk.Table(0, {{0x83, 1000, 100}, {0x0F, 1000, 20000}, {0x83, 0, 10}, {0x83, 30000, 5000}});
  disk.Table(1000, {{0x06, 10, 10}});
  for (std::uint32_t i = 0; i < 40; ++i) disk.Table(30000 + 50 * i, {{0x83, 0, 5}, {0x83, 50, 5000 - 50 * (i + 1)}});
  auto v = Disk(disk);
  EXPECT_EQ(v->BootSetup(), 1);
  std::set<std::int64_t> absolute;
  for (const auto& vol : computer.volumes) {
    if (vol == v) continue;
    const std::int64_t base = vol->Info().geometry.baseOffset;
    EXPECT_TRUE(absolute.insert(base).second) << "two volumes at " << base;
    EXPECT_NE(base, 1000 * 512);
    EXPECT_NE(base, 0);
  }
  EXPECT_TRUE(absolute.count(1010 * 512));
  EXPECT_TRUE(absolute.count(30000 * 512));
  EXPECT_LE(computer.volumes.size(), std::size_t(CVolume::kMaxNestedWalks) + 3);
  EXPECT_TRUE(Logged(u"Partition tables nested deeper than 8 volumes"));
}

TEST_F(WalkFixture, TwoEntriesForOnePartitionWalkItsTableOnce) {
  DiskBytes disk(4000);
  disk.Table(0, {{0x83, 100, 500}, {0x83, 100, 500}});
  disk.Table(100, {{0x06, 10, 10}});
  auto v = Disk(disk);
  EXPECT_EQ(v->BootSetup(), 1);
  // The nested walk hands its partition over relative to the partition it walked;
  // the second entry now starts at a table already walked and is skipped.
  EXPECT_EQ(Found(), (Parts{{100 * 512, 0x83}, {10 * 512, 6}}));
  ASSERT_EQ(computer.volumes.size(), 3u);
  EXPECT_EQ(computer.volumes[2]->Info().geometry.baseOffset, 110 * 512);
}

TEST_F(WalkFixture, AKnownLogicalDriveIsNotAddedAgain) {
  DiskBytes disk(4000);
  disk.Table(0, {{0x07, 63, 1000}, {0x0B, 2048, 1000}});
  auto v = Disk(disk);
  auto drive = std::make_shared<CVolume>(CVolume::kLogicalDrive);
  drive->UpdateInfo([](VolumeInfo& i) { i.partitionStartOffset = 63 * 512; });
  v->AddChild(drive);
  computer.setUpEach = false;
  EXPECT_EQ(v->ParsePartitionTable(), 1);
  EXPECT_EQ(Found(), (Parts{{2048 * 512, 11}}));
}

TEST_F(WalkFixture, TheRealImageAsSfdiskDumpsIt) {
  // The truth: sfdisk --dump of the image, kept by its recipe.
  std::ifstream dump(std::string(VANDREL_FIXTURE_SRC_DIR) + "/mbr.sfdisk");
  ASSERT_TRUE(dump) << "mbr.sfdisk";
  const std::regex line(R"(^\S+ : start=\s*(\d+), size=\s*(\d+), type=([0-9a-f]+))");
  Parts expected;
  std::vector<std::int64_t> sizes;
  std::string text;
  while (std::getline(dump, text)) {
    std::smatch m;
    if (!std::regex_search(text, m, line)) continue;
    const int type = std::stoi(m[3].str(), nullptr, 16);
    if (type == 0x05 || type == 0x0F) continue;  // the extended partition itself is no volume
    expected.emplace_back(std::stoll(m[1].str()) * 512, type);
    sizes.push_back(std::stoll(m[2].str()) * 512);
  }
  ASSERT_EQ(expected.size(), 5u);

  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("mbr.img")));
  computer.Register(v);
  ASSERT_EQ(v->BootSetup(), 1);
  EXPECT_EQ(v->FileSystemTypeCode(), 0);
  EXPECT_EQ(Found(), expected);
  for (std::size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(computer.partitions[i].size, sizes[i]);

  // Each partition was set up from its own boot sector: labels, serials, types.
  const nlohmann::json manifest = test::FixtureManifest("mbr");
  ASSERT_EQ(computer.volumes.size(), 6u);
  for (const auto& fs : manifest["file_systems"]) {
    const int number = fs["partition"].get<int>();
    // Partitions 1-3 are the first three volumes made, 5 and 6 the next two.
    auto part = computer.volumes[std::size_t(number <= 3 ? number : number - 1)];
    const VolumeInfo info = part->Info();
    const std::string name = fs["file_system"].get<std::string>();
    EXPECT_EQ(platform::Utf16ToUtf8(part->GetFileSystemName()), name) << number;
    const std::uint64_t serial = std::stoull(fs["serial"].get<std::string>(), nullptr, 16);
    if (name == "NTFS") {
      EXPECT_EQ(part->FileSystemTypeCode(), 7);
      EXPECT_EQ((std::uint64_t(info.geometry.serialHigh) << 32) | info.geometry.serialLow, serial);
    } else {
      EXPECT_EQ(info.geometry.serialLow, serial) << number;
      EXPECT_EQ(platform::Utf16ToUtf8(platform::TrimBlanks(info.label)), fs["label"].get<std::string>()) << number;
      EXPECT_EQ(part->GetFileSystemFamily(), 0) << number;
    }
    EXPECT_EQ(info.geometry.baseOffset, expected[std::size_t(number <= 3 ? number - 1 : number - 2)].first);
  }
}
