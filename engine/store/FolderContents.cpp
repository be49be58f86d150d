#include "engine/store/FolderContents.h"

#include "engine/store/FileFilter.h"

bool CFolderContents::Take(const FoundObject* record) {
  if (!record || record->IsDevice() || record->IsFolder()) return false;
  if (filter_ && filter_->IsHidden(*record)) return false;
  return taken_.insert(record).second;
}

std::size_t CFolderContents::Collect(const FoundObjectStore::ReadView& view, std::int32_t folderId,
                                     std::vector<FoundObject*>& out) {
  const std::size_t before = out.size();
  if (!walked_.insert(folderId).second) return 0;
  struct Level {
    std::vector<FoundObject*> children;
    std::size_t next = 0;
  };
  std::vector<Level> stack(1);
  view.CollectChildren(folderId, stack.back().children);
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next >= level.children.size()) {
      stack.pop_back();
      continue;
    }
    FoundObject* r = level.children[level.next++];
    if (!r || r->IsDevice()) continue;
    if (!r->IsFolder()) {
      if (Take(r)) out.push_back(r);
      continue;
    }
    if (!walked_.insert(r->id).second) continue;
    Level deeper;
    view.CollectChildren(r->id, deeper.children);
    stack.push_back(std::move(deeper));
  }
  return out.size() - before;
}
