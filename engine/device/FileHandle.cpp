#include "engine/device/FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/WholeFile.h"

CFileHandle& CFileHandle::operator=(CFileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int CFileHandle::Open(const std::string& path, int flags, unsigned mode) {
  Close();
  fd_ = open(path.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
  return fd_ >= 0 ? 1 : 0;
}

void CFileHandle::Close() {
  if (fd_ >= 0) {
    int saved = errno;
    close(fd_);
    errno = saved;
  }
  fd_ = -1;
}

std::uint64_t CFileHandle::GetSize() const {
  struct stat st{};
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

bool CFileHandle::WriteAll(const void* data, std::size_t size) { return platform::WriteAll(fd_, data, size); }
