#include "mainframe/explorer/FoundObjectSorter.h"

#include <QChar>

#include <algorithm>

namespace {

inline char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;  // surrogates compare as they are
  return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(c)));
}

constexpr std::uint64_t kSignBit = std::uint64_t(1) << 63;

// A signed value as an unsigned one of the same order.
inline std::uint64_t Ordered(std::int64_t v) { return std::uint64_t(v) ^ kSignBit; }

inline bool SameKey(const CFoundObjectSorter::Row& a, const CFoundObjectSorter::Row& b) {
  return a.k0 == b.k0 && a.k1 == b.k1 && a.k2 == b.k2;
}

}  // namespace

int CFoundObjectSorter::CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = a[i], y = b[i];
    if (x == y) continue;
    const char16_t fx = Fold(x), fy = Fold(y);
    if (fx != fy) return fx < fy ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

CFoundObjectSorter::Row CFoundObjectSorter::MakeRow(const FoundObject* r, std::int64_t handle) const {
  Row row;
  row.handle = handle;
  if (!r) return row;  // unresolved: last
  // The top bit of k0: 0 for folders, which come first in either direction.
  const std::uint64_t fileBit = r->IsFolder() ? 0 : kSignBit >> 1;
  switch (key_) {
    case kBySize:
    case kByDate: {
      const std::int64_t v = key_ == kBySize ? r->size : r->created;
      // Direction 0: the larger first.
      row.k0 = fileBit;
      row.k1 = descending_ ? Ordered(v) : ~Ordered(v);
      row.k2 = 0;
      break;
    }
    default: {
      const std::u16string_view name = r->Name();
      std::uint64_t u[11] = {};
      for (std::size_t i = 0; i < 11 && i < name.size(); ++i) u[i] = Fold(name[i]);
      std::uint64_t k0 = (u[0] << 32) | (u[1] << 16) | u[2];
      std::uint64_t k1 = (u[3] << 48) | (u[4] << 32) | (u[5] << 16) | u[6];
      std::uint64_t k2 = (u[7] << 48) | (u[8] << 32) | (u[9] << 16) | u[10];
      if (descending_) {
        k0 = ~k0 & 0xFFFFFFFFFFFFull;
        k1 = ~k1;
        k2 = ~k2;
      }
      row.k0 = fileBit | k0;
      row.k1 = k1;
      row.k2 = k2;
      break;
    }
  }
  return row;
}

bool CFoundObjectSorter::KeyLess(const Row& a, const FoundObject* ra, const Row& b, const FoundObject* rb) const {
  if (a.k0 != b.k0) return a.k0 < b.k0;
  if (a.k1 != b.k1) return a.k1 < b.k1;
  if (a.k2 != b.k2) return a.k2 < b.k2;
  if (key_ == kByName && ra && rb) {
    const int c = CompareNames(ra->Name(), rb->Name());
    if (c != 0) return descending_ ? c > 0 : c < 0;
  }
  return a.handle < b.handle;  // equal keys: store order
}

bool CFoundObjectSorter::RowLess(const FoundObjectStore::ReadView& view, const Row& a, const Row& b) const {
  if (!SameKey(a, b) || key_ != kByName) return KeyLess(a, nullptr, b, nullptr);
  return KeyLess(a, view.FromHandle(a.handle), b, view.FromHandle(b.handle));
}

bool CFoundObjectSorter::Less(const FoundObject* a, std::int64_t ha, const FoundObject* b, std::int64_t hb) const {
  return KeyLess(MakeRow(a, ha), a, MakeRow(b, hb), b);
}

void CFoundObjectSorter::SortRows(const FoundObjectStore::ReadView& view, std::vector<Row>& rows) const {
  std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return RowLess(view, a, b); });
}

void CFoundObjectSorter::SortAll(const FoundObjectStore::ReadView& view, Rows& rows) const {
  // The keys are read in store order (the order the records lie in memory), not in
  // the list's order, which after another sort is scattered over the store: the
  // result is the same, the reads far fewer cache misses.
  std::vector<Row> all(rows.begin(), rows.end());
  std::sort(all.begin(), all.end(), [](const Row& a, const Row& b) { return a.handle < b.handle; });
  for (Row& row : all) row = MakeRow(view.FromHandle(row.handle), row.handle);
  SortRows(view, all);
  std::copy(all.begin(), all.end(), rows.begin());
}

void CFoundObjectSorter::SortAll(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles) const {
  Rows rows(handles.size());
  for (std::size_t i = 0; i < handles.size(); ++i) rows[i].handle = handles[i];
  SortAll(view, rows);
  for (std::size_t i = 0; i < rows.size(); ++i) handles[i] = rows[i].handle;
}

void CFoundObjectSorter::SortRecords(std::vector<std::pair<const FoundObject*, std::int64_t>>& records) const {
  struct Item {
    Row row;
    const FoundObject* record;
  };
  std::vector<Item> items;
  items.reserve(records.size());
  for (const auto& [r, h] : records) items.push_back({MakeRow(r, h), r});
  std::sort(items.begin(), items.end(),
            [this](const Item& a, const Item& b) { return KeyLess(a.row, a.record, b.row, b.record); });
  for (std::size_t i = 0; i < items.size(); ++i) records[i] = {items[i].record, items[i].row.handle};
}

void CFoundObjectSorter::MergeTail(const FoundObjectStore::ReadView& view, Rows& rows, std::size_t sorted,
                                   std::size_t keyed) const {
  sorted = std::min(sorted, rows.size());
  if (sorted == rows.size()) return;
  std::vector<Row> tail(rows.begin() + std::ptrdiff_t(sorted), rows.end());
  for (std::size_t i = keyed; i < tail.size(); ++i) tail[i] = MakeRow(view.FromHandle(tail[i].handle), tail[i].handle);
  SortRows(view, tail);
  // Where each new row goes among the sorted ones (after those equal to it): a
  // binary search over their kept keys, or for a long tail one walk along them.
  std::vector<std::size_t> at(tail.size());
  std::size_t from = 0;
  const bool walk = tail.size() * 16 > sorted;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (walk) {
      while (from < sorted && !RowLess(view, tail[i], rows[from])) ++from;
    } else {
      from = std::size_t(std::upper_bound(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(sorted),
                                          tail[i], [&](const Row& x, const Row& y) { return RowLess(view, x, y); }) -
                         rows.begin());
    }
    at[i] = from;
  }
  // Merged in place from the back: each run of sorted rows moves right by the
  // number of new rows still to place before it.
  std::size_t write = rows.size();
  std::size_t source = sorted;
  for (std::size_t i = tail.size(); i-- > 0;) {
    const std::size_t run = source - at[i];
    std::move_backward(rows.begin() + std::ptrdiff_t(at[i]), rows.begin() + std::ptrdiff_t(source),
                       rows.begin() + std::ptrdiff_t(write));
    write -= run;
    source = at[i];
    rows[--write] = tail[i];
  }
}
