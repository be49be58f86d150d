#pragma once
// What a folder contributes to a recovery: the files below it that the file filter
// in force shows, depth first, each folder's children in the order they were found
// (a folder's own subtree before its next sibling). Folders are walked whatever the
// filter says of them (the tree shows a live folder on the way to a shown deleted
// file) and are never collected themselves; device nodes are skipped.
//
// One collector gathers the contents of several folders: a folder is walked once
// and a file taken once, however often they are met (ids are shared by FAT start
// clusters, and a damaged store may loop).
//
// Used by the explorer's selection, the wizard's auto-pilot, and everything that
// counts what such a recovery writes. The caller holds the store's ReadView.

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "engine/store/FoundObjectStore.h"

class FileFilter;

class CFolderContents {
 public:
  // `filter` null: every file counts.
  explicit CFolderContents(const FileFilter* filter) : filter_(filter) {}

  // Appends the files below `folderId` to `out`; returns how many were appended.
  std::size_t Collect(const FoundObjectStore::ReadView& view, std::int32_t folderId, std::vector<FoundObject*>& out);
  // Whether a single file counts (shown by the filter, not a folder or device
  // node); a file collected here once is not taken again.
  bool Take(const FoundObject* record);

 private:
  const FileFilter* filter_;
  std::unordered_set<std::int32_t> walked_;
  std::unordered_set<const FoundObject*> taken_;
};
