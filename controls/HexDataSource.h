#pragma once
// The bytes a hex editor shows and edits in place: either a caller's buffer
// (never freed here; the caller keeps it alive and unchanged while it is shown) or
// a regular file mapped into memory, shared and writable while the editor may
// edit it, read-only otherwise, so that nothing a read-only editor shows can be
// written through it. Offsets and sizes are 64-bit.
//
// Owner: the hex editor. GUI thread only. Qt-free.

#include <cstdint>
#include <string>

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

  // Unmaps a file and closes it; forgets a buffer (which stays the caller's).
  void Close();

  bool IsOpen() const { return m_memory || m_data != nullptr; }
  bool IsMemory() const { return m_memory; }
  bool IsWritable() const { return m_memory || m_writable; }
  std::uint8_t* GetData() const { return m_data; }
  std::uint64_t GetSize() const { return m_size; }
  // The mapped file's descriptor, or -1.
  int GetFileHandle() const { return m_fd; }
  const std::string& GetPath() const { return m_path; }

 private:
  void Swap(CHexDataSource& other) noexcept;

  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::uint8_t* m_data = nullptr;
  bool m_memory = false;
  bool m_writable = false;  // the file's mapping allows writing
  std::string m_path;
};
