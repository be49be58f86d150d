#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ReadFileStatus ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
  out.clear();
  // O_NONBLOCK keeps a FIFO or device node from blocking the open; it is refused below.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return ReadFileStatus::CannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadFileStatus::NotAFile;
  }
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return ReadFileStatus::TooLarge;
  }
  std::vector<std::uint8_t> data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t chunk[65536];
  while (true) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadFileStatus::ReadError;
    }
    if (n == 0) break;
    // The file may have grown since fstat.
    if (static_cast<std::size_t>(n) > maxBytes - data.size()) {
      ::close(fd);
      return ReadFileStatus::TooLarge;
    }
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  out = std::move(data);
  return ReadFileStatus::Ok;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool WriteWholeFile(const std::string& path, Bytes data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size());
  return ::close(fd) == 0 && ok;
}

}  // namespace platform
