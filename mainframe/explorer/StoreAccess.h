#pragma once
// How the views reach found objects and volumes: a record by its store handle
// (read under its store's lock, copied out) and a volume by its device-node id,
// looked up where they are used, never kept as pointers across a store's Clear or
// a drive-list refresh.
//
// GUI thread (the look-ups themselves are safe from any thread).

#include <cstdint>
#include <memory>
#include <string>

#include "engine/store/FoundObject.h"

class CVolume;

class CStoreAccess {
 public:
  // The volume whose store holds a handle: the computer's analysed volume when its
  // store made it, else whichever volume's store did; null when none does.
  static std::shared_ptr<CVolume> VolumeOf(std::int64_t handle);
  // A copy of a handle's record, with the store's root folder id; false when the
  // handle no longer resolves. The copy's name never points into the store (a
  // Clear frees its names while the copy may still be in use): with `name` it is
  // copied there under the store's lock and the copy points at it (keep `name`
  // as long as the copy); without, the copy has no name.
  static bool ReadRecord(std::int64_t handle, FoundObject& out, std::shared_ptr<CVolume>* volume = nullptr,
                         std::int32_t* rootFolderId = nullptr, std::u16string* name = nullptr);
  // The volume of a device node: My Computer (-12), the Recycle Bin (-17), a listed
  // volume, or the analysed or selected volume; null when none has the id.
  static std::shared_ptr<CVolume> VolumeOfNode(std::int32_t nodeId);
  // The computer's analysed volume (null without a computer object).
  static std::shared_ptr<CVolume> AnalysedVolume();
};
