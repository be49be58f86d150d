#include "engine/volume/DriveEnumerator.h"

#include <algorithm>

#include "engine/volume/Volume.h"
#include "platform/Paths.h"

namespace {

std::string Numbers(platform::BlockDeviceId id) { return std::to_string(id.major) + ":" + std::to_string(id.minor); }

}  // namespace

std::string DriveSource::Key() const {
  // Fields are separated by a character no name or path from sysfs holds.
  std::string k = std::to_string(kind);
  for (const std::string& part :
       {devNode, Numbers(id), std::to_string(sizeBytes), std::to_string(diskseq), std::to_string(startBytes), vendor,
        model, backingFile, mountPoint, fsType, parentKey}) {
    k += '\x1f';
    k += part;
  }
  return k;
}

DriveEnumerator::DriveEnumerator(platform::BlockDeviceTree tree) : tree_(std::move(tree)) {}

std::vector<DriveSource> DriveEnumerator::Enumerate() const {
  std::vector<DriveSource> out;
  for (const platform::DiskEntry& d : tree_.WholeDisks()) {
    DriveSource s;
    s.kind = CVolume::kPhysicalDrive;
    s.number = static_cast<int>(out.size());
    s.name = d.name;
    s.devNode = d.devNode;
    s.id = d.id;
    s.sizeBytes = d.sizeBytes;
    s.diskseq = d.diskseq;
    s.removable = d.removable;
    s.vendor = d.vendor;
    s.model = d.model;
    s.backingFile = d.backingFile;
    s.logicalSectorSize = d.logicalSectorSize;
    out.push_back(std::move(s));
  }
  const std::size_t disks = out.size();
  const std::vector<platform::MountEntry> mounts = tree_.BlockMounts();
  std::vector<char> mountTaken(mounts.size(), 0);

  // Every partition of a listed disk, mounted or not (a card kept unmounted for the
  // recovery, a file system this system does not mount).
  std::vector<DriveSource> logical;
  std::vector<DriveSource> unmounted;
  for (std::size_t i = 0; i < disks; ++i) {
    if (tree_.IsOptical(out[i].name)) continue;
    for (const platform::PartitionEntry& p : tree_.Partitions(out[i].name)) {
      // The kernel shows an extended partition's container as a device of a sector
      // or two: it holds the table of the partitions inside, no file system.
      if (p.sizeBytes <= kSmallestPartitionBytes) continue;
      DriveSource s;
      s.kind = CVolume::kLogicalDrive;
      s.name = p.name;
      s.devNode = p.devNode;
      s.id = p.id;
      s.sizeBytes = p.sizeBytes;
      s.diskseq = out[i].diskseq;
      s.startBytes = p.startBytes;
      s.isPartition = true;
      s.partitionNumber = p.number;
      s.parentDisk = out[i].id;
      s.parentKey = out[i].Key();
      s.removable = out[i].removable;
      s.logicalSectorSize = out[i].logicalSectorSize;
      for (std::size_t m = 0; m < mounts.size(); ++m) {
        if (mountTaken[m] || !(mounts[m].device() == p.id)) continue;
        mountTaken[m] = 1;
        s.mountPoint = mounts[m].mountPoint;
        s.fsType = mounts[m].fsType;
        break;
      }
      (s.mountPoint.empty() ? unmounted : logical).push_back(std::move(s));
    }
  }

  // Mounted file systems on no partition of a listed disk: a whole disk without a
  // table, device-mapper and md volumes.
  for (std::size_t mi = 0; mi < mounts.size(); ++mi) {
    if (mountTaken[mi]) continue;
    const platform::MountEntry& m = mounts[mi];
    const platform::BlockDeviceId dev = m.device();
    const std::vector<platform::BlockDeviceId> beneath = tree_.WholeDisksOf(dev);
    // A disc in an optical drive is not listed, mounted or not.
    bool optical = false;
    for (const platform::BlockDeviceId& w : beneath)
      if (auto n = tree_.NameOf(w); n && tree_.IsOptical(*n)) optical = true;
    if (optical) continue;

    DriveSource s;
    s.kind = CVolume::kLogicalDrive;
    s.mountPoint = m.mountPoint;
    s.fsType = m.fsType;
    s.id = dev;
    if (auto f = tree_.Facts(dev)) {
      s.name = f->name;
      s.devNode = platform::JoinPath(tree_.devRoot(), f->name);
      s.sizeBytes = f->sizeBytes;
      s.diskseq = f->diskseq;
      s.startBytes = f->startBytes;
      s.isPartition = f->isPartition;
    } else {
      s.devNode = m.source;  // sysfs does not know it: the mount's own word for it
    }
    if (beneath.size() == 1) {
      for (std::size_t i = 0; i < disks; ++i) {
        if (!(out[i].id == beneath[0])) continue;
        s.parentDisk = out[i].id;
        s.parentKey = out[i].Key();
        s.removable = out[i].removable;
        s.logicalSectorSize = out[i].logicalSectorSize;
      }
    }
    logical.push_back(std::move(s));
  }
  std::stable_sort(logical.begin(), logical.end(),
                   [](const DriveSource& a, const DriveSource& b) { return a.mountPoint < b.mountPoint; });
  for (DriveSource& s : logical) out.push_back(std::move(s));
  // The unmounted ones after them, disk by disk in partition order.
  for (DriveSource& s : unmounted) out.push_back(std::move(s));
  return out;
}
