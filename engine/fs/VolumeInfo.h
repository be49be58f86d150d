#pragma once
// The records that describe a volume: its geometry (from the boot sector) and its
// descriptive fields (from the device queries and the boot set-up). The file-system
// parsers fill them through IVolumeAccess; CVolume keeps them under its lock.

#include <cstdint>
#include <string>

#include "engine/device/BlockDevice.h"
#include "platform/BlockDevices.h"

// The geometry record. Sectors are 512-byte units throughout.
struct VolumeGeometry {
  std::u16string oemName;  // 8 characters from the boot sector
  std::uint32_t serialLow = 0;
  std::uint32_t serialHigh = 0;  // only NTFS fills it
  std::int32_t sectorsPerCluster = 1;
  std::int32_t bytesPerSector = 512;
  std::int32_t clusterBytes = 512;  // sectorsPerCluster x bytesPerSector
  std::int64_t totalSectors = 0;
  std::int64_t totalClusters = 0;
  // Added to every sector position: a partition's first byte on its parent device.
  std::int64_t baseOffset = 0;
};

// The volume's descriptive fields, read and written as a whole under the volume's
// lock (the query thread fills them while the user interface shows them).
struct VolumeInfo {
  std::u16string devicePath;  // the device node or the image file
  std::u16string rootPath;    // logical drives: the mount point
  std::u16string description;
  std::u16string label;
  std::int32_t driveType = 0;  // 3 fixed drives, 7 image files
  char16_t letter = 0;         // physical drives: '0' + number
  std::int64_t totalBytes = 0;
  std::int64_t freeBytes = 0;
  // What the file system can do, as the FS_* bits of CVolume name them: set by the
  // boot set-up from the file system found, with kFsReadOnlyVolume from the mount.
  std::uint32_t fileSystemFlags = 0;
  // The device's logical sector size: partition-table LBAs count these.
  std::uint32_t logicalSectorSize = 512;
  VolumeGeometry geometry;
  // Device queries: the raw answers, the whole disk's device number (a partition or
  // logical drive finds its parent disk by it), the partition number (-1 unknown,
  // 0 whole disk) and a logical drive's first byte on its disk (-1 unknown).
  DeviceInfo device;
  platform::BlockDeviceId deviceNumber;
  std::int32_t partitionNumber = -1;
  std::int64_t partitionStartOffset = -1;
  // A partition listed in a GUID partition table: its type GUID and its name.
  std::u16string partitionTypeGuid;
  std::u16string partitionName;
};
