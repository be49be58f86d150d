#pragma once
// The order of the found-object list: folders before files always; then by name
// (without letter case; `descending` gives Z to A), by size or by creation date
// (`descending` 0 lists the largest or newest first, 1 the smallest or oldest).
// Records whose keys are equal keep their order in the store (by handle), so the
// order is total and a list sorted bit by bit (a sorted tail merged in) is the
// same as one sorted at once.
//
// Sorting works on keys taken from each record once: the folder flag and the
// size, the date or the first eleven letters of the name (case-folded) packed
// into three integers, so that most comparisons touch no record; names equal in
// their first eleven letters are compared in full.
//
// The list keeps store handles; the sorter reads their records under a read view
// that the caller holds for the whole sort. A handle that no longer resolves sorts
// last.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/FoundObjectStore.h"

class CFoundObjectSorter {
 public:
  enum Key : int { kByName = 0, kBySize = 1, kByDate = 3 };

  CFoundObjectSorter() = default;
  CFoundObjectSorter(int column, bool descending) : key_(KeyOfColumn(column)), descending_(descending) {}

  // The key a list column sorts by: name for columns 0, 2 (type) and 4 (folder).
  static int KeyOfColumn(int column) { return column == kBySize || column == kByDate ? column : kByName; }
  int GetKey() const { return key_; }
  bool Descending() const { return descending_; }

  // True when record a (handle ha) comes before record b (handle hb).
  bool Less(const FoundObject* a, std::int64_t ha, const FoundObject* b, std::int64_t hb) const;

  // Sorts every handle.
  void SortAll(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles) const;
  // The first `sorted` handles are in order: sorts the rest and merges it in,
  // with a binary search per new handle and one pass of copies, so that a long
  // sorted list takes a short tail cheaply. `newRows`, when given, receives the
  // row each handle of the tail took, in the order of the result.
  void MergeTail(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles, std::size_t sorted,
                 std::vector<std::size_t>* newRows = nullptr) const;
  // Sorts records given with their handles (the tree's folders).
  void SortRecords(std::vector<std::pair<const FoundObject*, std::int64_t>>& records) const;

  // Compares two names without letter case, unit by unit on their case folding:
  // negative, 0 or positive.
  static int CompareNames(std::u16string_view a, std::u16string_view b);

 private:
  struct Entry {
    std::uint64_t k0;
    std::uint64_t k1;
    std::uint64_t k2;
    const FoundObject* record;
    std::int64_t handle;
  };
  Entry MakeEntry(const FoundObject* record, std::int64_t handle) const;
  bool EntryLess(const Entry& a, const Entry& b) const;
  void SortEntries(std::vector<Entry>& entries) const;

  int key_ = kByName;
  bool descending_ = false;
};
