#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>

#include "engine/volume/DeviceMatch.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "support/FakeBlockTree.h"
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

TEST(DeviceMatch, TheFileBehindALoopDeviceIsTheSourceWhateverNameReachesIt) {
  test::FakeBlockTree tree;
  test::TempDir dir;
  std::ofstream(dir / "card.img") << "the card's bytes";
  ASSERT_EQ(symlink((dir / "card.img").c_str(), (dir / "soft.img").c_str()), 0);
  ASSERT_EQ(link((dir / "card.img").c_str(), (dir / "hard.img").c_str()), 0);
  std::filesystem::create_directory(dir / "sub");
  tree.Disk("loop3", "7:3", 64);
  tree.Write(tree.sys("devices/loop3/loop/backing_file"), dir / "card.img");
  tree.Partition("loop3", "loop3p1", "259:0", 1, 8, 56);
  tree.Disk("loop4", "7:4", 64);
  tree.Write(tree.sys("devices/loop4/loop/backing_file"), dir / "gone.img (deleted)");
  std::ofstream(tree.dev("loop3")) << "";  // device nodes: plain files in a fake tree
  std::ofstream(tree.dev("loop3p1")) << "";
  std::ofstream(tree.dev("loop4")) << "";
  const platform::BlockDeviceTree t = tree.Tree();

  CVolume loop(CVolume::kPhysicalDrive);
  loop.SetDevicePath(platform::Utf8ToUtf16(tree.dev("loop3")));
  CVolume partition(CVolume::kLogicalDrive);
  partition.SetDevicePath(platform::Utf8ToUtf16(tree.dev("loop3p1")));
  const auto files = LoopBackingFiles(loop, t);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].path, dir / "card.img");
  EXPECT_TRUE(files[0].haveInode);

  struct Case {
    std::string path;
    bool same;
  } cases[] = {
      {dir / "card.img", true},             // the file itself
      {dir / "soft.img", true},             // a link to it
      {dir / "hard.img", true},             // another name of its inode
      {dir / "./sub/../card.img", true},    // the same path written otherwise
      {dir / "card.img/inside.dsk", true},  // a path through it
      {dir / "copy.dsk", false},            // beside it
      {dir / "card.img.dsk", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(MatchImagePath(c.path, loop, t) == DeviceMatch::Same, c.same);
    EXPECT_EQ(MatchImagePath(c.path, partition, t) == DeviceMatch::Same, c.same);
  }
  // The recovery's destination: a folder that runs through the file is refused too.
  EXPECT_EQ(MatchDestination(dir / "card.img/recovered", loop, t), DeviceMatch::Same);
  EXPECT_NE(MatchDestination(dir / "recovered", loop, t), DeviceMatch::Same);

  // A backing file that was removed: its name stands without the kernel's note.
  CVolume deleted(CVolume::kPhysicalDrive);
  deleted.SetDevicePath(platform::Utf8ToUtf16(tree.dev("loop4")));
  const auto gone = LoopBackingFiles(deleted, t);
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].path, dir / "gone.img");
  EXPECT_FALSE(gone[0].haveInode);
  EXPECT_EQ(MatchImagePath(dir / "gone.img", deleted, t), DeviceMatch::Same);
}
