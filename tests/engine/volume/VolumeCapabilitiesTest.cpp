// What a volume tells about its file system: the capability bits the volume
// information shows, and the names of FAT codes that the name table does not know.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "PartitionTestSupport.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "support/Fixtures.h"

namespace {

constexpr std::uint32_t kNtfsFlags = 0x700FF;  // every bit but compressed (0x8000) and read-only (0x80000)
constexpr std::uint32_t kFatFlags = 0x6;

struct CapabilitiesFixture : ::testing::Test {
  ProgramLog log;
  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override { g_Log = nullptr; }

  std::shared_ptr<CVolume> Image(const std::string& fixture) {
    auto v = std::make_shared<CVolume>(CVolume::kImageFile);
    v->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage(fixture)));
    return v;
  }
};

// The first mount point in /proc/self/mounts whose options say `ro` (or `rw`).
std::string MountWithOption(const std::string& option) {
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string source, point, type, options;
    if (!(fields >> source >> point >> type >> options)) continue;
    if (point.find('\\') != std::string::npos) continue;  // escaped names: not worth decoding here
    if (options == option || options.rfind(option + ",", 0) == 0) return point;
  }
  return {};
}

}  // namespace

TEST(VolumeCapabilities, FlagsByTypeCode) {
  for (int code : {1, 4, 6, 11, 12, 14, 17, 20, 22, 27, 28, 30}) EXPECT_EQ(CVolume::FileSystemFlagsOf(code), kFatFlags) << code;
  EXPECT_EQ(CVolume::FileSystemFlagsOf(7), kNtfsFlags);
  for (int code : {0, 5, 128, 131, 255}) EXPECT_EQ(CVolume::FileSystemFlagsOf(code), 0u) << code;
}

TEST_F(CapabilitiesFixture, TheBootSetUpSetsTheFlagsOfTheFileSystemFound) {
  struct Case {
    const char* fixture;
    std::uint32_t flags;
  };
  for (const Case& c : {Case{"fat12.img", kFatFlags}, Case{"fat16.img", kFatFlags}, Case{"fat32.img", kFatFlags},
                        Case{"ntfs.img", kNtfsFlags}, Case{"mbr.img", 0u}}) {
    test::PartitionVolumes computer;  // the mbr image hands its partitions here
    auto v = computer.Register(Image(c.fixture));
    ASSERT_EQ(v->BootSetup(), 1) << c.fixture;
    EXPECT_EQ(v->Info().fileSystemFlags, c.flags) << c.fixture;
  }
}

TEST_F(CapabilitiesFixture, AReadOnlyMountStaysReadOnlyThroughTheBootSetUp) {
  auto v = Image("fat16.img");
  v->UpdateInfo([](VolumeInfo& i) { i.fileSystemFlags = CVolume::kFsReadOnlyVolume | CVolume::kFsNamedStreams; });
  ASSERT_EQ(v->BootSetup(), 1);
  EXPECT_EQ(v->Info().fileSystemFlags, kFatFlags | CVolume::kFsReadOnlyVolume);
}

TEST_F(CapabilitiesFixture, ALogicalDriveIsReadOnlyWhenItsMountIs) {
  struct Case {
    std::string option;
    bool readOnly;
  };
  int tried = 0;
  for (const Case& c : {Case{"ro", true}, Case{"rw", false}}) {
    const std::string point = MountWithOption(c.option);
    if (point.empty()) continue;  // this machine has no such mount
    ++tried;
    std::ifstream image(test::FixtureImage("fat16.img"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(image)), std::istreambuf_iterator<char>());
    auto device = std::make_shared<MemoryBlockDevice>(std::move(bytes));
    auto v = std::make_shared<CVolume>(CVolume::kLogicalDrive);
    v->SetDevicePath(u"/dev/test1");
    v->SetDeviceOpener([device](int&) { return device; });
    // A stale bit from an earlier query must go as well as come.
    v->UpdateInfo([&](VolumeInfo& i) {
      i.rootPath = platform::Utf8ToUtf16(point);
      i.fileSystemFlags = c.readOnly ? 0u : std::uint32_t(CVolume::kFsReadOnlyVolume);
    });
    ASSERT_EQ(v->QueryInformation(), 1) << point;
    EXPECT_EQ(v->Info().fileSystemFlags, kFatFlags | (c.readOnly ? std::uint32_t(CVolume::kFsReadOnlyVolume) : 0u)) << point;
  }
  if (tried == 0) GTEST_SKIP() << "no mount to compare with";
}

TEST_F(CapabilitiesFixture, FatCodesWithoutANameOfTheirOwnAreNamedByFamily) {
  struct Case {
    std::int32_t code;
    const char16_t* name;
  };
  const Case cases[] = {
      {1, u"FAT12"},  {17, u"FAT12"}, {4, u"FAT16"},  {6, u"FAT16"},  {14, u"FAT16"},   {20, u"FAT16"},
      {22, u"FAT16"}, {30, u"FAT16"}, {11, u"FAT32"}, {12, u"FAT32"}, {27, u"FAT32"},   {28, u"FAT32"},
      {7, u"NTFS"},   {0, u"Unknown"}, {5, u"Unknown"},
  };
  for (const Case& c : cases) {
    // A boot sector that names nothing: the code alone decides.
    auto v = test::MemoryDisk(std::vector<std::uint8_t>(64 * 512), 512, CVolume::kFoundPartition);
    v->SetFileSystemTypeCode(c.code);
    if (auto* fs = v->FileSystem()) fs->GetTypeName();
    EXPECT_EQ(v->GetFileSystemName(), c.name) << c.code;
  }
}
