#include "engine/fs/BitArray.h"

#include <bit>
#include <cstring>
#include <new>

namespace {
// Larger than any clusters bitmap (2^40 bytes covers 2^43 clusters): a count beyond
// it comes from damaged data and is refused rather than allocated.
constexpr std::uint64_t kMaxBytes = std::uint64_t(1) << 40;
}  // namespace

CBitArray::CBitArray(std::uint64_t bits, bool fill) { Attach(nullptr, bits, fill); }

CBitArray::CBitArray(std::uint8_t* buffer, std::uint64_t bits, bool fill) { Attach(buffer, bits, fill); }

CBitArray::~CBitArray() { Release(); }

void CBitArray::Release() {
  if (ownsData_) delete[] data_;
  data_ = nullptr;
  ownsData_ = false;
  byteCount_ = bitCount_ = 0;
}

bool CBitArray::Attach(std::uint8_t* buffer, std::uint64_t bits, bool fill) {
  Release();
  if (bits == 0 || bits > kMaxBytes * 8) return false;
  const std::uint64_t bytes = (bits + 7) / 8;
  if (buffer) {
    data_ = buffer;
  } else {
    data_ = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)];
    if (!data_) return false;
    ownsData_ = true;
  }
  byteCount_ = bytes;
  bitCount_ = bytes * 8;
  Fill(fill);
  return true;
}

void CBitArray::Fill(bool value) {
  if (data_) std::memset(data_, value ? 0xFF : 0x00, static_cast<std::size_t>(byteCount_));
}

int CBitArray::GetBit(std::int64_t i) const {
  if (!data_ || i < 0 || std::uint64_t(i) / 8 >= byteCount_) return 0;
  return (data_[std::uint64_t(i) / 8] >> (std::uint64_t(i) % 8)) & 1;
}

int CBitArray::SetBit(std::int64_t i, bool value) {
  if (!data_) return 0;
  if (i < 0 || std::uint64_t(i) / 8 >= byteCount_) return 1;
  const std::uint8_t mask = std::uint8_t(1u << (std::uint64_t(i) % 8));
  std::uint8_t& b = data_[std::uint64_t(i) / 8];
  b = value ? std::uint8_t(b | mask) : std::uint8_t(b & ~mask);
  return 1;
}

std::int64_t CBitArray::Find(std::int64_t start, bool value) const {
  if (!data_ || start < 0 || std::uint64_t(start) >= bitCount_) return -1;
  const std::uint8_t skip = value ? 0x00 : 0xFF;  // bytes with no matching bit
  std::uint64_t i = std::uint64_t(start);
  // The rest of the first byte bit by bit, then whole bytes (8 at a time where the
  // bytes are aligned), then the bits of the byte that holds the match.
  while (i % 8 && i < bitCount_) {
    if (GetBit(std::int64_t(i)) == int(value)) return std::int64_t(i);
    ++i;
  }
  std::uint64_t byte = i / 8;
  const std::uint64_t skipWord = value ? 0 : ~std::uint64_t(0);
  while (byte < byteCount_ && byte % 8) {
    if (data_[byte] != skip) break;
    ++byte;
  }
  if (byte < byteCount_ && data_[byte] == skip) {
    while (byte + 8 <= byteCount_) {
      std::uint64_t w;
      std::memcpy(&w, data_ + byte, 8);
      if (w != skipWord) break;
      byte += 8;
    }
    while (byte < byteCount_ && data_[byte] == skip) ++byte;
  }
  if (byte >= byteCount_) return -1;
  const std::uint8_t b = value ? data_[byte] : std::uint8_t(~data_[byte]);
  return std::int64_t(byte * 8 + std::uint64_t(std::countr_zero(b)));
}

std::u16string CBitArray::ToText() const {
  std::u16string out;
  if (!data_) return out;
  out.reserve(static_cast<std::size_t>(bitCount_));
  for (std::uint64_t i = 0; i < bitCount_; ++i) out.push_back(GetBit(std::int64_t(i)) ? u'1' : u'0');
  return out;
}

int CBitArray::BitIndexOfMask(std::uint8_t mask) {
  if (!std::has_single_bit(mask)) return -1;
  return std::countr_zero(mask);
}
