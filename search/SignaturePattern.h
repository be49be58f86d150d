#pragma once
// One test of a signature: a kind, an offset from the candidate's start, a repeat
// count and its data. Its stored form, the pattern blob (little-endian):
//
//   0  i32 kind         4  i32 size (32 + data bytes, or more)
//   8  i32 offset      12  u16 repeat      14  u16 length (data bytes)
//  16  16 reserved bytes                   32  data
//
// The blob is kept whole, so it serialises to exactly the bytes it was loaded from.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

enum PatternKind : std::int32_t {
  PATTERN_BYTE = 1,
  PATTERN_WORD = 2,
  PATTERN_DWORD = 4,
  PATTERN_QWORD = 8,
  PATTERN_BYTE_RANGE = 16,
  PATTERN_WORD_RANGE = 32,
  PATTERN_BYTES = 256,
  PATTERN_SEARCH = 4096,
  PATTERN_SEARCH_NOCASE = 8192,
  PATTERN_MASKED = 0x10000,
  PATTERN_MASKED_ALT = 0x20000,
};

// The search kinds look for their data at the positions i of the candidate, from the
// pattern's offset, with 0 <= i < kSearchWindow - length.
inline constexpr std::size_t kSearchWindow = 512;

// The tests of the two search kinds on the bytes from the pattern's offset: true
// when `data` occurs at some position i < kSearchWindow - data.size() that lies
// whole inside `window`. The no-case form compares every byte with 0x20 ORed into
// both sides.
bool SearchBytes(platform::Bytes window, platform::Bytes data);
bool SearchBytesNoCase(platform::Bytes window, platform::Bytes data);

class SignaturePattern {
 public:
  static constexpr std::size_t kHeaderSize = 32;

  // A pattern of `kind` at `offset` with `length` bytes of data (0 takes the kind's
  // default length). Data shorter than the length is padded with zeros.
  static SignaturePattern Build(std::int32_t kind, platform::Bytes data, std::int32_t offset, std::uint16_t length = 0,
                                std::uint16_t repeat = 0);
  // The default data length of a kind built with length 0.
  static std::uint16_t DefaultLength(std::int32_t kind);

  // Checks and takes the pattern blob at the start of `bytes` (exactly `size` bytes
  // of it). False, with the reason, when the blob does not hold together: fewer than
  // 32 bytes, a size under 32 or past the end of `bytes`, or a length over size - 32.
  bool LoadFromBlob(platform::Bytes bytes, std::u16string* why = nullptr);

  std::int32_t kind() const { return kind_; }
  std::int32_t offset() const { return offset_; }
  std::uint16_t repeat() const { return repeat_; }
  std::uint16_t length() const { return length_; }
  std::size_t size() const { return blob_.size(); }
  platform::Bytes blob() const { return blob_; }
  // The data bytes (`length` of them).
  platform::Bytes Data() const { return platform::Bytes(blob_).subspan(kHeaderSize, length_); }
  // The mask of the masked kinds: it starts (size - 32) / 2 bytes into the data.
  platform::Bytes Mask() const {
    std::size_t start = kHeaderSize + (blob_.size() - kHeaderSize) / 2;
    return platform::Bytes(blob_).subspan(start);
  }

  // Editing. The blob's size never changes: the data area (size - 32 bytes) is
  // edited in place, and the length may be set to anything that fits it.
  // The whole data area: for the masked kinds the values, then the mask.
  platform::Bytes Body() const { return platform::Bytes(blob_).subspan(kHeaderSize); }
  platform::MutableBytes MutableBody() { return platform::MutableBytes(blob_).subspan(kHeaderSize); }
  // The halves of the data area that the masked kinds compare: the values (the
  // first (size - 32) / 2 bytes) and the mask (the rest, as Mask() gives it).
  platform::MutableBytes MutableValues() { return MutableBody().first((blob_.size() - kHeaderSize) / 2); }
  platform::MutableBytes MutableMask() { return MutableBody().subspan((blob_.size() - kHeaderSize) / 2); }
  // False (nothing changed) when `length` is longer than the data area.
  bool SetLength(std::uint16_t length);
  void SetKind(std::int32_t kind);

  // The masked kind compares bits: for j below length / 2, (c[j] & mask[j]) must
  // equal (value[j] & mask[j]).
  // True when the pattern holds on `candidate` (the bytes from the candidate's
  // start to the end of what may be read). A pattern that would read before the
  // candidate (negative offset) or past its end, or whose data is shorter than its
  // kind needs, does not hold. Reads nothing outside `candidate`, allocates nothing.
  bool Holds(platform::Bytes candidate) const;
  // True for the kinds that test bytes (and so never hold at a negative offset);
  // PATTERN_MASKED_ALT and unknown kinds test nothing and always hold.
  static bool TestsBytes(std::int32_t kind);

  // For an index over many signatures: the bytes that must stand at a fixed offset
  // of the candidate for this pattern to hold (value kinds and PATTERN_BYTES with a
  // non-negative offset and enough data). False for every other pattern.
  bool FixedBytes(std::int32_t& offset, platform::Bytes& bytes) const;

 private:
  void CacheFields();

  std::vector<std::uint8_t> blob_;
  std::int32_t kind_ = 0;
  std::int32_t offset_ = 0;
  std::uint16_t repeat_ = 0;
  std::uint16_t length_ = 0;
};
