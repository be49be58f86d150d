// The partition walk over GUID partition tables: the real disk sfdisk made (and its
// damaged copy, whose primary header is gone), and hostile headers built from bytes.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <regex>

#include "PartitionTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/LogLines.h"

using test::DiskBytes;
using test::PartitionVolumes;

namespace {

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

struct GptPartition {
  std::uint64_t first, last;
  std::u16string name = u"part";
  std::uint8_t typeByte = 0xA2;  // first byte of the type GUID; 0 and all zero = unused
};

// A GPT disk of `sectors` logical sectors: protective MBR, primary header at LBA 1 and
// entries from LBA 2, backup entries and header at the end. `patch` changes the
// primary header's fields before the CRCs are computed (`fixCrc` false leaves them).
struct GptLayout {
  std::uint32_t entryCount = 128, entrySize = 128;
  std::uint64_t entryLba = 2, firstUsable = 34, lastUsable = 0, myLba = 1;
  bool primaryCorrupt = false, backup = true;
};

DiskBytes MakeGpt(std::size_t sectors, std::size_t ss, const std::vector<GptPartition>& parts, GptLayout g = {}) {
  DiskBytes disk(sectors, ss);
  disk.Table(0, {{0xEE, 1, std::uint32_t(std::min<std::size_t>(sectors - 1, 0xFFFFFFFF))}});
  if (g.lastUsable == 0) g.lastUsable = sectors - 34;
  std::vector<std::uint8_t> entries(std::size_t(g.entryCount) * g.entrySize);
  for (std::size_t i = 0; i < parts.size() && i < g.entryCount; ++i) {
    platform::LeWriter w(entries.data() + i * g.entrySize, g.entrySize);
    w.U8(0, parts[i].typeByte);
    w.U8(15, 0xC7);
    w.U8(16, std::uint8_t(i + 1));
    w.U64(32, parts[i].first);
    w.U64(40, parts[i].last);
    platform::WriteUtf16Field({entries.data() + i * g.entrySize, g.entrySize}, 56, 36, parts[i].name);
  }
  auto header = [&](std::uint64_t my, std::uint64_t alt, std::uint64_t entryLba) {
    std::vector<std::uint8_t> h(ss, 0);
    platform::LeWriter w(h.data(), h.size());
    std::memcpy(h.data(), "EFI PART", 8);
    w.U32(8, 0x00010000);
    w.U32(12, 92);
    w.U64(24, my);
    w.U64(32, alt);
    w.U64(40, g.firstUsable);
    w.U64(48, g.lastUsable);
    w.U64(72, entryLba);
    w.U32(80, g.entryCount);
    w.U32(84, g.entrySize);
    w.U32(88, Crc32(entries.data(), entries.size()));
    w.U32(16, Crc32(h.data(), 92));
    return h;
  };
  auto put = [&](std::uint64_t lba, const std::vector<std::uint8_t>& bytes) {
    if ((lba + 1) * ss > disk.bytes.size()) return;
    std::memcpy(disk.At(lba * ss), bytes.data(), std::min(bytes.size(), disk.bytes.size() - lba * ss));
  };
  std::vector<std::uint8_t> primary = header(g.myLba, sectors - 1, g.entryLba);
  if (g.primaryCorrupt) primary[20] ^= 0xFF;  // a flipped byte: its CRC no longer matches
  if (!entries.empty() && g.entryLba * ss + entries.size() <= disk.bytes.size())
    std::memcpy(disk.At(g.entryLba * ss), entries.data(), entries.size());
  put(1, primary);
  if (g.backup) {
    const std::uint64_t backupEntries = sectors - 1 - (entries.size() + ss - 1) / ss;
    if (!entries.empty()) std::memcpy(disk.At(backupEntries * ss), entries.data(), entries.size());
    put(sectors - 1, header(sectors - 1, 1, backupEntries));
  }
  return disk;
}

struct GptFixture : ::testing::Test {
  ProgramLog log;
  PartitionVolumes computer;
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    computer.setUpEach = false;
  }
  void TearDown() override { g_Log = nullptr; }
  bool Logged(std::u16string_view text, std::size_t since = 0) const {
    return test::LogHolds(log, text, since);
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> Walk(DiskBytes& disk, std::uint32_t ss = 512) {
    auto v = computer.Register(test::MemoryDisk(disk.bytes, ss));
    v->ParsePartitionTable();
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const FoundObject& p : computer.partitions) out.emplace_back(p.offset, p.size);
    return out;
  }
};

using Extents = std::vector<std::pair<std::int64_t, std::int64_t>>;

}  // namespace

TEST_F(GptFixture, ProtectiveMbrIsNoVolumeAndEntriesAreTheLogicalSectorSize) {
  for (std::uint32_t ss : {512u, 4096u}) {
    computer.partitions.clear();
    DiskBytes disk = MakeGpt(4096, ss, {{40, 1039, u"Data"}, {2048, 3000, u"Second"}});
    EXPECT_EQ(Walk(disk, ss), (Extents{{40 * ss, 1000 * ss}, {2048 * ss, 953 * ss}})) << ss;
    ASSERT_GE(computer.volumes.size(), 3u);
    const VolumeInfo info = computer.volumes[computer.volumes.size() - 2]->Info();
    EXPECT_EQ(info.partitionName, u"Data");
    EXPECT_EQ(info.partitionTypeGuid, u"000000A2-0000-0000-0000-0000000000C7");
  }
}

