#pragma once
// IHexPageProvider: bytes a hex editor shows but does not hold: data too large or
// too slow to read at once (a found object on a disk). The editor asks for the
// pages it shows (Want) and shows a page's bytes once it has arrived (Page); the
// provider fetches them as it likes, off the user-interface thread, and repaints
// the editor when a page arrives. Such data is read-only.
//
// GUI thread only (the provider's own workers are its business).

#include <cstdint>

class IHexPageProvider {
 public:
  // Bytes per page; page n holds the bytes from n x kPageSize on.
  static constexpr std::uint64_t kPageSize = 4096;

  virtual ~IHexPageProvider() = default;
  // The bytes of page `index` (kPageSize of them, fewer for the last page), or
  // null while it has not arrived. Valid until the next call on the provider.
  virtual const std::uint8_t* Page(std::uint64_t index) = 0;
  // The editor shows pages first..last now.
  virtual void Want(std::uint64_t firstPage, std::uint64_t lastPage) = 0;
};
