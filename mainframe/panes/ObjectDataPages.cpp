#include "mainframe/panes/ObjectDataPages.h"

CObjectDataPages::CObjectDataPages(Request request) : request_(std::move(request)) {}

void CObjectDataPages::Reset(std::uint64_t generation, std::uint64_t size) {
  generation_ = generation;
  size_ = size;
  pages_.clear();
  arrivals_.clear();
  asked_ = false;
}

bool CObjectDataPages::Deliver(std::uint64_t generation, std::uint64_t index, std::vector<std::uint8_t> bytes) {
  if (generation != generation_) return false;
  // A short page (the last one) is padded to a whole page, so reads stay inside it.
  bytes.resize(kPageSize, 0);
  auto it = pages_.find(index);
  if (it != pages_.end()) {
    it->second = std::move(bytes);
    return true;
  }
  arrivals_.push_front(index);
  pages_.emplace(index, std::move(bytes));
  while (pages_.size() > kMaxPages) {
    pages_.erase(arrivals_.back());
    arrivals_.pop_back();
  }
  // What was asked and has arrived may be asked again once it is dropped.
  if (asked_ && index >= askedFirst_ && index <= askedLast_) {
    bool all = true;
    for (std::uint64_t p = askedFirst_; p <= askedLast_ && all; ++p) all = pages_.count(p) != 0;
    if (all) asked_ = false;
  }
  return true;
}

const std::uint8_t* CObjectDataPages::Page(std::uint64_t index) {
  auto it = pages_.find(index);
  return it == pages_.end() ? nullptr : it->second.data();
}

void CObjectDataPages::Want(std::uint64_t firstPage, std::uint64_t lastPage) {
  // Only the pages missing from the shown range are asked for, once.
  while (firstPage <= lastPage && pages_.count(firstPage)) ++firstPage;
  while (lastPage > firstPage && pages_.count(lastPage)) --lastPage;
  if (firstPage > lastPage) return;
  if (asked_ && askedFirst_ == firstPage && askedLast_ == lastPage) return;
  asked_ = true;
  askedFirst_ = firstPage;
  askedLast_ = lastPage;
  if (request_) request_(firstPage, lastPage);
}
