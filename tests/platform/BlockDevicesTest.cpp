#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/BlockDevices.h"
#include "support/FakeBlockTree.h"
#include "support/TempDir.h"

using namespace platform;
namespace fs = std::filesystem;

using FakeTree = test::FakeBlockTree;

TEST(BlockDevices, WholeDisksAreFilteredAndSorted) {
  FakeTree t;
  t.Disk("sdb", "8:16", 1000, true, "Card Reader");
  t.Disk("sda", "8:0", 2000, false, "Fixed Disk");
  t.Disk("nvme0n1", "259:0", 4000);
  t.Disk("mmcblk0", "179:0", 300);
  t.Disk("mmcblk0boot0", "179:8", 8);
  t.Disk("ram0", "1:0", 100);
  t.Disk("zram0", "253:0", 100);
  t.Disk("sr0", "11:0", 100);
  t.Disk("dm-0", "254:0", 100);
  t.Disk("loop0", "7:0", 50);  // no backing file: not attached
  t.Disk("loop1", "7:1", 60);
  t.Write(t.sys("devices/loop1/loop/backing_file"), "/images/card.dsk");
  t.Write(t.sys("devices/sdb/diskseq"), "17");
  t.Write(t.sys("devices/sda/queue/logical_block_size"), "4096");

  auto disks = t.Tree().WholeDisks();
  std::vector<std::string> names;
  for (auto& d : disks) names.push_back(d.name);
  EXPECT_EQ(names, (std::vector<std::string>{"loop1", "mmcblk0", "nvme0n1", "sda", "sdb"}));
  EXPECT_EQ(disks[0].backingFile, "/images/card.dsk");
  EXPECT_EQ(disks[3].sizeBytes, 2000u * 512);
  EXPECT_EQ(disks[3].logicalSectorSize, 4096u);
  EXPECT_EQ(disks[3].model, "Fixed Disk");
  EXPECT_EQ(disks[4].id, (BlockDeviceId{8, 16}));
  EXPECT_TRUE(disks[4].removable);
  EXPECT_EQ(disks[4].diskseq, 17u);
}

TEST(BlockDevices, DiskNamesSortAsTheKernelCountsThem) {
  const std::vector<std::string> sorted = {"hda",     "loop2",   "loop10",   "mmcblk0",  "mmcblk1",  "nvme0n1",
                                           "nvme0n2", "nvme0n10", "nvme1n1", "sda",      "sdz",      "sdaa",
                                           "sdab",    "vda",     "xvda"};
  for (std::size_t i = 0; i < sorted.size(); ++i)
    for (std::size_t j = 0; j < sorted.size(); ++j)
      EXPECT_EQ(DiskNameLess(sorted[i], sorted[j]), i < j) << sorted[i] << " / " << sorted[j];
}

TEST(BlockDevices, OpticalDrivesShownInEveryWayAreLeftOut) {
  FakeTree t;
  t.Disk("sda", "8:0", 1000);
  t.Disk("sdb", "8:16", 1000);  // a USB DVD writer that the SCSI layer reports as type 5
  t.Write(t.sys("devices/sdb/device/type"), "5");
  t.Disk("hdc", "22:0", 1000);  // the old IDE driver
  t.Write(t.sys("devices/hdc/device/media"), "cdrom");
  t.Disk("hdd", "22:64", 1000);  // a kernel before 5.17: GENHD_FL_CD among the capability bits
  t.Write(t.sys("devices/hdd/capability"), "19");
  t.Disk("hda", "3:0", 1000);  // a disk on the same driver: removable, up, no CD bit
  t.Write(t.sys("devices/hda/capability"), "11");
  t.Write(t.sys("devices/hda/device/media"), "disk");
  t.Disk("sr0", "11:0", 1000);
  auto tree = t.Tree();
  std::vector<std::string> names;
  for (auto& d : tree.WholeDisks()) names.push_back(d.name);
  EXPECT_EQ(names, (std::vector<std::string>{"hda", "sda"}));
  EXPECT_TRUE(tree.IsOptical("sr0"));
  EXPECT_TRUE(tree.IsOptical("hdd"));
  EXPECT_FALSE(tree.IsOptical("hda"));
}

TEST(BlockDevices, FactsOfADeviceNameItsDiskAndSequence) {
  FakeTree t;
  t.Disk("sda", "8:0", 100000);
  t.Write(t.sys("devices/sda/diskseq"), "9");
  t.Partition("sda", "sda2", "8:2", 2, 4096, 50000);
  t.Disk("dm-0", "254:0", 7000);
  t.Write(t.sys("devices/dm-0/diskseq"), "12");
  auto tree = t.Tree();
  auto p = tree.Facts({8, 2});
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "sda2");
  EXPECT_TRUE(p->isPartition);
  EXPECT_EQ(p->diskName, "sda");
  EXPECT_EQ(p->diskseq, 9u);  // the disk's: partitions have none of their own
  EXPECT_EQ(p->startBytes, 4096u * 512);
  EXPECT_EQ(p->sizeBytes, 50000u * 512);
  auto dm = tree.Facts({254, 0});
  ASSERT_TRUE(dm);
  EXPECT_FALSE(dm->isPartition);
  EXPECT_EQ(dm->diskName, "dm-0");
  EXPECT_EQ(dm->diskseq, 12u);
  EXPECT_FALSE(tree.Facts({8, 99}));
}

