#pragma once
// CObjectDataPages: the hex view's pages of the object the data viewer shows. It
// keeps the pages that have arrived (the last kMaxPages to arrive), asks its reader for
// the shown pages it lacks, and drops pages of an object it no longer shows.
//
// Owned (shared) by the data viewer and its hex view; GUI thread only.

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <vector>

#include "controls/HexPageProvider.h"

class CObjectDataPages : public IHexPageProvider {
 public:
  static constexpr std::size_t kMaxPages = 256;
  // Asks for pages first..last (the reader's WantPages).
  using Request = std::function<void(std::uint64_t first, std::uint64_t last)>;

  explicit CObjectDataPages(Request request);

  // A new object: every page is dropped; pages of other generations are refused.
  void Reset(std::uint64_t generation, std::uint64_t size);
  // A page from the reader; false when it belongs to another object.
  bool Deliver(std::uint64_t generation, std::uint64_t index, std::vector<std::uint8_t> bytes);
  std::size_t CachedPages() const { return pages_.size(); }
  std::uint64_t Size() const { return size_; }

  // IHexPageProvider
  const std::uint8_t* Page(std::uint64_t index) override;
  void Want(std::uint64_t firstPage, std::uint64_t lastPage) override;

 private:
  Request request_;
  std::uint64_t generation_ = 0;
  std::uint64_t size_ = 0;
  std::map<std::uint64_t, std::vector<std::uint8_t>> pages_;
  std::list<std::uint64_t> arrivals_;  // newest first: the oldest go first
  bool asked_ = false;
  std::uint64_t askedFirst_ = 0;
  std::uint64_t askedLast_ = 0;
};
