#pragma once
// Read access to a drive, partition or image: positional reads (no shared file
// position, so the scan, the hex view and the recovery may read at once) and what
// the system says about the device. A real device is a FileBlockDevice; tests and
// fuzz targets use a MemoryBlockDevice. Nothing here ever writes to the source.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/BlockDevices.h"

struct DeviceInfo {
  bool isBlockDevice = false;
  std::uint64_t sizeBytes = 0;           // BLKGETSIZE64, or the file's size
  std::uint32_t logicalSectorSize = 512;  // BLKSSZGET; 512 for files
  // HDIO_GETGEO, where the driver answers it.
  bool hasGeometry = false;
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint32_t cylinders = 0;
  std::uint64_t geometryStart = 0;
  // The device's own number (st_rdev), and the number of the whole disk it lies on
  // (its own for a whole disk), with the partition number (0 for a whole disk) and
  // the partition's first byte on that disk.
  platform::BlockDeviceId ownNumber;
  platform::BlockDeviceId diskNumber;
  int partitionNumber = 0;
  std::uint64_t partitionStart = 0;
  bool removable = false;
  std::string vendor;  // of the whole disk, from sysfs; may be empty
  std::string model;
};

class IBlockDevice {
 public:
  virtual ~IBlockDevice() = default;
  // Reads up to `length` bytes at byte `offset` into `buffer`: the bytes read (fewer
  // at the end of the device, 0 beyond it), or -errno. Safe from several threads.
  virtual std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) = 0;
  // Reads what the system holds in memory already (the page cache), never waiting
  // for the device: the bytes read from `offset` on (fewer when the rest is not in
  // memory), -EAGAIN when none of it is, -EOPNOTSUPP when the device can't tell.
  virtual std::int64_t ReadCached(void* /*buffer*/, std::size_t /*length*/, std::uint64_t /*offset*/) {
    return -EOPNOTSUPP;
  }
  virtual DeviceInfo Query() const = 0;
  // False for a device whose reads always return promptly (memory): it is then read
  // on the caller's thread without a time-out.
  virtual bool MayBlock() const { return true; }
};
