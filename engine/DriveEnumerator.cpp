#include "engine/DriveEnumerator.h"

#include <algorithm>

#include "engine/Volume.h"
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

  std::vector<DriveSource> logical;
  for (const platform::MountEntry& m : tree_.BlockMounts()) {
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
  return out;
}
