#pragma once
// Whether a destination folder lies on the device a volume reads: recovered files
// and drive images must never be written to the drive they come from. Devices are
// compared, not names: the destination's nearest existing folder is followed to its
// block device and down to the whole disks that hold it (partitions, device-mapper
// and md volumes through their slaves), and so is the volume's device.

#include <string>

#include "platform/BlockDevices.h"

class CVolume;

enum class DeviceMatch {
  Different,  // the destination lies elsewhere (or the source is an image file)
  Same,       // the destination lies on a disk the volume reads
  Unknown,    // the destination's device can't be told (ask the user)
};

// `folder` is a UTF-8 path (it need not exist yet).
DeviceMatch MatchDestination(const std::string& folder, const CVolume& volume, const platform::BlockDeviceTree& tree);
