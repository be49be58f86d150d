#include "engine/device/SectorBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

struct SectorBuffer::Memory {
  explicit Memory(std::size_t n) : size(n) {
    const std::size_t rounded = (n + kAlign - 1) / kAlign * kAlign;
    if (rounded >= kMapped) {
      // Large buffers come from the kernel already zero: nothing is written here,
      // and each page is first touched by whoever reads into it (for the search,
      // several threads at once) instead of by the thread that allocates.
      void* p = ::mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p != MAP_FAILED) {
        bytes = static_cast<std::uint8_t*>(p);
        mapped = rounded;
        return;
      }
      size = 0;
      return;
    }
    bytes = static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, rounded ? rounded : kAlign));
    if (bytes)
      std::memset(bytes, 0, n);
    else
      size = 0;
  }
  ~Memory() {
    if (mapped)
      ::munmap(bytes, mapped);
    else
      std::free(bytes);
  }
  Memory(const Memory&) = delete;
  Memory& operator=(const Memory&) = delete;

  static constexpr std::size_t kAlign = 4096;
  static constexpr std::size_t kMapped = 256 * 1024;
  std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  std::size_t mapped = 0;  // bytes mapped (0: from the heap)
};

SectorBuffer::SectorBuffer(std::size_t bytes) {
  if (bytes == 0) return;
  auto m = std::make_shared<Memory>(bytes);
  if (m->bytes) memory_ = std::move(m);
}

std::uint8_t* SectorBuffer::data() const { return memory_ ? memory_->bytes : nullptr; }

std::size_t SectorBuffer::size() const { return memory_ ? memory_->size : 0; }

void SectorBuffer::Renew() {
  const std::size_t n = size();
  memory_.reset();
  if (n) *this = SectorBuffer(n);
}