TEST(BlockDevices, PartitionsAndTheWayDownToWholeDisks) {
  FakeTree t;
  t.Disk("sda", "8:0", 100000);
  t.Partition("sda", "sda2", "8:2", 2, 4096, 50000);
  t.Partition("sda", "sda1", "8:1", 1, 2048, 2048);
  t.Disk("sdb", "8:16", 100000);
  t.Partition("sdb", "sdb1", "8:17", 1, 2048, 90000);
  t.Disk("dm-0", "254:0", 100000);  // LVM volume over sda2 and sdb1
  t.Slave("dm-0", "sda2");
  t.Slave("dm-0", "sdb1");
  t.Disk("dm-1", "254:1", 100000);  // crypt over the LVM volume
  t.Slave("dm-1", "dm-0");

  auto parts = t.Tree().Partitions("sda");
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].name, "sda1");
  EXPECT_EQ(parts[0].startBytes, 2048u * 512);
  EXPECT_EQ(parts[1].sizeBytes, 50000u * 512);

  auto tree = t.Tree();
  EXPECT_EQ(tree.WholeDisksOf({8, 1}), (std::vector<BlockDeviceId>{BlockDeviceId{8, 0}}));
  EXPECT_EQ(tree.WholeDisksOf({8, 16}), (std::vector<BlockDeviceId>{BlockDeviceId{8, 16}}));
  EXPECT_EQ(tree.WholeDisksOf({254, 1}), (std::vector<BlockDeviceId>{{8, 0}, {8, 16}}));
  EXPECT_TRUE(tree.WholeDisksOf({9, 9}).empty());
  EXPECT_EQ(tree.NameOf({8, 17}), "sdb1");
}

TEST(BlockDevices, MountinfoIsDecodedAndBlockMountsAreOncePerDevice) {
  FakeTree t;
  t.Disk("sda", "8:0", 100000);
  t.Partition("sda", "sda1", "8:1", 1, 2048, 2048);
  t.Partition("sda", "sda2", "8:2", 2, 4096, 50000);
  t.Mountinfo(
      "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
      "28 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
      "29 28 0:40 / /media/My\\040Card rw shared:5 - btrfs /dev/sda2 rw\n"
      "30 28 8:1 /home /srv/bind rw - ext4 /dev/sda1 rw\n"
      "31 28 0:41 / /mnt/share rw - nfs4 server:/export rw\n"
      "32 28 0:42 / /tmp rw - tmpfs tmpfs rw\n"
      "garbage line\n");
  auto mounts = t.Tree().BlockMounts();
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].device(), (BlockDeviceId{8, 1}));
  EXPECT_EQ(mounts[1].mountPoint, "/media/My Card");
  EXPECT_EQ(mounts[1].fsType, "btrfs");
  EXPECT_EQ(mounts[1].id, (BlockDeviceId{0, 40}));        // what btrfs reports
  EXPECT_EQ(mounts[1].device(), (BlockDeviceId{8, 2}));   // traced through its source
  auto m = t.Tree().MountOfPath("/media/My Card/DCIM/x.jpg");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->mountPoint, "/media/My Card");
  EXPECT_EQ(t.Tree().MountOfPath("/srv/bind/a")->mountPoint, "/srv/bind");
}

TEST(BlockDevices, DecodingHelpers) {
  EXPECT_EQ(DecodeMountField("a\\040b\\011c\\012d\\134e"), "a b\tc\nd\\e");
  EXPECT_EQ(DecodeMountField("tail\\04"), "tail\\04");
  EXPECT_EQ(DecodeMountField("\\999"), "\\999");
  EXPECT_EQ(ParseDeviceNumbers("259:3\n"), (BlockDeviceId{259, 3}));
  EXPECT_FALSE(ParseDeviceNumbers("8-1"));
  EXPECT_FALSE(ParseDeviceNumbers(":1"));
}

TEST(BlockDevices, DeviceOfAPathOnThisMachine) {
  // A folder that does not exist yet is judged by its nearest existing parent.
  test::TempDir dir;
  BlockDeviceTree real;
  auto a = real.DeviceOfPath(dir.path());
  auto b = real.DeviceOfPath(dir / "not/yet/made");
  EXPECT_EQ(a.has_value(), b.has_value());
  if (a && b) {
    EXPECT_EQ(*a, *b);
  }
}
