#include "engine/volume/DeviceMatch.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/volume/Volume.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

bool Overlap(const std::vector<platform::BlockDeviceId>& a, const std::vector<platform::BlockDeviceId>& b) {
  return std::any_of(a.begin(), a.end(), [&](auto& x) { return std::find(b.begin(), b.end(), x) != b.end(); });
}

bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

// The block device a volume reads: its node's number, or for a node under the
// tree's dev root that is no block device (a fake tree), the device of that name.
// Nothing for an image file.
std::optional<platform::BlockDeviceId> SourceDevice(const std::string& source, const platform::BlockDeviceTree& tree,
                                                    bool& exists) {
  struct stat st{};
  exists = stat(source.c_str(), &st) == 0;
  if (!exists) return std::nullopt;
  if (S_ISBLK(st.st_mode)) return platform::BlockDeviceId{major(st.st_rdev), minor(st.st_rdev)};
  const std::string devRoot = tree.devRoot() + "/";
  if (tree.devRoot() != "/dev" && StartsWith(source, devRoot)) return tree.IdOf(source.substr(devRoot.size()));
  return std::nullopt;
}

std::vector<platform::BlockDeviceId> DisksBeneath(platform::BlockDeviceId id, const platform::BlockDeviceTree& tree) {
  std::vector<platform::BlockDeviceId> disks = tree.WholeDisksOf(id);
  if (disks.empty()) disks.push_back(id);
  return disks;
}

// An absolute path with the links of its existing part followed; the part that does
// not exist yet is appended as it stands.
std::string Resolved(const std::string& path) {
  std::string head = path;
  std::string tail;
  char buffer[PATH_MAX];
  while (!head.empty()) {
    if (realpath(head.c_str(), buffer)) {
      std::string r = buffer;
      if (!tail.empty()) r += (r == "/" ? "" : "/") + tail;
      return r;
    }
    const std::size_t slash = head.find_last_of('/');
    const std::string part = slash == std::string::npos ? head : head.substr(slash + 1);
    tail = tail.empty() ? part : part + "/" + tail;
    if (slash == std::string::npos) {
      head = ".";
      if (!realpath(head.c_str(), buffer)) return path;
      return std::string(buffer) + "/" + tail;
    }
    head = slash == 0 ? "/" : head.substr(0, slash);
  }
  return path;
}

}  // namespace

std::vector<LoopBackingFile> LoopBackingFiles(const CVolume& volume, const platform::BlockDeviceTree& tree) {
  std::vector<LoopBackingFile> out;
  bool exists = false;
  const auto source = SourceDevice(platform::Utf16ToUtf8(volume.GetPath()), tree, exists);
  if (!source) return out;
  for (const platform::BlockDeviceId& disk : DisksBeneath(*source, tree)) {
    const auto name = tree.NameOf(disk);
    if (!name || name->rfind("loop", 0) != 0) continue;
    const auto entry = tree.Disk(*name);
    LoopBackingFile f;
    if (entry) f.path = entry->backingFile;
    static const std::string kDeleted = " (deleted)";
    if (f.path.size() > kDeleted.size() && f.path.compare(f.path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
      f.path.resize(f.path.size() - kDeleted.size());
    // The loop driver's own word on the file: right even when it was renamed.
    const std::string node = platform::JoinPath(tree.devRoot(), *name);
    const int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      loop_info64 info{};
      if (ioctl(fd, LOOP_GET_STATUS64, &info) == 0) {
        f.haveInode = true;
        f.device = dev_t(info.lo_device);
        f.inode = ino_t(info.lo_inode);
        if (f.path.empty()) {
          const auto* name = reinterpret_cast<const char*>(info.lo_file_name);
          f.path.assign(name, strnlen(name, LO_NAME_SIZE));
        }
      }
      close(fd);
    }
    struct stat st{};
    if (!f.haveInode && !f.path.empty() && stat(f.path.c_str(), &st) == 0) {
      f.haveInode = true;
      f.device = st.st_dev;
      f.inode = st.st_ino;
    }
    if (!f.path.empty() || f.haveInode) out.push_back(std::move(f));
  }
  return out;
}

bool PathReachesFile(const std::string& path, const LoopBackingFile& file) {
  // By name: the path is the file, or runs through it.
  if (!file.path.empty()) {
    const std::string target = Resolved(file.path);
    const std::string p = Resolved(path);
    if (p == target || StartsWith(p, target + "/")) return true;
  }
  // By inode: the nearest existing part of the path is the file (another name of it).
  if (file.haveInode) {
    std::string head = path;
    while (!head.empty()) {
      struct stat st{};
      if (stat(head.c_str(), &st) == 0) return st.st_dev == file.device && st.st_ino == file.inode;
      const std::size_t slash = head.find_last_of('/');
      if (slash == std::string::npos) break;
      head = slash == 0 ? "/" : head.substr(0, slash);
    }
  }
  return false;
}

DeviceMatch MatchDestination(const std::string& folder, const CVolume& volume, const platform::BlockDeviceTree& tree) {
  // The volume's device: a block device node (disks, partitions, logical drives
  // read through their node) or an image file. Writing beside an image is allowed:
  // a new file cannot overwrite the image's data.
  bool exists = false;
  const auto sourceId = SourceDevice(platform::Utf16ToUtf8(volume.GetPath()), tree, exists);
  if (!exists) return DeviceMatch::Unknown;
  if (!sourceId) return DeviceMatch::Different;
  for (const LoopBackingFile& f : LoopBackingFiles(volume, tree))
    if (PathReachesFile(folder, f)) return DeviceMatch::Same;
  const std::vector<platform::BlockDeviceId> sourceDisks = DisksBeneath(*sourceId, tree);

  if (auto dest = tree.DeviceOfPath(folder))
    return Overlap(sourceDisks, DisksBeneath(*dest, tree)) ? DeviceMatch::Same : DeviceMatch::Different;
  // No block device behind the destination's file system (tmpfs, overlay, a btrfs
  // subvolume without a block source): compare with the source's mounts.
  if (auto mount = tree.MountOfPath(folder)) {
    if (mount->sourceId.valid())
      return Overlap(sourceDisks, DisksBeneath(mount->sourceId, tree)) ? DeviceMatch::Same : DeviceMatch::Different;
    // A pseudo file system in memory cannot lie on the source disk.
    if (mount->fsType == "tmpfs" || mount->fsType == "ramfs") return DeviceMatch::Different;
  }
  return DeviceMatch::Unknown;
}

DeviceMatch MatchImagePath(const std::string& imagePath, const CVolume& volume, const platform::BlockDeviceTree& tree) {
  for (const LoopBackingFile& f : LoopBackingFiles(volume, tree))
    if (PathReachesFile(imagePath, f)) return DeviceMatch::Same;
  const std::size_t slash = imagePath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : imagePath.substr(0, slash);
  return MatchDestination(folder, volume, tree);
}
