#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "engine/DeviceMatch.h"
#include "engine/Volume.h"
#include "platform/Text.h"
#include "support/TempDir.h"

namespace {

// A device node under /dev for a block device, if this machine has one.
std::string NodeFor(platform::BlockDeviceId id) {
  std::string found;
  if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      std::string path = std::string("/dev/") + e->d_name;
      struct stat st{};
      if (stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && major(st.st_rdev) == id.major &&
          minor(st.st_rdev) == id.minor) {
        found = path;
        break;
      }
    }
    closedir(d);
  }
  return found;
}

}  // namespace

TEST(DeviceMatch, ImageSourcesAllowAnyFolderAndMissingSourcesAreUnknown) {
  test::TempDir dir;
  std::ofstream(dir / "disk.dsk") << "x";
  CVolume image(CVolume::kImageFile);
  image.SetDevicePath(platform::Utf8ToUtf16(dir / "disk.dsk"));
  platform::BlockDeviceTree tree;
  EXPECT_EQ(MatchDestination(dir / "recovered/new", image, tree), DeviceMatch::Different);
  CVolume gone(CVolume::kPhysicalDrive);
  gone.SetDevicePath(u"/dev/no-such-disk");
  EXPECT_EQ(MatchDestination(dir.path(), gone, tree), DeviceMatch::Unknown);
}

TEST(DeviceMatch, ADestinationOnTheSourceDiskIsTheSame) {
  test::TempDir dir;
  platform::BlockDeviceTree tree;
  auto dev = tree.DeviceOfPath(dir.path());
  if (!dev) GTEST_SKIP() << "the temporary folder lies on no block device here";
  auto disks = tree.WholeDisksOf(*dev);
  if (disks.empty()) GTEST_SKIP() << "no whole disk found for the temporary folder";
  std::string node = NodeFor(disks[0]);
  if (node.empty()) GTEST_SKIP() << "no device node for the disk of the temporary folder";
  CVolume disk(CVolume::kPhysicalDrive);
  disk.SetDevicePath(platform::Utf8ToUtf16(node));
  // A folder that does not exist yet counts by its nearest existing parent.
  EXPECT_EQ(MatchDestination(dir / "not/yet/made", disk, tree), DeviceMatch::Same);
}
