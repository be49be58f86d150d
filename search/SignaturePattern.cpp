#include "search/SignaturePattern.h"

#include <algorithm>
#include <cstring>

using platform::Bytes;

namespace {

// The number of search positions: i < kSearchWindow - length, and the data must lie
// whole inside the window.
std::size_t SearchPositions(std::size_t windowSize, std::size_t length) {
  if (length >= kSearchWindow) return 0;
  std::size_t positions = kSearchWindow - length;
  if (windowSize < length) return 0;
  return std::min(positions, windowSize - length + 1);
}

std::size_t ValueWidth(std::int32_t kind) {
  switch (kind) {
    case PATTERN_BYTE: return 1;
    case PATTERN_WORD: return 2;
    case PATTERN_DWORD: return 4;
    case PATTERN_QWORD: return 8;
    default: return 0;
  }
}

}  // namespace

bool SearchBytes(Bytes window, Bytes data) {
  std::size_t positions = SearchPositions(window.size(), data.size());
  if (positions == 0) return false;
  if (data.empty()) return true;
  const std::uint8_t* base = window.data();
  const std::uint8_t first = data[0];
  std::size_t i = 0;
  while (i < positions) {
    const void* hit = std::memchr(base + i, first, positions - i);
    if (!hit) return false;
    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
    if (std::memcmp(base + i, data.data(), data.size()) == 0) return true;
    ++i;
  }
  return false;
}

bool SearchBytesNoCase(Bytes window, Bytes data) {
  std::size_t positions = SearchPositions(window.size(), data.size());
  if (positions == 0) return false;
  if (data.empty()) return true;
  const std::uint8_t* base = window.data();
  const std::uint8_t first = data[0] | 0x20;
  for (std::size_t i = 0; i < positions; ++i) {
    if ((base[i] | 0x20) != first) continue;
    std::size_t j = 1;
    while (j < data.size() && (base[i + j] | 0x20) == (data[j] | 0x20)) ++j;
    if (j == data.size()) return true;
  }
  return false;
}

std::uint16_t SignaturePattern::DefaultLength(std::int32_t kind) {
  switch (kind) {
    case PATTERN_BYTE: return 1;
    case PATTERN_WORD: return 2;
    case PATTERN_DWORD: return 4;
    case PATTERN_QWORD: return 8;
    case PATTERN_MASKED:
    case PATTERN_MASKED_ALT: return 1024;
    default: return 0;
  }
}

SignaturePattern SignaturePattern::Build(std::int32_t kind, Bytes data, std::int32_t offset, std::uint16_t length,
                                         std::uint16_t repeat) {
  if (length == 0) length = DefaultLength(kind);
  SignaturePattern p;
  p.blob_.assign(kHeaderSize + length, 0);
  platform::LeWriter w(p.blob_);
  w.I32(0, kind);
  w.I32(4, static_cast<std::int32_t>(kHeaderSize + length));
  w.I32(8, offset);
  w.U16(12, repeat);
  w.U16(14, length);
  std::size_t n = std::min<std::size_t>(length, data.size());
  if (n) std::memcpy(p.blob_.data() + kHeaderSize, data.data(), n);
  p.CacheFields();
  return p;
}

bool SignaturePattern::LoadFromBlob(Bytes bytes, std::u16string* why) {
  auto fail = [&](const char16_t* text) {
    if (why) *why = text;
    return false;
  };
  platform::LeView v(bytes);
  if (bytes.size() < kHeaderSize) return fail(u"a signature pattern is cut short");
  std::int32_t size = v.I32(4);
  std::uint16_t length = v.U16(14);
  if (size < static_cast<std::int32_t>(kHeaderSize)) return fail(u"a signature pattern's size is under 32 bytes");
  if (static_cast<std::size_t>(size) > bytes.size()) return fail(u"a signature pattern runs past its signature");
  if (length > static_cast<std::size_t>(size) - kHeaderSize)
    return fail(u"a signature pattern's data is longer than its size");
  blob_.assign(bytes.begin(), bytes.begin() + size);
  CacheFields();
  return true;
}

