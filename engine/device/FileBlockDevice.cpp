#include "engine/device/FileBlockDevice.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace {
std::mutex g_rootsMutex;
std::string g_sysRoot = "/sys";
std::string g_devRoot = "/dev";
}  // namespace

void FileBlockDevice::SetSystemRoots(std::string sysRoot, std::string devRoot) {
  std::lock_guard lock(g_rootsMutex);
  g_sysRoot = std::move(sysRoot);
  g_devRoot = std::move(devRoot);
}

std::shared_ptr<FileBlockDevice> FileBlockDevice::Open(const std::string& path, int& error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  error = 0;
  return std::shared_ptr<FileBlockDevice>(new FileBlockDevice(fd, path));
}

FileBlockDevice::~FileBlockDevice() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t FileBlockDevice::ReadAt(void* buffer, std::size_t length, std::uint64_t offset) {
  if (offset > std::uint64_t(INT64_MAX)) return -EINVAL;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done ? std::int64_t(done) : -std::int64_t(errno);
    }
    if (n == 0) break;  // end of the device
    done += std::size_t(n);
  }
  return std::int64_t(done);
}

std::int64_t FileBlockDevice::ReadCached(void* buffer, std::size_t length, std::uint64_t offset) {
  if (offset > std::uint64_t(INT64_MAX)) return -EINVAL;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    iovec io{out + done, length - done};
    const ssize_t n = ::preadv2(fd_, &io, 1, static_cast<off_t>(offset + done), RWF_NOWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (done) break;
      // Kernels and file systems without the flag answer EINVAL or EOPNOTSUPP.
      return errno == EAGAIN ? -EAGAIN : -EOPNOTSUPP;
    }
    if (n == 0) break;  // the end of the device
    done += std::size_t(n);
  }
  return std::int64_t(done);
}

DeviceInfo FileBlockDevice::Query() const {
  DeviceInfo info;
  struct stat st{};
  if (fstat(fd_, &st) != 0) return info;
  if (!S_ISBLK(st.st_mode)) {
    info.sizeBytes = S_ISREG(st.st_mode) ? std::uint64_t(st.st_size) : 0;
    return info;
  }
  info.isBlockDevice = true;
  std::uint64_t size = 0;
  if (ioctl(fd_, BLKGETSIZE64, &size) == 0) info.sizeBytes = size;
  int lss = 0;
  if (ioctl(fd_, BLKSSZGET, &lss) == 0 && lss >= 512 && lss <= 65536) info.logicalSectorSize = unsigned(lss);
  hd_geometry geo{};
  if (ioctl(fd_, HDIO_GETGEO, &geo) == 0) {
    info.hasGeometry = true;
    info.heads = geo.heads;
    info.sectorsPerTrack = geo.sectors;
    info.cylinders = geo.cylinders;
    info.geometryStart = geo.start;
  }
  info.ownNumber = {major(st.st_rdev), minor(st.st_rdev)};
  info.diskNumber = info.ownNumber;

  std::string sysRoot, devRoot;
  {
    std::lock_guard lock(g_rootsMutex);
    sysRoot = g_sysRoot;
    devRoot = g_devRoot;
  }
  platform::BlockDeviceTree tree(sysRoot, "/proc", devRoot);
  auto name = tree.NameOf(info.ownNumber);
  std::string diskName = name ? *name : std::string();
  if (name) {
    auto disks = tree.WholeDisksOf(info.ownNumber);
    if (disks.size() == 1 && !(disks[0] == info.ownNumber)) {
      // A partition: its disk's number, its number and start on that disk.
      info.diskNumber = disks[0];
      if (auto dn = tree.NameOf(disks[0])) {
        diskName = *dn;
        for (const platform::PartitionEntry& p : tree.Partitions(diskName)) {
          if (p.id == info.ownNumber) {
            info.partitionNumber = p.number;
            info.partitionStart = p.startBytes;
          }
        }
      }
    }
  }
  if (!diskName.empty()) {
    if (auto d = tree.Disk(diskName)) {
      info.vendor = d->vendor;
      info.model = d->model;
      info.removable = d->removable;
    }
  }
  return info;
}
