#pragma once
// A signature: a list of patterns that must all hold on a candidate. Its stored
// form, the signature blob (little-endian):
//
//   0  reserved     4  u32 total size (20 + the pattern blobs)
//   8  reserved    12  reserved        16  u32 pattern count
//  20  the pattern blobs, one after the other
//
// The 20-byte header is kept as it was loaded (reserved fields included); its size
// and count always describe the patterns held.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "search/SignaturePattern.h"

class Signature {
 public:
  static constexpr std::size_t kHeaderSize = 20;

  Signature();

  // Appends a pattern built as SignaturePattern::Build does. The reference stays
  // valid until the next pattern is added.
  const SignaturePattern& AddPattern(std::int32_t kind, platform::Bytes data, std::int32_t offset,
                                     std::uint16_t length = 0, std::uint16_t repeat = 0);
  // Appends a pattern and updates the count and total size. False (nothing added)
  // when the total would no longer fit the blob's 32-bit size field.
  bool AppendPattern(SignaturePattern pattern);

  // Checks and takes the signature blob at the start of `bytes`: its header, then as
  // many pattern blobs as its count says, which must fill its total size exactly.
  // False, with the reason, when it does not hold together; nothing is kept then.
  bool LoadFromBlob(platform::Bytes bytes, std::u16string* why = nullptr);

  // The blob's size, and the blob itself. SerializeInto writes nothing and returns
  // false when `out` is smaller than SerializedSize().
  std::size_t SerializedSize() const { return total_; }
  bool SerializeInto(platform::MutableBytes out) const;
  std::vector<std::uint8_t> Serialize() const;

  // True when every pattern holds on `candidate` (the bytes from the candidate's
  // start to the end of what may be read); the first failing pattern ends the test.
  // A signature without patterns always holds.
  bool Match(platform::Bytes candidate) const {
    for (const SignaturePattern& p : patterns_)
      if (!p.Holds(candidate)) return false;
    return true;
  }

  std::size_t PatternCount() const { return patterns_.size(); }
  const SignaturePattern& GetPattern(std::size_t index) const { return patterns_[index]; }
  const std::vector<SignaturePattern>& Patterns() const { return patterns_; }
  // A pattern to edit in place. Pattern edits keep each blob's size, so the
  // signature's total size stays right.
  SignaturePattern& MutablePattern(std::size_t index) { return patterns_[index]; }

 private:
  void RefreshHeader();

  std::uint8_t header_[kHeaderSize] = {};
  std::vector<SignaturePattern> patterns_;
  std::size_t total_ = kHeaderSize;
};
