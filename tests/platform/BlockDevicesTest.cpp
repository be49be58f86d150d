#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/BlockDevices.h"
#include "support/TempDir.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// A fake sysfs, proc and dev tree laid out as the kernel lays out its own.
class FakeTree {
 public:
  FakeTree() {
    fs::create_directories(sys("block"));
    fs::create_directories(sys("dev/block"));
    fs::create_directories(sys("class/block"));
    fs::create_directories(dir_ / "proc/self");
    fs::create_directories(dir_ / "dev");
  }
  std::string sys(const std::string& rel) const { return dir_ / ("sys/" + rel); }
  void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text << "\n";
  }
  // A device's folder lives under devices/, reached through block/, class/block and dev/block links.
  void Disk(const std::string& name, const std::string& dev, std::uint64_t sectors, bool removable = false,
            const std::string& model = "") {
    std::string real = sys("devices/" + name);
    Write(real + "/dev", dev);
    Write(real + "/size", std::to_string(sectors));
    Write(real + "/removable", removable ? "1" : "0");
    if (!model.empty()) Write(real + "/device/model", model + "  ");
    fs::create_directory_symlink(real, sys("block/" + name));
    fs::create_directory_symlink(real, sys("class/block/" + name));
    fs::create_directory_symlink(real, sys("dev/block/" + dev));
  }
  void Partition(const std::string& disk, const std::string& name, const std::string& dev, int number,
                 std::uint64_t start, std::uint64_t sectors) {
    std::string real = sys("devices/" + disk + "/" + name);
    Write(real + "/dev", dev);
    Write(real + "/partition", std::to_string(number));
    Write(real + "/start", std::to_string(start));
    Write(real + "/size", std::to_string(sectors));
    fs::create_directory_symlink(real, sys("class/block/" + name));
    fs::create_directory_symlink(real, sys("dev/block/" + dev));
  }
  void Slave(const std::string& holder, const std::string& slave) {
    fs::create_directories(sys("devices/" + holder + "/slaves"));
    fs::create_directory_symlink(sys("class/block/" + slave), sys("devices/" + holder + "/slaves/" + slave));
  }
  void Mountinfo(const std::string& text) { Write(dir_ / "proc/self/mountinfo", text); }
  BlockDeviceTree Tree() const { return BlockDeviceTree(dir_ / "sys", dir_ / "proc", dir_ / "dev"); }

 private:
  test::TempDir dir_;
};

}  // namespace

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
