#pragma once
// The image numbers of the found-object tree and list, and the icon each stands
// for. Both views number their images alike (the list uses the first 14):
//
//   0 live file            1 deleted file          2/3 folder (closed/open; 3 the root)
//   4/5 folder on the way to a deleted object       6/7 deleted folder (6 a type folder)
//   8/9 lost folder or "Lost folders"               10/11 live/deleted file found by signature
//   12 My Computer         13 Recycle Bin           14 physical drive
//   15 logical drive (remote, CD-ROM, RAM drives)   16 partition    17 image file
//   18 found partition     19 removable drive       20 logical drive marked carved
//
// Plain functions of a record's fields: the caller reads the record under its
// store's read view.

#include <cstdint>

struct FoundObject;
class CVolume;

class CFoundObjectImages {
 public:
  enum Image : int {
    kLiveFile = 0,
    kDeletedFile = 1,
    kFolder = 2,
    kFolderOpen = 3,
    kDeletedPathFolder = 4,
    kDeletedFolder = 6,
    kLostFolder = 8,
    kCarvedLiveFile = 10,
    kCarvedDeletedFile = 11,
    kMyComputer = 12,
    kRecycleBin = 13,
    kPhysicalDrive = 14,
    kLogicalDrive = 15,
    kPartition = 16,
    kImageFile = 17,
    kFoundPartition = 18,
    kRemovableDrive = 19,
    kCarvedLogicalDrive = 20,
    kImageCount = 21,
  };

  // A file or folder in the tree: a folder's image by the first rule that holds
  // (the root folder, a type folder under "Lost files", a lost folder or the "Lost
  // folders" root, deleted, on a deleted path, any other), the last four one higher
  // while the item is expanded; a file by deleted and carved.
  static int TreeImage(const FoundObject& record, std::int32_t rootFolderId, bool expanded);
  // The same in the list, which has no expanded variants.
  static int ListImage(const FoundObject& record, std::int32_t rootFolderId) {
    return TreeImage(record, rootFolderId, false);
  }
  // A device node: My Computer and the Recycle Bin by their ids, other volumes by
  // kind, then removable, remote, CD-ROM and RAM drives by their drive type.
  // `carved`: the node carries OBJ_CARVED.
  static int DeviceImage(std::int32_t nodeId, std::int32_t kind, std::int32_t driveType, bool carved);
  static int DeviceImage(const CVolume& volume);

  // The resource icon id behind an image number (0 when it has none), and the
  // one behind a state image (1 not checked, 2 checked, 3 partly checked).
  static int IconId(int image);
  static int StateIconId(int stateImage);
};
