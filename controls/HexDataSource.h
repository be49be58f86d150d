#pragma once
// The bytes a hex editor shows and edits in place: either a caller's buffer
// (never freed here; the caller keeps it alive and unchanged while it is shown), a
// regular file mapped into memory, shared and writable while the editor may
// edit it, read-only otherwise, so that nothing a read-only editor shows can be
// written through it, or pages that a provider fetches (IHexPageProvider), always
// read-only. Offsets and sizes are 64-bit.
//
// Owner: the hex editor. GUI thread only. Qt-free.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/HexPageProvider.h"

class CHexDataSource {
 public:
  CHexDataSource() = default;
  ~CHexDataSource();
  CHexDataSource(const CHexDataSource&) = delete;
  CHexDataSource& operator=(const CHexDataSource&) = delete;
  CHexDataSource(CHexDataSource&& other) noexcept;
  CHexDataSource& operator=(CHexDataSource&& other) noexcept;

  // Shows `size` bytes at `data`, edited in place. Closes what was open.
  void SetMemory(std::uint8_t* data, std::uint64_t size);

  // Maps the file at `path` (a local file-system path): read and write, shared,
  // when `writable`; read-only otherwise. Only a regular, non-empty file is
  // mapped: a device node, a FIFO, a folder or an empty file is refused. On
  // failure returns false and leaves this source as it was.
  bool Open(const std::string& path, bool writable);

  // Maps the open file again, writable or read-only. Returns true when the
  // mapping now has that access; on failure the current mapping stays. A buffer
  // is always writable.
  bool SetWritable(bool writable);

  // Shows `size` bytes that `pages` provides, read-only. Closes what was open.
  void SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size);

  // Unmaps a file and closes it; forgets a buffer (which stays the caller's) and a
  // provider.
  void Close();

  bool IsOpen() const { return m_memory || m_data != nullptr || m_pages != nullptr; }
  bool IsMemory() const { return m_memory; }
  bool IsPaged() const { return m_pages != nullptr; }
  bool IsWritable() const { return m_memory || m_writable; }
  // Null for paged data: read it through ByteAt.
  std::uint8_t* GetData() const { return m_data; }
  // The byte at `offset` (< size); 0 for a page that has not arrived.
  std::uint8_t ByteAt(std::uint64_t offset) const {
    if (m_data) return m_data[offset];
    return PagedByte(offset);
  }
  // Whether the byte at `offset` is there to show (a page that has not arrived is not).
  bool IsAvailable(std::uint64_t offset) const;
  // Tells a provider which bytes are shown; nothing for other sources.
  void Want(std::uint64_t first, std::uint64_t last) const;
  std::uint64_t GetSize() const { return m_size; }
  // The mapped file's descriptor, or -1.
  int GetFileHandle() const { return m_fd; }
  const std::string& GetPath() const { return m_path; }

 private:
  void Swap(CHexDataSource& other) noexcept;
  std::uint8_t PagedByte(std::uint64_t offset) const;

  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::uint8_t* m_data = nullptr;
  bool m_memory = false;
  bool m_writable = false;  // the file's mapping allows writing
  std::string m_path;
  std::shared_ptr<IHexPageProvider> m_pages;
};
