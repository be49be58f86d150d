#include "engine/DeviceMatch.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <vector>

#include "engine/Volume.h"
#include "platform/Text.h"

namespace {

bool Overlap(const std::vector<platform::BlockDeviceId>& a, const std::vector<platform::BlockDeviceId>& b) {
  return std::any_of(a.begin(), a.end(), [&](auto& x) { return std::find(b.begin(), b.end(), x) != b.end(); });
}

}  // namespace

DeviceMatch MatchDestination(const std::string& folder, const CVolume& volume, const platform::BlockDeviceTree& tree) {
  // The volume's device: a block device node (disks, partitions, logical drives
  // read through their node) or an image file. Writing beside an image is allowed:
  // a new file cannot overwrite the image's data.
  const std::string source = platform::Utf16ToUtf8(volume.GetPath());
  struct stat st{};
  if (stat(source.c_str(), &st) != 0) return DeviceMatch::Unknown;
  if (!S_ISBLK(st.st_mode)) return DeviceMatch::Different;
  const platform::BlockDeviceId sourceId{major(st.st_rdev), minor(st.st_rdev)};
  std::vector<platform::BlockDeviceId> sourceDisks = tree.WholeDisksOf(sourceId);
  if (sourceDisks.empty()) sourceDisks.push_back(sourceId);

  if (auto dest = tree.DeviceOfPath(folder)) {
    std::vector<platform::BlockDeviceId> destDisks = tree.WholeDisksOf(*dest);
    if (destDisks.empty()) destDisks.push_back(*dest);
    return Overlap(sourceDisks, destDisks) ? DeviceMatch::Same : DeviceMatch::Different;
  }
  // No block device behind the destination's file system (tmpfs, overlay, a btrfs
  // subvolume without a block source): compare with the source's mounts.
  if (auto mount = tree.MountOfPath(folder)) {
    if (mount->sourceId.valid()) {
      std::vector<platform::BlockDeviceId> disks = tree.WholeDisksOf(mount->sourceId);
      if (disks.empty()) disks.push_back(mount->sourceId);
      return Overlap(sourceDisks, disks) ? DeviceMatch::Same : DeviceMatch::Different;
    }
    // A pseudo file system in memory cannot lie on the source disk.
    if (mount->fsType == "tmpfs" || mount->fsType == "ramfs") return DeviceMatch::Different;
  }
  return DeviceMatch::Unknown;
}
