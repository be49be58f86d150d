// Damaged disks through the whole road: the partition search over a GPT disk whose
// volumes keep backup boot sectors (tests/fixtures/make_gpt.sh), with and without its
// partition tables.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "BuiltinTypesFixture.h"
#include "engine/records/ProgramLog.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

std::vector<std::uint8_t> ImageBytes(const std::string& name) {
  std::ifstream in(test::FixtureImage(name), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DamagedDiskThreads : public test::BuiltinTypesComputerFixture {
 protected:
  void PartitionSearch(const std::shared_ptr<CVolume>& disk) {
    const std::size_t before = ui.Count(WM_SECTOR_PASS_DONE);
    ASSERT_TRUE(disk->StartPartitionSearch());
    ASSERT_TRUE(ui.RunUntil(*computer, [&] { return ui.Count(WM_SECTOR_PASS_DONE) > before; },
                            std::chrono::seconds(120)));
    CVolume::JoinAnalysisThreads();
  }
  // (base offset, file system) of every volume found on `disk`.
  std::vector<std::pair<std::int64_t, std::string>> Partitions(const std::shared_ptr<CVolume>& disk) {
    std::vector<std::pair<std::int64_t, std::string>> out;
    for (const auto& v : computer->Volumes().Volumes())
      if (v != disk && v->GetParentVolume() == disk)
        out.emplace_back(v->Geometry().baseOffset, platform::Utf16ToUtf8(v->GetFileSystemName()));
    std::sort(out.begin(), out.end());
    return out;
  }
  using Parts = std::vector<std::pair<std::int64_t, std::string>>;
  const Parts gptParts{{2048 * 512, "FAT32"}, {75776 * 512, "NTFS"}};
};

}  // namespace

TEST_F(DamagedDiskThreads, BackupBootSectorsAreNoVolumesOfTheirOwn) {
  for (const char* name : {"gpt.img", "gpt_damaged.img"}) {
    SCOPED_TRACE(name);
    auto disk = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage(name)));
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(Partitions(disk), gptParts);  // from the GPT (the backup one in the damaged copy)
    PartitionSearch(disk);
    // The boot sectors found (primaries, the FAT32 copies at sector 6, the NTFS copies
    // at each volume's end) stand for the two volumes already known.
    EXPECT_EQ(Partitions(disk), gptParts);
    for (const auto& v : disk->Children()) EXPECT_TRUE(v->DeviceNode()->flags.Any(OBJ_CARVED));
  }
}

TEST_F(DamagedDiskThreads, AVolumeWhosePrimaryBootSectorIsGoneIsFoundAtItsStart) {
  // The damaged copy without either GPT header: only the search can find the volumes,
  // and it meets their backup boot sectors alone.
  std::vector<std::uint8_t> bytes = ImageBytes("gpt_damaged.img");
  ASSERT_EQ(bytes.size(), std::size_t(94208) * 512);
  std::fill_n(bytes.end() - 512, 512, 0);  // the backup GPT header
  auto disk = MemoryVolume(std::move(bytes), CVolume::kImageFile);
  ASSERT_EQ(disk->BootSetup(), 1);
  EXPECT_TRUE(Partitions(disk).empty());
  PartitionSearch(disk);
  EXPECT_EQ(Partitions(disk), gptParts);
  EXPECT_TRUE(Logged(u"its backup copy at sector 6 is used"));
  EXPECT_TRUE(Logged(u"its backup copy at sector 16383 is used"));
}

TEST_F(DamagedDiskThreads, AWholeFat32VolumeSearchedKeepsItsBackupBootSector) {
  auto image = computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat32.img")));
  ASSERT_NE(image, nullptr);
  PartitionSearch(image);
  EXPECT_EQ(computer->Volumes().GetCount(), 1);
  EXPECT_TRUE(image->DeviceNode()->flags.Any(OBJ_CARVED));  // found again: the image itself
}
