#pragma once
// A plain bit array: bit i is bit (i mod 8) of byte i / 8, least significant bit
// first. Each volume owns one as its clusters bitmap (bit i set = cluster i in use).
// Counts are 64-bit: a large NTFS volume has more than 2^32 clusters.

#include <cstddef>
#include <cstdint>
#include <string>

class CBitArray {
 public:
  CBitArray() = default;
  CBitArray(std::uint64_t bits, bool fill);
  // Uses a caller's buffer of at least (bits + 7) / 8 bytes without owning it.
  CBitArray(std::uint8_t* buffer, std::uint64_t bits, bool fill);
  virtual ~CBitArray();
  CBitArray(const CBitArray&) = delete;
  CBitArray& operator=(const CBitArray&) = delete;

  // Frees an owned buffer, then takes `buffer` (not owned) or, when null, allocates
  // (bits + 7) / 8 bytes; fills either with `fill`. False (and an empty array) when
  // there is no buffer, the count is 0 or the allocation fails.
  bool Attach(std::uint8_t* buffer, std::uint64_t bits, bool fill);
  bool Create(std::uint64_t bits, bool fill) { return Attach(nullptr, bits, fill); }
  // Every byte 0xFF when `value`, else 0x00.
  void Fill(bool value);

  // Nonzero when bit i is set; 0 when clear, outside the buffer or without a buffer.
  int GetBit(std::int64_t i) const;
  // Sets or clears bit i; an index outside the buffer does nothing. 0 without a
  // buffer, else 1.
  int SetBit(std::int64_t i, bool value);
  // The first index i, start <= i < BitCount(), whose bit equals `value`; -1 when
  // start is negative or beyond BitCount(), or when no bit matches.
  std::int64_t Find(std::int64_t start, bool value) const;
  // '1' and '0' for every bit; empty without a buffer.
  std::u16string ToText() const;

  // The requested count rounded up to a multiple of 8.
  std::uint64_t BitCount() const { return bitCount_; }
  std::uint64_t ByteCount() const { return byteCount_; }
  std::uint8_t* GetData() { return data_; }
  const std::uint8_t* GetData() const { return data_; }
  bool OwnsData() const { return ownsData_; }
  // The position (0-7) of the single set bit of a one-bit byte mask; -1 otherwise.
  static int BitIndexOfMask(std::uint8_t mask);

 private:
  void Release();
  std::uint8_t* data_ = nullptr;
  std::uint64_t byteCount_ = 0;
  std::uint64_t bitCount_ = 0;
  bool ownsData_ = false;
};
