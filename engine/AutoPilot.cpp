#include "engine/AutoPilot.h"

#include <set>

#include "engine/AppSettings.h"
#include "engine/FileFilter.h"
#include "engine/FoundObjectStore.h"

bool CAutoPilot::Applies(const AppSettings& settings, bool stoppedByUser) {
  return settings.AutoRecover() == 1 && !stoppedByUser;
}

std::vector<FoundObject*> CAutoPilot::CollectFiles(const FoundObjectStore& store, const FileFilter& filter,
                                                   Pass pass) {
  std::vector<FoundObject*> files;
  const FoundObjectStore::ReadView view = store.Read();
  std::vector<std::int32_t> roots;
  if (pass == Pass::kFileSystem)
    roots = {view.RootFolderId(), kIdLostFolders};
  else
    roots = {kIdLostFiles};

  // Folders are visited by id once: ids may be shared (FAT start clusters), and a
  // damaged store may loop.
  std::set<std::int32_t> visited;
  std::set<const FoundObject*> taken;
  std::vector<FoundObject*> children;
  // Depth first: a folder's children in store order, each folder's own subtree
  // before its next sibling.
  struct Pending {
    std::vector<FoundObject*> items;
    std::size_t next = 0;
  };
  std::vector<Pending> walk;
  for (std::int32_t root : roots) {
    if (!visited.insert(root).second) continue;
    walk.clear();
    walk.push_back({});
    view.CollectChildren(root, walk.back().items);
    while (!walk.empty()) {
      Pending& top = walk.back();
      if (top.next >= top.items.size()) {
        walk.pop_back();
        continue;
      }
      FoundObject* record = top.items[top.next++];
      if (!record || record->IsDevice()) continue;
      if (record->IsFolder()) {
        if (!visited.insert(record->id).second) continue;
        children.clear();
        view.CollectChildren(record->id, children);
        walk.push_back({children, 0});
        continue;
      }
      if (filter.IsHidden(*record)) continue;
      if (taken.insert(record).second) files.push_back(record);
    }
  }
  return files;
}