void SignaturePattern::CacheFields() {
  platform::LeView v(blob_);
  kind_ = v.I32(0);
  offset_ = v.I32(8);
  repeat_ = v.U16(12);
  length_ = v.U16(14);
}

bool SignaturePattern::SetLength(std::uint16_t length) {
  if (length > blob_.size() - kHeaderSize) return false;
  platform::LeWriter(blob_).U16(14, length);
  length_ = length;
  return true;
}

void SignaturePattern::SetKind(std::int32_t kind) {
  platform::LeWriter(blob_).I32(0, kind);
  kind_ = kind;
}

bool SignaturePattern::TestsBytes(std::int32_t kind) {
  switch (kind) {
    case PATTERN_BYTE:
    case PATTERN_WORD:
    case PATTERN_DWORD:
    case PATTERN_QWORD:
    case PATTERN_BYTE_RANGE:
    case PATTERN_WORD_RANGE:
    case PATTERN_BYTES:
    case PATTERN_SEARCH:
    case PATTERN_SEARCH_NOCASE:
    case PATTERN_MASKED:
      return true;
    default:
      return false;
  }
}

bool SignaturePattern::Holds(Bytes c) const {
  if (!TestsBytes(kind_)) return true;  // PATTERN_MASKED_ALT and unknown kinds test nothing
  if (offset_ < 0) return false;
  const std::size_t off = static_cast<std::size_t>(offset_);
  if (off > c.size()) return false;
  const std::uint8_t* p = c.data() + off;
  const std::size_t avail = c.size() - off;
  const std::uint8_t* data = blob_.data() + kHeaderSize;
  const std::size_t steps = std::size_t(repeat_) + 1;

  switch (kind_) {
    case PATTERN_BYTE:
    case PATTERN_WORD:
    case PATTERN_DWORD:
    case PATTERN_QWORD: {
      const std::size_t w = ValueWidth(kind_);
      if (length_ < w || avail < w || avail - w < repeat_) return false;
      for (std::size_t r = 0; r < steps; ++r)
        if (std::memcmp(p + r, data, w) != 0) return false;
      return true;
    }
    case PATTERN_BYTE_RANGE: {
      if (length_ < 2 || avail < steps) return false;
      for (std::size_t r = 0; r < steps; ++r)
        if (p[r] < data[0] || p[r] > data[1]) return false;
      return true;
    }
    case PATTERN_WORD_RANGE: {
      if (length_ < 4 || avail < 2 || avail - 2 < repeat_) return false;
      const unsigned lo = data[0] | (data[1] << 8);
      const unsigned hi = data[2] | (data[3] << 8);
      for (std::size_t r = 0; r < steps; ++r) {
        const unsigned v = p[r] | (p[r + 1] << 8);
        if (v < lo || v > hi) return false;
      }
      return true;
    }
    case PATTERN_BYTES: return length_ <= avail && (length_ == 0 || std::memcmp(p, data, length_) == 0);
    case PATTERN_SEARCH: return SearchBytes(Bytes(p, avail), Bytes(data, length_));
    case PATTERN_SEARCH_NOCASE: return SearchBytesNoCase(Bytes(p, avail), Bytes(data, length_));
    case PATTERN_MASKED: {
      const std::size_t half = length_ / 2;
      if (half > avail) return false;
      const std::uint8_t* mask = blob_.data() + kHeaderSize + (blob_.size() - kHeaderSize) / 2;
      // Bit by bit: only the bits the mask sets are compared (a mask byte of 0xFF
      // compares the whole byte, 0x00 nothing).
      for (std::size_t j = 0; j < half; ++j)
        if (((p[j] ^ data[j]) & mask[j]) != 0) return false;
      return true;
    }
  }
  return true;
}

bool SignaturePattern::FixedBytes(std::int32_t& offset, Bytes& bytes) const {
  if (offset_ < 0) return false;
  std::size_t n = 0;
  if (kind_ == PATTERN_BYTES) {
    n = length_;
  } else {
    n = ValueWidth(kind_);
    if (n == 0 || length_ < n) return false;
  }
  offset = offset_;
  bytes = Bytes(blob_).subspan(kHeaderSize, n);
  return true;
}