TEST_F(GptFixture, ABrokenPrimaryHeaderGivesWayToTheBackup) {
  GptLayout g;
  g.primaryCorrupt = true;
  DiskBytes disk = MakeGpt(4096, 512, {{100, 199}}, g);
  EXPECT_EQ(Walk(disk), (Extents{{100 * 512, 100 * 512}}));
  EXPECT_TRUE(Logged(u"GPT header at LBA 1 on"));
  EXPECT_TRUE(Logged(u"the backup header at LBA 4095 is used"));
}

TEST_F(GptFixture, HostileHeadersAndEntriesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(GptLayout&)> layout;
    std::vector<GptPartition> parts;
    Extents found;
    std::u16string_view logged;
  };
  const std::vector<Case> cases = {
      {"no entries", [](GptLayout& g) { g.entryCount = 0; g.backup = false; }, {{100, 199}}, {}, u"entry count is out of range"},
      {"entry count past the limit", [](GptLayout& g) { g.entryCount = 100000; g.backup = false; }, {}, {}, u"entry count"},
      {"entry size too small", [](GptLayout& g) { g.entrySize = 64; g.backup = false; }, {}, {}, u"entry size is out of range"},
      {"entry size not a multiple of 8", [](GptLayout& g) { g.entrySize = 130; g.backup = false; }, {}, {}, u"entry size"},
      {"entries past the disk", [](GptLayout& g) { g.entryLba = 4090; g.backup = false; }, {}, {}, u"entries lie outside the device"},
      {"entries over the header", [](GptLayout& g) { g.entryLba = 1; g.backup = false; }, {}, {}, u"entries overlap the header"},
      {"a header naming another LBA", [](GptLayout& g) { g.myLba = 7; g.backup = false; }, {}, {}, u"names another LBA"},
      {"usable sectors past the disk", [](GptLayout& g) { g.lastUsable = 9999; g.backup = false; }, {}, {}, u"usable sectors lie outside"},
      {"usable sectors over the table", [](GptLayout& g) { g.firstUsable = 1; g.backup = false; }, {}, {}, u"usable sectors overlap"},
      {"a partition past the usable end", [](GptLayout&) {}, {{100, 199}, {4000, 5000}}, {{100 * 512, 100 * 512}}, u"outside the usable sectors"},
      {"a partition that ends first", [](GptLayout&) {}, {{300, 200}, {100, 199}}, {{100 * 512, 100 * 512}}, u"ends before it starts"},
      {"overlapping partitions", [](GptLayout&) {}, {{100, 199}, {150, 250}, {300, 399}}, {{100 * 512, 100 * 512}, {300 * 512, 100 * 512}}, u"overlaps an earlier partition"},
      {"unused entries between", [](GptLayout&) {}, {{100, 199}, {0, 0, u"", 0}, {300, 399}}, {{100 * 512, 100 * 512}, {300 * 512, 100 * 512}}, u""},
  };
  for (const Case& c : cases) {
    computer.partitions.clear();
    const std::size_t mark = log.Lines().size();
    GptLayout g;
    c.layout(g);
    DiskBytes disk = MakeGpt(4096, 512, c.parts, g);
    EXPECT_EQ(Walk(disk), c.found) << c.what;
    if (!c.logged.empty()) {
      EXPECT_TRUE(Logged(c.logged, mark)) << c.what;
    }
    // The protective entry never becomes the bogus whole-disk volume at 512.
    for (const FoundObject& p : computer.partitions) EXPECT_NE(p.offset, 512) << c.what;
  }
}

TEST_F(GptFixture, TheRealDiskAsSfdiskMadeIt) {
  std::ifstream dump(std::string(VANDREL_FIXTURE_SRC_DIR) + "/gpt.sfdisk");
  ASSERT_TRUE(dump);
  const std::regex line(R"(start=\s*(\d+), size=\s*(\d+), type=([0-9A-F-]+), uuid=[0-9A-F-]+, name="([^"]*)\")");
  struct Expected {
    std::int64_t start, size;
    std::string type, name;
  };
  std::vector<Expected> expected;
  std::string text;
  while (std::getline(dump, text)) {
    std::smatch m;
    if (std::regex_search(text, m, line))
      expected.push_back({std::stoll(m[1]) * 512, std::stoll(m[2]) * 512, m[3], m[4]});
  }
  ASSERT_EQ(expected.size(), 2u);
  const nlohmann::json manifest = test::FixtureManifest("gpt");
  for (const char* image : {"gpt.img", "gpt_damaged.img"}) {
    computer.partitions.clear();
    computer.volumes.clear();
    computer.setUpEach = true;
    auto v = std::make_shared<CVolume>(CVolume::kImageFile);
    v->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage(image)));
    computer.Register(v);
    ASSERT_EQ(v->BootSetup(), 1) << image;
    ASSERT_EQ(computer.volumes.size(), 3u) << image;
    for (std::size_t i = 0; i < 2; ++i) {
      const auto& part = computer.volumes[i + 1];
      const VolumeInfo info = part->Info();
      EXPECT_EQ(info.geometry.baseOffset, expected[i].start) << image << i;
      EXPECT_EQ(computer.partitions[i].size, expected[i].size) << image << i;
      EXPECT_EQ(platform::Utf16ToUtf8(info.partitionTypeGuid), expected[i].type) << image << i;
      EXPECT_EQ(platform::Utf16ToUtf8(info.partitionName), expected[i].name) << image << i;
      // Each one set up from its boot sector (in the damaged image, from its backup).
      EXPECT_EQ(platform::Utf16ToUtf8(part->GetFileSystemName()),
                manifest["partitions"][i]["file_system"].get<std::string>())
          << image << i;
    }
  }
  EXPECT_TRUE(Logged(u"the backup header at LBA"));
}
