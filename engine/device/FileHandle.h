#pragma once
// A small owner of a file descriptor (-1 none): closes what it holds.

#include <cstdint>
#include <string>

class CFileHandle {
 public:
  CFileHandle() = default;
  ~CFileHandle() { Close(); }
  CFileHandle(const CFileHandle&) = delete;
  CFileHandle& operator=(const CFileHandle&) = delete;
  CFileHandle(CFileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  CFileHandle& operator=(CFileHandle&& other) noexcept;

  // Closes any descriptor held, then opens `path` with open(2) flags (O_CLOEXEC is
  // always added) and a creation mode. 1 on success, 0 with errno set.
  int Open(const std::string& path, int flags, unsigned mode = 0644);
  void Close();
  // The file's size in bytes (0 when nothing is open).
  std::uint64_t GetSize() const;
  int fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Writes all of `size` bytes at the current position; false on a failed or
  // partial write (errno set).
  bool WriteAll(const void* data, std::size_t size);

 private:
  int fd_ = -1;
};
