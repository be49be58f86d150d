#pragma once
// Little-endian field access over byte spans. Every read checks its bounds:
// on-disk and stored layouts are read field by field, never by casting buffers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace platform {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// True when [offset, offset + length) lies inside a buffer of `size` bytes (no overflow).
constexpr bool InBounds(std::size_t size, std::size_t offset, std::size_t length) {
  return offset <= size && length <= size - offset;
}

// Reads an unsigned little-endian value of sizeof(T) bytes; false when out of bounds.
template <typename T>
bool ReadLE(Bytes data, std::size_t offset, T& out) {
  static_assert(sizeof(T) <= 8);
  if (!InBounds(data.size(), offset, sizeof(T))) return false;
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t(data[offset + i]) << (8 * i);
  out = static_cast<T>(v);
  return true;
}

// Writes a little-endian value of sizeof(T) bytes; false when out of bounds.
template <typename T>
bool WriteLE(MutableBytes data, std::size_t offset, T value) {
  static_assert(sizeof(T) <= 8);
  if (!InBounds(data.size(), offset, sizeof(T))) return false;
  auto v = static_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) data[offset + i] = std::uint8_t(v >> (8 * i));
  return true;
}

// A read-only view that answers 0 for a field outside the buffer and remembers that
// it did, so a parser can read a whole header and check ok() once.
class LeView {
 public:
  LeView() = default;
  explicit LeView(Bytes data) : data_(data) {}
  LeView(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data), size) {}

  std::uint8_t U8(std::size_t off) const { return Get<std::uint8_t>(off); }
  std::uint16_t U16(std::size_t off) const { return Get<std::uint16_t>(off); }
  std::uint32_t U32(std::size_t off) const { return Get<std::uint32_t>(off); }
  std::uint64_t U64(std::size_t off) const { return Get<std::uint64_t>(off); }
  std::int8_t I8(std::size_t off) const { return static_cast<std::int8_t>(U8(off)); }
  std::int16_t I16(std::size_t off) const { return static_cast<std::int16_t>(U16(off)); }
  std::int32_t I32(std::size_t off) const { return static_cast<std::int32_t>(U32(off)); }
  std::int64_t I64(std::size_t off) const { return static_cast<std::int64_t>(U64(off)); }

  // Copies `length` bytes at `off` into `out`; false (and nothing copied) when out of bounds.
  bool Copy(std::size_t off, void* out, std::size_t length) const {
    if (!Has(off, length)) {
      ok_ = false;
      return false;
    }
    if (length) std::memcpy(out, data_.data() + off, length);
    return true;
  }
  // The sub-span at `off`; empty (and not ok) when out of bounds.
  Bytes Sub(std::size_t off, std::size_t length) const {
    if (!Has(off, length)) {
      ok_ = false;
      return {};
    }
    return data_.subspan(off, length);
  }
  bool Has(std::size_t off, std::size_t length) const { return InBounds(data_.size(), off, length); }
  bool Equals(std::size_t off, const void* bytes, std::size_t length) const {
    return Has(off, length) && std::memcmp(data_.data() + off, bytes, length) == 0;
  }

  std::size_t size() const { return data_.size(); }
  Bytes bytes() const { return data_; }
  bool ok() const { return ok_; }

 private:
  template <typename T>
  T Get(std::size_t off) const {
    T v{};
    if (!ReadLE(data_, off, v)) ok_ = false;
    return v;
  }
  Bytes data_;
  mutable bool ok_ = true;
};

// A writable view; a field outside the buffer is not written and clears ok().
class LeWriter {
 public:
  explicit LeWriter(MutableBytes data) : data_(data) {}
  LeWriter(void* data, std::size_t size) : data_(static_cast<std::uint8_t*>(data), size) {}

  void U8(std::size_t off, std::uint8_t v) { Put(off, v); }
  void U16(std::size_t off, std::uint16_t v) { Put(off, v); }
  void U32(std::size_t off, std::uint32_t v) { Put(off, v); }
  void U64(std::size_t off, std::uint64_t v) { Put(off, v); }
  void I16(std::size_t off, std::int16_t v) { Put(off, static_cast<std::uint16_t>(v)); }
  void I32(std::size_t off, std::int32_t v) { Put(off, static_cast<std::uint32_t>(v)); }
  void I64(std::size_t off, std::int64_t v) { Put(off, static_cast<std::uint64_t>(v)); }
  void Copy(std::size_t off, const void* src, std::size_t length) {
    if (!InBounds(data_.size(), off, length)) {
      ok_ = false;
      return;
    }
    if (length) std::memcpy(data_.data() + off, src, length);
  }
  void Fill(std::size_t off, std::uint8_t value, std::size_t length) {
    if (!InBounds(data_.size(), off, length)) {
      ok_ = false;
      return;
    }
    if (length) std::memset(data_.data() + off, value, length);
  }
  bool ok() const { return ok_; }
  std::size_t size() const { return data_.size(); }

 private:
  template <typename T>
  void Put(std::size_t off, T v) {
    if (!WriteLE(data_, off, v)) ok_ = false;
  }
  MutableBytes data_;
  bool ok_ = true;
};

}  // namespace platform
