#include "mainframe/FoundObjectSorter.h"

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

CFoundObjectSorter::Entry CFoundObjectSorter::MakeEntry(const FoundObject* r, std::int64_t handle) const {
  Entry e{~std::uint64_t(0), ~std::uint64_t(0), ~std::uint64_t(0), r, handle};
  if (!r) return e;  // unresolved: last
  // The top bit of k0: 0 for folders, which come first in either direction.
  const std::uint64_t fileBit = r->IsFolder() ? 0 : kSignBit >> 1;
  switch (key_) {
    case kBySize:
    case kByDate: {
      const std::int64_t v = key_ == kBySize ? r->size : r->created;
      // Direction 0: the larger first.
      e.k0 = fileBit;
      e.k1 = descending_ ? Ordered(v) : ~Ordered(v);
      e.k2 = 0;
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
      e.k0 = fileBit | k0;
      e.k1 = k1;
      e.k2 = k2;
      break;
    }
  }
  return e;
}

bool CFoundObjectSorter::EntryLess(const Entry& a, const Entry& b) const {
  if (a.k0 != b.k0) return a.k0 < b.k0;
  if (a.k1 != b.k1) return a.k1 < b.k1;
  if (a.k2 != b.k2) return a.k2 < b.k2;
  if (key_ == kByName && a.record && b.record) {
    const int c = CompareNames(a.record->Name(), b.record->Name());
    if (c != 0) return descending_ ? c > 0 : c < 0;
  }
  return a.handle < b.handle;  // equal keys: store order
}

bool CFoundObjectSorter::Less(const FoundObject* a, std::int64_t ha, const FoundObject* b, std::int64_t hb) const {
  return EntryLess(MakeEntry(a, ha), MakeEntry(b, hb));
}

void CFoundObjectSorter::SortEntries(std::vector<Entry>& entries) const {
  std::sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) { return EntryLess(a, b); });
}

void CFoundObjectSorter::SortAll(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles) const {
  // The keys are read in store order (the order the records lie in memory), not
  // in the list's order, which after another sort is scattered over the store: the
  // result is the same, the reads far fewer cache misses.
  std::sort(handles.begin(), handles.end());
  std::vector<Entry> entries;
  entries.reserve(handles.size());
  for (std::int64_t h : handles) entries.push_back(MakeEntry(view.FromHandle(h), h));
  SortEntries(entries);
  for (std::size_t i = 0; i < entries.size(); ++i) handles[i] = entries[i].handle;
}

void CFoundObjectSorter::SortRecords(std::vector<std::pair<const FoundObject*, std::int64_t>>& records) const {
  std::vector<Entry> entries;
  entries.reserve(records.size());
  for (const auto& [r, h] : records) entries.push_back(MakeEntry(r, h));
  SortEntries(entries);
  for (std::size_t i = 0; i < entries.size(); ++i) records[i] = {entries[i].record, entries[i].handle};
}

void CFoundObjectSorter::MergeTail(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles,
                                   std::size_t sorted, std::vector<std::size_t>* newRows) const {
  if (newRows) newRows->clear();
  sorted = std::min(sorted, handles.size());
  if (sorted == handles.size()) return;
  std::vector<Entry> tail;
  tail.reserve(handles.size() - sorted);
  for (std::size_t i = sorted; i < handles.size(); ++i) tail.push_back(MakeEntry(view.FromHandle(handles[i]), handles[i]));
  SortEntries(tail);
  // Where each new handle goes among the sorted ones.
  std::vector<std::size_t> at(tail.size());
  std::size_t from = 0;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    auto pos = std::upper_bound(handles.begin() + std::ptrdiff_t(from), handles.begin() + std::ptrdiff_t(sorted),
                                tail[i], [&](const Entry& x, std::int64_t h) {
                                  return EntryLess(x, MakeEntry(view.FromHandle(h), h));
                                });
    at[i] = std::size_t(pos - handles.begin());
    from = at[i];
  }
  std::vector<std::int64_t> merged;
  merged.reserve(handles.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    merged.insert(merged.end(), handles.begin() + std::ptrdiff_t(next), handles.begin() + std::ptrdiff_t(at[i]));
    next = at[i];
    if (newRows) newRows->push_back(merged.size());
    merged.push_back(tail[i].handle);
  }
  merged.insert(merged.end(), handles.begin() + std::ptrdiff_t(next), handles.begin() + std::ptrdiff_t(sorted));
  handles = std::move(merged);
}
