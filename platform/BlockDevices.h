#pragma once
// The machine's block devices as Linux shows them: whole disks from <sys>/block,
// their partitions, mounted block-device file systems from <proc>/self/mountinfo,
// and the way from any block device (a partition, a device-mapper or md volume)
// down to the whole disks that hold it. The roots are parameters so that tests run
// on a fake tree.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct BlockDeviceId {
  unsigned major = 0;
  unsigned minor = 0;
  bool operator==(const BlockDeviceId&) const = default;
  bool valid() const { return major != 0 || minor != 0; }
};

struct DiskEntry {
  std::string name;     // "sda", "nvme0n1", "loop3"
  std::string devNode;  // "/dev/sda"
  BlockDeviceId id;
  std::uint64_t sizeBytes = 0;
  bool removable = false;
  std::string vendor;  // trimmed; may be empty
  std::string model;
  std::uint64_t diskseq = 0;        // 0 where the kernel has none
  std::string backingFile;          // loop devices
  unsigned logicalSectorSize = 512;
};

struct PartitionEntry {
  std::string name;  // "sda1"
  std::string devNode;
  BlockDeviceId id;
  std::string disk;  // "sda"
  int number = 0;
  std::uint64_t startBytes = 0;
  std::uint64_t sizeBytes = 0;
};

// What sysfs says about any block device: a whole disk, a partition, a
// device-mapper or md volume.
struct BlockDeviceFacts {
  std::string name;  // "sda1", "dm-0"
  BlockDeviceId id;
  std::uint64_t sizeBytes = 0;
  // The device's own diskseq, or for a partition its disk's; 0 where the kernel has none.
  std::uint64_t diskseq = 0;
  bool isPartition = false;
  std::uint64_t startBytes = 0;  // a partition's first byte on its disk
  std::string diskName;          // a partition's disk ("sda"); the device itself otherwise
};

struct MountEntry {
  std::string mountPoint;  // decoded ("\040" is a blank)
  std::string source;      // "/dev/sda1"
  std::string fsType;
  BlockDeviceId id;        // the device the mounted file system reports (major 0 for btrfs)
  BlockDeviceId sourceId;  // the block device named by the source, where it is one
  // The block device to identify the mount by: the source's when known, else id.
  BlockDeviceId device() const { return sourceId.valid() ? sourceId : id; }
};

class BlockDeviceTree {
 public:
  explicit BlockDeviceTree(std::string sysRoot = "/sys", std::string procRoot = "/proc", std::string devRoot = "/dev");

  // Whole disks that can be read as drives: sd*, hd*, vd*, xvd*, nvme*n*, mmcblk*
  // and loop devices with a backing file; no ram, zram, optical, device-mapper or md
  // devices. Sorted by family, then as the kernel counts (sdz before sdaa, loop2
  // before loop10).
  std::vector<DiskEntry> WholeDisks() const;
  // Whether a disk is an optical drive: sr* and scd* names, SCSI peripheral type 5,
  // the old IDE driver's "cdrom" media, or the CD flag that kernels before 5.17
  // show in the capability bits.
  bool IsOptical(const std::string& diskName) const;
  std::optional<BlockDeviceFacts> Facts(BlockDeviceId id) const;
  std::optional<DiskEntry> Disk(const std::string& name) const;
  std::vector<PartitionEntry> Partitions(const std::string& diskName) const;
  // Mounted file systems that live on block devices (no network or pseudo file
  // systems); a device mounted more than once appears once, at its first mount point.
  std::vector<MountEntry> BlockMounts() const;

  // The kernel name of a block device ("sda1"), if sysfs knows it.
  std::optional<std::string> NameOf(BlockDeviceId id) const;
  std::optional<BlockDeviceId> IdOf(const std::string& name) const;
  // The whole disks beneath a block device: the device itself when it is a disk, the
  // disk of a partition, and for device-mapper and md volumes the disks beneath
  // their slaves. Empty when the device is unknown.
  std::vector<BlockDeviceId> WholeDisksOf(BlockDeviceId id) const;
  // The block device a path lies on: the st_dev of its nearest existing folder;
  // where that is no block device (major 0: btrfs subvolumes, overlay, tmpfs) the
  // source of the mount that holds the path, when that source is a block device.
  std::optional<BlockDeviceId> DeviceOfPath(const std::string& path) const;
  // The mount that holds a path (the longest mount point that is a prefix of it).
  std::optional<MountEntry> MountOfPath(const std::string& path) const;

  const std::string& sysRoot() const { return sys_; }
  const std::string& devRoot() const { return dev_; }

 private:
  std::vector<MountEntry> AllMounts() const;
  void CollectWholeDisks(const std::string& name, std::vector<BlockDeviceId>& out, int depth) const;
  std::string sys_, proc_, dev_;
};

// A field of mountinfo with its octal escapes ("\040", "\011", "\012", "\134") decoded.
std::string DecodeMountField(std::string_view field);
// The order of whole-disk names: by family prefix, then the rest as the kernel
// counts it (letters by length first, so sdz comes before sdaa; numbers by value).
bool DiskNameLess(const std::string& a, const std::string& b);
// One line of mountinfo: the mount's device numbers (field 3), its mount point
// (field 5) and, after the "-" separator, its file-system type and source, each
// decoded. Nothing for a line that lacks any of them.
std::optional<MountEntry> ParseMountInfoLine(std::string_view line);
// Parses "8:1" (with or without a line end).
std::optional<BlockDeviceId> ParseDeviceNumbers(std::string_view text);

}  // namespace platform
