#pragma once
// A block device or an image file, opened read-only (O_RDONLY | O_CLOEXEC) and read
// with pread. The descriptor is closed when the object goes.

#include <memory>
#include <string>

#include "engine/device/BlockDevice.h"

class FileBlockDevice : public IBlockDevice {
 public:
  // Opens `path`; null with `error` set to the errno on failure.
  static std::shared_ptr<FileBlockDevice> Open(const std::string& path, int& error);
  ~FileBlockDevice() override;
  FileBlockDevice(const FileBlockDevice&) = delete;
  FileBlockDevice& operator=(const FileBlockDevice&) = delete;

  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override;
  // preadv2 with RWF_NOWAIT: a page-cache hit is read at once, a miss says so.
  std::int64_t ReadCached(void* buffer, std::size_t length, std::uint64_t offset) override;
  DeviceInfo Query() const override;
  const std::string& Path() const { return path_; }
  // Where sysfs and /dev live (tests point them at a fake tree).
  static void SetSystemRoots(std::string sysRoot, std::string devRoot);

 private:
  FileBlockDevice(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};
