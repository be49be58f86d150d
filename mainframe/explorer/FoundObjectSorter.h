#pragma once
// The order of the found-object list: folders before files always; then by name
// (without letter case; `descending` gives Z to A), by size or by creation date
// (`descending` 0 lists the largest or newest first, 1 the smallest or oldest).
// Records whose keys are equal keep their order in the store (by handle), so the
// order is total and a list sorted bit by bit (a sorted tail merged in) is the
// same as one sorted at once.
//
// Sorting works on keys taken from each record once and kept with its row: the
// folder flag and the size, the date or the first eleven letters of the name
// (case-folded) packed into three integers, so that most comparisons touch no
// record; names equal in their first eleven letters are compared in full.
//
// The rows hold store handles; the sorter reads their records under a read view
// that the caller holds for the whole sort. A handle that no longer resolves sorts
// last.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/store/FoundObjectStore.h"

class CFoundObjectSorter {
 public:
  enum Key : int { kByName = 0, kBySize = 1, kByDate = 3 };

  // A row of the list: a record's handle with its sort key.
  struct Row {
    std::uint64_t k0 = ~std::uint64_t(0);
    std::uint64_t k1 = ~std::uint64_t(0);
    std::uint64_t k2 = ~std::uint64_t(0);
    std::int64_t handle = -1;
  };

  // The list's rows: a deque, so that a list growing to millions of rows never
  // moves (and faults in) its whole array at once.
  using Rows = std::deque<Row>;

  CFoundObjectSorter() = default;
  CFoundObjectSorter(int column, bool descending) : key_(KeyOfColumn(column)), descending_(descending) {}

  // The key a list column sorts by: name for columns 0, 2 (type) and 4 (folder).
  static int KeyOfColumn(int column) { return column == kBySize || column == kByDate ? column : kByName; }
  int GetKey() const { return key_; }
  bool Descending() const { return descending_; }

  // The row of a record (null: a handle that no longer resolves).
  Row MakeRow(const FoundObject* record, std::int64_t handle) const;
  // True when row a comes before row b (their records read on a tie of the keys).
  bool RowLess(const FoundObjectStore::ReadView& view, const Row& a, const Row& b) const;
  // True when record a (handle ha) comes before record b (handle hb).
  bool Less(const FoundObject* a, std::int64_t ha, const FoundObject* b, std::int64_t hb) const;

  // Takes every row's key anew and sorts them all.
  void SortAll(const FoundObjectStore::ReadView& view, Rows& rows) const;
  // The first `sorted` rows are in order with their keys: takes the keys of the
  // rest, sorts it and merges it in (a binary search per new row over the kept
  // keys for a short tail, one walk along them for a long one) with one pass of
  // moves, so that a long sorted list takes a short tail cheaply.
  // The first `keyed` rows of the tail have their keys already (taken when they
  // were added, with this sorter's key and direction).
  void MergeTail(const FoundObjectStore::ReadView& view, Rows& rows, std::size_t sorted,
                 std::size_t keyed = 0) const;
  // Sorts handles (tests and callers without rows).
  void SortAll(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles) const;
  // Sorts records given with their handles (the tree's folders).
  void SortRecords(std::vector<std::pair<const FoundObject*, std::int64_t>>& records) const;

  // Compares two names without letter case, unit by unit on their case folding:
  // negative, 0 or positive.
  static int CompareNames(std::u16string_view a, std::u16string_view b);

 private:
  bool KeyLess(const Row& a, const FoundObject* ra, const Row& b, const FoundObject* rb) const;
  void SortRows(const FoundObjectStore::ReadView& view, std::vector<Row>& rows) const;

  int key_ = kByName;
  bool descending_ = false;
};
