#pragma once
// The devices a drive-list refresh lists, read from sysfs and mountinfo (the roots
// are the tree's, so tests run on a fake one): every whole disk as a physical
// drive, numbered in list order, then the logical drives, each with the whole disk
// it lies on: every partition of a listed disk, mounted or not (shown by its mount
// point when mounted, else by its device node), and every other mounted
// block-device file system (a whole disk without a table, device-mapper and md
// volumes). Mounted ones come sorted by mount point, the unmounted after them in
// disk and partition order. Optical drives,
// ram and zram disks, network and pseudo file systems are not listed, and neither
// are SCSI ports: Linux gives no raw access through one, and the disks behind it
// are listed themselves.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/BlockDevices.h"

struct DriveSource {
  std::int32_t kind = 0;   // CVolume::kPhysicalDrive or CVolume::kLogicalDrive
  int number = -1;         // physical drives: 0, 1, ... in list order
  std::string name;        // the kernel's name: "sda", "sda1", "dm-0"
  std::string devNode;     // "/dev/sda1"
  std::string mountPoint;  // logical drives: where it is mounted (its first mount point)
  std::string fsType;      // logical drives
  platform::BlockDeviceId id;
  std::uint64_t sizeBytes = 0;
  std::uint64_t diskseq = 0;     // the disk's sequence number; 0 where the kernel has none
  std::uint64_t startBytes = 0;  // a partition's first byte on its disk
  bool isPartition = false;
  int partitionNumber = 0;       // a partition's number on its disk (sysfs)
  // The listed whole disk a logical drive lies on; invalid when it lies on none of
  // them or on several (an LVM volume over two disks).
  platform::BlockDeviceId parentDisk;
  bool removable = false;
  std::string vendor;
  std::string model;
  std::string backingFile;  // loop devices
  unsigned logicalSectorSize = 512;
  // The identity of the disk beneath a logical drive (its parent's Key()).
  std::string parentKey;

  // What makes two sightings the same device: the node, major:minor, the size and
  // the diskseq together (a stick that takes over the name and numbers of one
  // unplugged differs in diskseq, or without one at least in size or model), and
  // for a logical drive its mount point and the disk beneath it.
  std::string Key() const;
  // What the log calls it: a logical drive's mount point, else its device node.
  std::string Place() const { return mountPoint.empty() ? devNode : mountPoint; }
};

class DriveEnumerator {
 public:
  // A partition device no larger than this is an extended partition's container.
  static constexpr std::uint64_t kSmallestPartitionBytes = 4096;

  explicit DriveEnumerator(platform::BlockDeviceTree tree = platform::BlockDeviceTree());

  // Physical drives first, in the tree's disk order, then logical drives (above).
  std::vector<DriveSource> Enumerate() const;

 private:
  platform::BlockDeviceTree tree_;
};
