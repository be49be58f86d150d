#pragma once
// Whether a destination folder lies on the device a volume reads: recovered files
// and drive images must never be written to the drive they come from. Devices are
// compared, not names: the destination's nearest existing folder is followed to its
// block device and down to the whole disks that hold it (partitions, device-mapper
// and md volumes through their slaves), and so is the volume's device.
//
// A loop device is a file: the disks beneath a volume that are loop devices are
// followed to their backing files (sysfs loop/backing_file, then the file's device
// and inode, or those the loop driver reports), and a destination that is such a
// file, or whose path runs through one, lies on the source as well.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/BlockDevices.h"

class CVolume;

enum class DeviceMatch {
  Different,  // the destination lies elsewhere (or the source is an image file)
  Same,       // the destination lies on a disk the volume reads
  Unknown,    // the destination's device can't be told (ask the user)
};

// A file behind a loop device beneath a volume.
struct LoopBackingFile {
  std::string path;  // as sysfs names it, without the " (deleted)" of a removed file
  bool haveInode = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// The files behind the loop devices beneath the volume's device (a loop device, a
// partition of one, a volume over one). A device node under the tree's dev root
// that is not a block device (a fake tree's) is known by its name.
std::vector<LoopBackingFile> LoopBackingFiles(const CVolume& volume, const platform::BlockDeviceTree& tree);
// Whether writing at `path` (UTF-8; it need not exist) would write into the file:
// the path is it (the same file once links are followed, or the same device and
// inode) or runs through it.
bool PathReachesFile(const std::string& path, const LoopBackingFile& file);

// `folder` is a UTF-8 path (it need not exist yet).
DeviceMatch MatchDestination(const std::string& folder, const CVolume& volume, const platform::BlockDeviceTree& tree);
// The check for a file to be written (a drive image): its folder as above, and Same
// when the file is one behind a loop device the volume reads.
DeviceMatch MatchImagePath(const std::string& imagePath, const CVolume& volume, const platform::BlockDeviceTree& tree);
