#pragma once
// The root folder "." (id 0) of a store that a test fills by hand, as the
// file-system parsers register it.

#include "engine/store/FoundObject.h"
#include "engine/store/FoundObjectStore.h"

namespace test {

inline void AddRootFolder(FoundObjectStore& store) {
  store.SetRootFolderId(0);
  FoundObject root;
  root.id = 0;
  root.parentId = -31;
  root.flags = OBJ_FOLDER | OBJ_NAMED;
  root.SetName(u".");
  store.RegisterObject(root);
}

}  // namespace test
