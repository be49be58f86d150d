#include "engine/SectorBuffer.h"

#include <cstdlib>
#include <cstring>

struct SectorBuffer::Memory {
  explicit Memory(std::size_t n) : size(n) {
    const std::size_t rounded = (n + kAlign - 1) / kAlign * kAlign;
    bytes = static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, rounded ? rounded : kAlign));
    if (bytes)
      std::memset(bytes, 0, n);
    else
      size = 0;
  }
  ~Memory() { std::free(bytes); }
  Memory(const Memory&) = delete;
  Memory& operator=(const Memory&) = delete;

  static constexpr std::size_t kAlign = 4096;
  std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
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
