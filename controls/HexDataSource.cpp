#include "controls/HexDataSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <utility>

CHexDataSource::~CHexDataSource() { Close(); }

CHexDataSource::CHexDataSource(CHexDataSource&& other) noexcept { Swap(other); }

CHexDataSource& CHexDataSource::operator=(CHexDataSource&& other) noexcept {
  if (this != &other) {
    Close();
    Swap(other);
  }
  return *this;
}

void CHexDataSource::Swap(CHexDataSource& other) noexcept {
  std::swap(m_fd, other.m_fd);
  std::swap(m_size, other.m_size);
  std::swap(m_data, other.m_data);
  std::swap(m_memory, other.m_memory);
  std::swap(m_writable, other.m_writable);
  std::swap(m_path, other.m_path);
  std::swap(m_pages, other.m_pages);
}

void CHexDataSource::SetMemory(std::uint8_t* data, std::uint64_t size) {
  Close();
  m_memory = true;
  m_data = data;
  m_size = data ? size : 0;
}

void CHexDataSource::SetPages(std::shared_ptr<IHexPageProvider> pages, std::uint64_t size) {
  Close();
  m_pages = std::move(pages);
  m_size = m_pages ? size : 0;
}

std::uint8_t CHexDataSource::PagedByte(std::uint64_t offset) const {
  if (!m_pages) return 0;
  const std::uint8_t* page = m_pages->Page(offset / IHexPageProvider::kPageSize);
  return page ? page[offset % IHexPageProvider::kPageSize] : 0;
}

bool CHexDataSource::IsAvailable(std::uint64_t offset) const {
  if (!m_pages) return IsOpen() && offset < m_size;
  return offset < m_size && m_pages->Page(offset / IHexPageProvider::kPageSize) != nullptr;
}

void CHexDataSource::Want(std::uint64_t first, std::uint64_t last) const {
  if (!m_pages || m_size == 0) return;
  last = std::min(last, m_size - 1);
  if (first > last) return;
  m_pages->Want(first / IHexPageProvider::kPageSize, last / IHexPageProvider::kPageSize);
}

namespace {

// Opens and maps a regular file; false with nothing left open on any failure.
bool MapFile(const std::string& path, bool writable, int& fdOut, std::uint8_t*& dataOut, std::uint64_t& sizeOut) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer before it is refused.
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<std::uint64_t>(st.st_size) > std::numeric_limits<std::size_t>::max()) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  void* view = ::mmap(nullptr, static_cast<std::size_t>(size), writable ? PROT_READ | PROT_WRITE : PROT_READ,
                      MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  fdOut = fd;
  dataOut = static_cast<std::uint8_t*>(view);
  sizeOut = size;
  return true;
}

}  // namespace

bool CHexDataSource::Open(const std::string& path, bool writable) {
  CHexDataSource opened;
  if (!MapFile(path, writable, opened.m_fd, opened.m_data, opened.m_size)) return false;
  opened.m_writable = writable;
  opened.m_path = path;
  *this = std::move(opened);
  return true;
}

bool CHexDataSource::SetWritable(bool writable) {
  if (m_memory) return true;
  if (m_pages) return !writable;
  if (!IsOpen()) return false;
  if (m_writable == writable) return true;
  // Reopened through the open descriptor, so that it is the same file even when
  // its name has been taken by another one since.
  CHexDataSource reopened;
  if (!MapFile("/proc/self/fd/" + std::to_string(m_fd), writable, reopened.m_fd, reopened.m_data, reopened.m_size)) {
    if (writable) return false;
    // Write access can always be dropped in place.
    if (::mprotect(m_data, static_cast<std::size_t>(m_size), PROT_READ) != 0) return false;
    m_writable = false;
    return true;
  }
  reopened.m_writable = writable;
  reopened.m_path = m_path;
  *this = std::move(reopened);
  return true;
}

void CHexDataSource::Close() {
  if (!m_memory && m_data) ::munmap(m_data, static_cast<std::size_t>(m_size));
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_data = nullptr;
  m_size = 0;
  m_memory = false;
  m_writable = false;
  m_path.clear();
  m_pages.reset();
}
