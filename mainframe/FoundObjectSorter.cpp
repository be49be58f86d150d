#include "mainframe/FoundObjectSorter.h"

#include <QChar>

#include <algorithm>
#include <utility>

namespace {

inline char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;  // surrogates compare as they are
  return static_cast<char16_t>(QChar::toCaseFolded(static_cast<char32_t>(c)));
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

bool CFoundObjectSorter::Less(const FoundObject* a, const FoundObject* b) const {
  if (!a || !b) return a && !b;  // unresolved handles last
  const bool fa = a->IsFolder(), fb = b->IsFolder();
  if (fa != fb) return fa;
  int c = 0;
  switch (key_) {
    case kBySize:
      // descending 0: the larger first.
      if (a->size != b->size) c = a->size > b->size ? -1 : 1;
      break;
    case kByDate:
      if (a->created != b->created) c = a->created > b->created ? -1 : 1;
      break;
    default:
      c = CompareNames(a->Name(), b->Name());
      break;
  }
  if (c != 0) return descending_ ? c > 0 : c < 0;
  return a->storeIndex < b->storeIndex;  // equal keys: store order
}

void CFoundObjectSorter::SortAll(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles) const {
  std::vector<std::pair<const FoundObject*, std::int64_t>> resolved;
  resolved.reserve(handles.size());
  for (std::int64_t h : handles) resolved.emplace_back(view.FromHandle(h), h);
  std::sort(resolved.begin(), resolved.end(), [this](const auto& x, const auto& y) {
    if (x.first == y.first) return x.second < y.second;
    return Less(x.first, y.first);
  });
  for (std::size_t i = 0; i < resolved.size(); ++i) handles[i] = resolved[i].second;
}

void CFoundObjectSorter::MergeTail(const FoundObjectStore::ReadView& view, std::vector<std::int64_t>& handles,
                                   std::size_t sorted, std::vector<std::size_t>* newRows) const {
  if (newRows) newRows->clear();
  sorted = std::min(sorted, handles.size());
  if (sorted == handles.size()) return;
  std::vector<std::int64_t> tail(handles.begin() + std::ptrdiff_t(sorted), handles.end());
  SortAll(view, tail);
  if (sorted == 0) {
    handles = std::move(tail);
    if (newRows)
      for (std::size_t i = 0; i < handles.size(); ++i) newRows->push_back(i);
    return;
  }
  // Where each new handle goes among the sorted ones (after equal keys).
  std::vector<std::size_t> at(tail.size());
  std::size_t from = 0;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const FoundObject* r = view.FromHandle(tail[i]);
    auto pos = std::upper_bound(handles.begin() + std::ptrdiff_t(from), handles.begin() + std::ptrdiff_t(sorted), r,
                                [&](const FoundObject* x, std::int64_t h) {
                                  const FoundObject* y = view.FromHandle(h);
                                  if (x == y) return false;
                                  return Less(x, y);
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
    merged.push_back(tail[i]);
  }
  merged.insert(merged.end(), handles.begin() + std::ptrdiff_t(next), handles.begin() + std::ptrdiff_t(sorted));
  handles = std::move(merged);
}
