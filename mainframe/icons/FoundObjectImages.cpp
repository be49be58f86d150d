#include "mainframe/icons/FoundObjectImages.h"

#include "engine/store/FoundObject.h"
#include "engine/volume/Volume.h"

int CFoundObjectImages::TreeImage(const FoundObject& record, std::int32_t rootFolderId, bool expanded) {
  const std::uint16_t flags = record.flags;
  if (!(flags & OBJ_FOLDER)) {
    const bool carved = (flags & OBJ_CARVED) != 0;
    if (flags & OBJ_DELETED) return carved ? kCarvedDeletedFile : kDeletedFile;
    return carved ? kCarvedLiveFile : kLiveFile;
  }
  if (record.id == rootFolderId) return kFolderOpen;
  if (record.parentId == kIdLostFiles) return kDeletedFolder;
  int image;
  if (record.parentId == kIdLostFolders || record.id == kIdLostFolders) {
    image = kLostFolder;
  } else if (flags & OBJ_DELETED) {
    image = kDeletedFolder;
  } else if (flags & OBJ_DELETED_PATH) {
    image = kDeletedPathFolder;
  } else {
    image = kFolder;
  }
  return expanded ? image + 1 : image;
}

int CFoundObjectImages::DeviceImage(std::int32_t nodeId, std::int32_t kind, std::int32_t driveType, bool carved) {
  if (nodeId == kIdMyComputer) return kMyComputer;
  if (nodeId == kIdRecycleBin) return kRecycleBin;
  int image = kLogicalDrive;
  switch (kind) {
    case CVolume::kPhysicalDrive:
      image = kPhysicalDrive;
      break;
    case CVolume::kLogicalDrive:
      image = carved ? kCarvedLogicalDrive : kLogicalDrive;
      break;
    case CVolume::kPartition:
      image = kPartition;
      break;
    case CVolume::kImageFile:
      image = kImageFile;
      break;
    case CVolume::kFoundPartition:
      image = kFoundPartition;
      break;
    default:
      break;
  }
  switch (driveType) {
    case 2:  // removable
      return kRemovableDrive;
    case 4:  // remote
    case 5:  // CD-ROM
    case 6:  // RAM disk
      return kLogicalDrive;
    default:
      return image;
  }
}

int CFoundObjectImages::DeviceImage(const CVolume& volume) {
  const FoundObject& node = *volume.DeviceNode();
  return DeviceImage(node.id, volume.GetKind(), volume.Info().driveType, node.flags.Any(OBJ_CARVED));
}

int CFoundObjectImages::IconId(int image) {
  static constexpr int kIcons[kImageCount] = {201, 202, 204, 203, 207, 208, 206, 205, 274, 275, 364,
                                              365, 214, 307, 222, 223, 306, 224, 225, 236, 366};
  return image >= 0 && image < kImageCount ? kIcons[image] : 0;
}

int CFoundObjectImages::StateIconId(int stateImage) {
  switch (stateImage) {
    case 1:
      return 209;
    case 2:
    case 3:
      return 210;
    default:
      return 0;
  }
}
