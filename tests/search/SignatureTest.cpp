// Signature patterns of every kind, holding and failing at the edges of the bytes
// they may read, and the signature blob.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "search/Signature.h"
#include "search/SignaturePattern.h"

using platform::Bytes;
using namespace std::literals;

namespace {

std::vector<std::uint8_t> V(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> out;
  for (int b : bytes) out.push_back(std::uint8_t(b));
  return out;
}
std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

// A candidate of `size` bytes filled with `fill`, with `bytes` placed at `at`.
std::vector<std::uint8_t> Candidate(std::size_t size, std::size_t at, const std::vector<std::uint8_t>& bytes,
                                    std::uint8_t fill = 0xEE) {
  std::vector<std::uint8_t> c(size, fill);
  for (std::size_t i = 0; i < bytes.size() && at + i < size; ++i) c[at + i] = bytes[i];
  return c;
}

// The candidate as a heap block of exactly its size, so that AddressSanitizer sees
// any read past its end.
bool HoldsExactly(const SignaturePattern& p, const std::vector<std::uint8_t>& candidate) {
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[candidate.size() ? candidate.size() : 1]);
  if (!candidate.empty()) std::memcpy(block.get(), candidate.data(), candidate.size());
  return p.Holds(Bytes(block.get(), candidate.size()));
}

struct PatternCase {
  const char* what;
  std::int32_t kind;
  std::vector<std::uint8_t> data;
  std::int32_t offset;
  std::uint16_t length;  // 0: the kind's default
  std::uint16_t repeat;
  std::vector<std::uint8_t> candidate;
  bool holds;
};

std::vector<PatternCase> Cases() {
  const auto digits = V({0x30, 0x39});
  std::vector<PatternCase> cases = {
      // PATTERN_BYTE: every position 0 .. repeat from the offset.
      {"byte at 0", PATTERN_BYTE, V({0x61}), 0, 0, 0, Candidate(1, 0, V({0x61})), true},
      {"byte differs", PATTERN_BYTE, V({0x61}), 0, 0, 0, Candidate(1, 0, V({0x62})), false},
      {"byte repeated to the last byte", PATTERN_BYTE, V({7}), 2, 0, 3, Candidate(6, 2, V({7, 7, 7, 7})), true},
      {"byte repeat reaching past the end", PATTERN_BYTE, V({7}), 2, 0, 3, Candidate(5, 2, V({7, 7, 7})), false},
      {"byte repeat broken", PATTERN_BYTE, V({7}), 0, 0, 2, Candidate(3, 0, V({7, 8, 7})), false},
      // PATTERN_WORD
      {"word", PATTERN_WORD, V({0x42, 0x4D}), 0, 0, 0, Candidate(2, 0, V({0x42, 0x4D})), true},
      {"word cut by the end", PATTERN_WORD, V({0x42, 0x4D}), 0, 0, 0, Candidate(1, 0, V({0x42})), false},
      {"word at the last two bytes", PATTERN_WORD, V({0x55, 0xAA}), 510, 0, 0, Candidate(512, 510, V({0x55, 0xAA})),
       true},
      {"word one past the end", PATTERN_WORD, V({0x55, 0xAA}), 511, 0, 0, Candidate(512, 510, V({0x55, 0xAA})), false},
      {"word repeat steps one byte", PATTERN_WORD, V({1, 1}), 0, 0, 2, Candidate(4, 0, V({1, 1, 1, 1})), true},
      {"word data too short", PATTERN_WORD, V({0x42}), 0, 1, 0, Candidate(4, 0, V({0x42, 0})), false},
      // PATTERN_DWORD
      {"dword", PATTERN_DWORD, V({0x50, 0x4B, 3, 4}), 1, 0, 0, Candidate(5, 1, V({0x50, 0x4B, 3, 4})), true},
      {"dword last byte differs", PATTERN_DWORD, V({0x50, 0x4B, 3, 4}), 0, 0, 0, Candidate(8, 0, V({0x50, 0x4B, 3, 5})),
       false},
      {"dword cut by the end", PATTERN_DWORD, V({0x50, 0x4B, 3, 4}), 2, 0, 0, Candidate(5, 2, V({0x50, 0x4B, 3})),
       false},
      {"dword data too short", PATTERN_DWORD, V({0x50, 0x4B, 3}), 0, 3, 0, Candidate(8, 0, V({0x50, 0x4B, 3, 0})),
       false},
      // PATTERN_QWORD: both halves.
      {"qword", PATTERN_QWORD, V({1, 2, 3, 4, 5, 6, 7, 8}), 0, 0, 0, Candidate(8, 0, V({1, 2, 3, 4, 5, 6, 7, 8})),
       true},
      {"qword high half differs", PATTERN_QWORD, V({1, 2, 3, 4, 5, 6, 7, 8}), 0, 0, 0,
       Candidate(8, 0, V({1, 2, 3, 4, 5, 6, 7, 9})), false},
      {"qword cut by the end", PATTERN_QWORD, V({1, 2, 3, 4, 5, 6, 7, 8}), 0, 0, 0,
       Candidate(7, 0, V({1, 2, 3, 4, 5, 6, 7})), false},
      // PATTERN_BYTE_RANGE: four ASCII digits.
      {"byte range digits", PATTERN_BYTE_RANGE, digits, 4, 2, 3, Candidate(8, 4, Ascii("2024")), true},
      {"byte range at the bounds", PATTERN_BYTE_RANGE, digits, 0, 2, 1, Candidate(2, 0, Ascii("09")), true},
      {"byte range letter", PATTERN_BYTE_RANGE, digits, 4, 2, 3, Candidate(8, 4, Ascii("20x4")), false},
      {"byte range past the end", PATTERN_BYTE_RANGE, digits, 4, 2, 3, Candidate(7, 4, Ascii("202")), false},
      {"byte range data too short", PATTERN_BYTE_RANGE, V({0x30}), 0, 1, 0, Candidate(4, 0, Ascii("5")), false},
      {"byte range no data", PATTERN_BYTE_RANGE, {}, 0, 0, 0, Candidate(4, 0, Ascii("5")), false},
      // PATTERN_WORD_RANGE: 1 .. 255 as a little-endian word.
      {"word range low bound", PATTERN_WORD_RANGE, V({1, 0, 255, 0}), 4, 4, 0, Candidate(6, 4, V({1, 0})), true},
      {"word range high bound", PATTERN_WORD_RANGE, V({1, 0, 255, 0}), 4, 4, 0, Candidate(6, 4, V({255, 0})), true},
      {"word range above", PATTERN_WORD_RANGE, V({1, 0, 255, 0}), 4, 4, 0, Candidate(6, 4, V({0, 1})), false},
      {"word range zero", PATTERN_WORD_RANGE, V({1, 0, 255, 0}), 4, 4, 0, Candidate(6, 4, V({0, 0})), false},
      {"word range cut by the end", PATTERN_WORD_RANGE, V({1, 0, 255, 0}), 4, 4, 0, Candidate(5, 4, V({1})), false},
      {"word range data too short", PATTERN_WORD_RANGE, V({1, 0, 255}), 0, 3, 0, Candidate(4, 0, V({1, 0})), false},
      {"word range repeat by bytes", PATTERN_WORD_RANGE, V({0, 1, 0, 2}), 0, 4, 1, Candidate(3, 0, V({0, 1, 1})), true},
      // PATTERN_BYTES
      {"bytes", PATTERN_BYTES, Ascii("%PDF-1."), 0, 7, 0, Candidate(7, 0, Ascii("%PDF-1.")), true},
      {"bytes cut by the end", PATTERN_BYTES, Ascii("%PDF-1."), 0, 7, 0, Candidate(6, 0, Ascii("%PDF-1")), false},
      {"bytes at an offset past the end", PATTERN_BYTES, Ascii("A"), 9, 1, 0, Candidate(8, 0, {}), false},
      {"bytes empty", PATTERN_BYTES, {}, 0, 0, 0, Candidate(1, 0, {}), true},
      // PATTERN_SEARCH: positions 0 .. 511 - length from the offset.
      {"search at the first position", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(1024, 0, Ascii("ABCD")), true},
      {"search at the last position", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(1024, 507, Ascii("ABCD")),
       true},
      {"search one position too far", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(1024, 508, Ascii("ABCD")),
       false},
      {"search from its offset", PATTERN_SEARCH, Ascii("ABCD"), 100, 4, 0, Candidate(1024, 607, Ascii("ABCD")), true},
      {"search before its offset", PATTERN_SEARCH, Ascii("ABCD"), 100, 4, 0, Candidate(1024, 99, Ascii("ABCD")), false},
      {"search in a short candidate", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(10, 6, Ascii("ABCD")), true},
      {"search cut by the end", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(9, 6, Ascii("ABC")), false},
      {"search case matters", PATTERN_SEARCH, Ascii("ABCD"), 0, 4, 0, Candidate(1024, 9, Ascii("abcd")), false},
      {"search longer than its window", PATTERN_SEARCH, std::vector<std::uint8_t>(512, 0xEE), 0, 512, 0,
       Candidate(2048, 0, {}), false},
      // PATTERN_SEARCH_NOCASE
      {"nocase lower", PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5, 0, Candidate(512, 40, Ascii("<html")), true},
      {"nocase mixed", PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5, 0, Candidate(512, 506, Ascii("<HtMl")), true},
      {"nocase one position too far", PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5, 0,
       Candidate(1024, 507, Ascii("<html")), false},
      {"nocase other letters", PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5, 0, Candidate(512, 40, Ascii("<HTMX")),
       false},
      {"nocase cut by the end", PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5, 0, Candidate(44, 40, Ascii("<html")),
       false},
      // PATTERN_MASKED: values then mask; only masked bytes count.
      {"masked", PATTERN_MASKED, V({1, 2, 3, 4, 0xFF, 0, 0xFF, 0}), 2, 8, 0, Candidate(6, 2, V({1, 9, 3, 9})), true},
      {"masked byte differs", PATTERN_MASKED, V({1, 2, 3, 4, 0xFF, 0, 0xFF, 0}), 2, 8, 0,
       Candidate(6, 2, V({1, 9, 4, 9})), false},
      {"masked cut by the end", PATTERN_MASKED, V({1, 2, 3, 4, 0xFF, 0, 0xFF, 0}), 2, 8, 0,
       Candidate(5, 2, V({1, 9, 3})), false},
      // A partial mask byte compares only its bits: (c & mask) == (value & mask).
      {"masked high nibble, low nibble differs", PATTERN_MASKED, V({0x4A, 0xF0}), 0, 2, 0,
       Candidate(1, 0, V({0x45})), true},
      {"masked high nibble differs", PATTERN_MASKED, V({0x4A, 0xF0}), 0, 2, 0, Candidate(1, 0, V({0x5A})), false},
      {"masked single bit set", PATTERN_MASKED, V({0x01, 0x01}), 0, 2, 0, Candidate(1, 0, V({0xFF})), true},
      {"masked single bit clear", PATTERN_MASKED, V({0x01, 0x01}), 0, 2, 0, Candidate(1, 0, V({0xFE})), false},
      {"masked value bits outside the mask", PATTERN_MASKED, V({0xFF, 0x00, 0x81, 0xFF}), 0, 4, 0,
       Candidate(2, 0, V({0x81, 0x00})), true},
      {"masked all-zero mask", PATTERN_MASKED, {}, 0, 0, 0, Candidate(512, 0, {}), true},
      {"masked default reach", PATTERN_MASKED, {}, 0, 0, 0, Candidate(511, 0, {}), false},
      // No test at all.
      {"masked alt", PATTERN_MASKED_ALT, {}, 0, 0, 0, Candidate(0, 0, {}), true},
      {"unknown kind", 77, Ascii("zz"), 1000, 2, 0, Candidate(0, 0, {}), true},
      // Negative offsets never read before the candidate.
      {"negative offset", PATTERN_BYTES, Ascii("A"), -1, 1, 0, Candidate(8, 0, Ascii("AAAA")), false},
      {"negative offset search", PATTERN_SEARCH, Ascii("A"), -4, 1, 0, Candidate(8, 0, Ascii("AAAA")), false},
      {"negative offset byte", PATTERN_BYTE, V({0xEE}), -1, 0, 0, Candidate(8, 0, {}), false},
  };
  return cases;
}

}  // namespace

TEST(SignaturePattern, EveryKindHoldsAndFailsAtTheEdges) {
  for (const auto& c : Cases()) {
    SignaturePattern p = SignaturePattern::Build(c.kind, c.data, c.offset, c.length, c.repeat);
    EXPECT_EQ(HoldsExactly(p, c.candidate), c.holds) << c.what;
  }
}

TEST(SignaturePattern, BuildFillsTheBlob) {
  SignaturePattern p = SignaturePattern::Build(PATTERN_WORD, V({0x42, 0x4D}), 6, 0, 3);
  ASSERT_EQ(p.size(), 34u);
  platform::LeView v(p.blob());
  EXPECT_EQ(v.I32(0), PATTERN_WORD);
  EXPECT_EQ(v.I32(4), 34);
  EXPECT_EQ(v.I32(8), 6);
  EXPECT_EQ(v.U16(12), 3);
  EXPECT_EQ(v.U16(14), 2);
  for (int i = 16; i < 32; ++i) EXPECT_EQ(p.blob()[i], 0) << i;
  EXPECT_EQ(p.blob()[32], 0x42);
  EXPECT_EQ(p.blob()[33], 0x4D);

  // Default lengths; the masked kinds split their data in values and mask.
  struct Default {
    std::int32_t kind;
    std::size_t length;
  } defaults[] = {{PATTERN_BYTE, 1},          {PATTERN_WORD, 2},       {PATTERN_DWORD, 4},         {PATTERN_QWORD, 8},
                  {PATTERN_BYTE_RANGE, 0},    {PATTERN_WORD_RANGE, 0}, {PATTERN_BYTES, 0},         {PATTERN_SEARCH, 0},
                  {PATTERN_SEARCH_NOCASE, 0}, {PATTERN_MASKED, 1024},  {PATTERN_MASKED_ALT, 1024}, {12345, 0}};
  for (auto d : defaults) EXPECT_EQ(SignaturePattern::Build(d.kind, {}, 0).length(), d.length) << d.kind;
  SignaturePattern m = SignaturePattern::Build(PATTERN_MASKED, {}, 0);
  EXPECT_EQ(m.Mask().data() - m.Data().data(), 512);
}

TEST(SignaturePattern, SearchHelpers) {
  auto hay = Candidate(600, 300, Ascii("eXtended"));
  EXPECT_TRUE(SearchBytes(hay, Ascii("eXtended")));
  EXPECT_FALSE(SearchBytes(hay, Ascii("EXTENDED")));
  EXPECT_TRUE(SearchBytesNoCase(hay, Ascii("EXTENDED")));
  EXPECT_FALSE(SearchBytes(Bytes(hay).first(307), Ascii("eXtended")));  // cut inside the text
  EXPECT_TRUE(SearchBytes(Bytes(hay).first(308), Ascii("eXtended")));
  // A repeated first byte does not hide a later hit.
  auto rep = Candidate(64, 10, Ascii("aaab"));
  EXPECT_TRUE(SearchBytes(rep, Ascii("aab")));
}

TEST(SignaturePattern, FixedBytesForAnIndex) {
  std::int32_t off = -1;
  Bytes bytes;
  const SignaturePattern dword = SignaturePattern::Build(PATTERN_DWORD, V({1, 2, 3, 4}), 8, 0, 5);
  EXPECT_TRUE(dword.FixedBytes(off, bytes));
  EXPECT_EQ(off, 8);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), V({1, 2, 3, 4}));
  const SignaturePattern file = SignaturePattern::Build(PATTERN_BYTES, Ascii("FILE"), 0, 4);
  EXPECT_TRUE(file.FixedBytes(off, bytes));
  EXPECT_EQ(bytes.size(), 4u);
  EXPECT_FALSE(SignaturePattern::Build(PATTERN_SEARCH, Ascii("FILE"), 0, 4).FixedBytes(off, bytes));
  EXPECT_FALSE(SignaturePattern::Build(PATTERN_BYTES, Ascii("FILE"), -2, 4).FixedBytes(off, bytes));
  EXPECT_FALSE(SignaturePattern::Build(PATTERN_DWORD, V({1, 2}), 0, 2).FixedBytes(off, bytes));
}

TEST(Signature, PatternsAreAndedInOrder) {
  Signature empty;
  EXPECT_TRUE(empty.Match({}));  // no patterns: always holds

  Signature wav;
  wav.AddPattern(PATTERN_DWORD, Ascii("RIFF"), 0);
  wav.AddPattern(PATTERN_BYTES, Ascii("WAVEfmt"), 8, 7);
  auto c = Candidate(512, 0, Ascii("RIFF\x24\x08\x00\x00WAVEfmt "sv));
  EXPECT_TRUE(wav.Match(c));
  c[9] = 'X';
  EXPECT_FALSE(wav.Match(c));
  EXPECT_FALSE(wav.Match(Bytes(Candidate(512, 0, Ascii("RIFF\x24\x08\x00\x00WAVEfmt "sv))).first(14)));
}

TEST(Signature, BlobLayout) {
  Signature s;
  s.AddPattern(PATTERN_BYTES, Ascii("ABCDEFG"), 3, 7);
  auto blob = s.Serialize();
  ASSERT_EQ(blob.size(), 59u);  // 20 + 32 + 7
  platform::LeView v(blob);
  EXPECT_EQ(v.U32(0), 0u);
  EXPECT_EQ(v.U32(4), 59u);
  EXPECT_EQ(v.U32(8), 0u);
  EXPECT_EQ(v.U32(12), 0u);
  EXPECT_EQ(v.U32(16), 1u);
  EXPECT_EQ(v.I32(20), PATTERN_BYTES);
  EXPECT_EQ(v.I32(24), 39);
  EXPECT_EQ(v.I32(28), 3);
  EXPECT_EQ(std::string(blob.begin() + 52, blob.end()), "ABCDEFG");

  // A sizing call writes nothing into a buffer that is too small.
  std::vector<std::uint8_t> small(58, 0xAB);
  EXPECT_FALSE(s.SerializeInto(small));
  EXPECT_EQ(small, std::vector<std::uint8_t>(58, 0xAB));
}

TEST(Signature, BlobsThatDoNotHoldTogetherAreRefused) {
  Signature good;
  good.AddPattern(PATTERN_BYTES, Ascii("ABCD"), 0, 4);
  good.AddPattern(PATTERN_MASKED, V({1, 2, 0xFF, 0}), 0, 4);
  const auto blob = good.Serialize();  // 20 + 36 + 36
  ASSERT_EQ(blob.size(), 92u);
  {
    Signature s;
    std::u16string why;
    ASSERT_TRUE(s.LoadFromBlob(blob, &why)) << platform::LeView(blob).U32(4);
    EXPECT_EQ(s.Serialize(), blob);
  }
  struct Hostile {
    const char* what;
    std::size_t offset;  // a u32 field to overwrite; SIZE_MAX: truncate to `value`
    std::uint32_t value;
  } cases[] = {
      {"shorter than its header", SIZE_MAX, 19},
      {"cut inside a pattern", SIZE_MAX, 91},
      {"total under 20", 4, 19},
      {"total past the bytes", 4, 93},
      {"total not the sum of its patterns", 4, 91},
      {"count too high", 16, 3},
      {"count far too high", 16, 0xFFFFFFFF},
      {"count too low", 16, 1},
      {"pattern size under 32", 24, 31},
      {"pattern size past the signature", 24, 73},
      {"pattern size negative", 24, 0x80000000},
      {"pattern length over its size", 20 + 12, 0x0005 | (0xFFFFu << 16)},  // repeat 5, length 0xFFFF
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> b = blob;
    if (c.offset == SIZE_MAX) {
      b.resize(c.value);
    } else {
      platform::WriteLE<std::uint32_t>(b, c.offset, c.value);
    }
    // An exact-size heap copy: a read past the end would be caught.
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[b.size()]);
    std::memcpy(block.get(), b.data(), b.size());
    Signature s;
    std::u16string why;
    EXPECT_FALSE(s.LoadFromBlob(Bytes(block.get(), b.size()), &why)) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
    EXPECT_EQ(s.PatternCount(), 0u) << c.what;
  }
}

TEST(Signature, PatternLengthBelowItsSizeKeepsTheBlob) {
  // size 40 with 4 data bytes: the mask starts (40 - 32) / 2 = 4 bytes into the data.
  std::vector<std::uint8_t> p(40, 0);
  platform::LeWriter w(p);
  w.I32(0, PATTERN_MASKED);
  w.I32(4, 40);
  w.U16(14, 4);
  p[32] = 'A';
  p[33] = 'B';
  p[36] = 0xFF;  // mask of 'A'
  SignaturePattern pattern;
  ASSERT_TRUE(pattern.LoadFromBlob(p));
  EXPECT_EQ(pattern.Mask().data() - pattern.Data().data(), 4);
  EXPECT_TRUE(pattern.Holds(Ascii("AZ")));
  EXPECT_FALSE(pattern.Holds(Ascii("ZB")));
  EXPECT_EQ(std::vector<std::uint8_t>(pattern.blob().begin(), pattern.blob().end()), p);

  // A stored value kind without data (length 0) never holds.
  for (std::int32_t kind :
       {PATTERN_BYTE, PATTERN_WORD, PATTERN_DWORD, PATTERN_QWORD, PATTERN_BYTE_RANGE, PATTERN_WORD_RANGE}) {
    std::vector<std::uint8_t> e(32, 0);
    platform::LeWriter(e).I32(0, kind);
    platform::LeWriter(e).I32(4, 32);
    SignaturePattern empty;
    ASSERT_TRUE(empty.LoadFromBlob(e));
    EXPECT_FALSE(empty.Holds(std::vector<std::uint8_t>(64, 0))) << kind;
  }
}

TEST(SignaturePattern, EditingKeepsTheBlobSize) {
  // A masked pattern as the signature editor makes it: 512 values, 512 mask bytes.
  std::vector<std::uint8_t> buffer(1024, 0);
  std::fill(buffer.begin() + 512, buffer.end(), 0xFF);
  Signature s;
  s.AddPattern(PATTERN_MASKED, buffer, 0);
  ASSERT_EQ(s.SerializedSize(), 20u + 32u + 1024u);
  SignaturePattern& p = s.MutablePattern(0);
  EXPECT_EQ(p.MutableValues().size(), 512u);
  EXPECT_EQ(p.MutableMask().size(), 512u);
  EXPECT_EQ(p.Body().size(), 1024u);
  EXPECT_EQ(p.MutableMask().data(), p.Mask().data());

  // The values are edited in place; the length is how many bytes of the data the
  // masked test reaches: twice the compared byte count.
  const std::string head = "HEADER-OF-FORMAT";  // 16 bytes
  std::memcpy(p.MutableValues().data(), head.data(), head.size());
  ASSERT_TRUE(p.SetLength(2 * 16));
  EXPECT_EQ(p.length(), 32u);
  EXPECT_EQ(platform::LeView(p.blob()).U16(14), 32u);
  EXPECT_EQ(p.size(), 32u + 1024u);
  EXPECT_EQ(s.SerializedSize(), 20u + 32u + 1024u);
  EXPECT_EQ(s.Serialize().size(), s.SerializedSize());

  // Exactly the 16 bytes are compared.
  std::vector<std::uint8_t> c = Candidate(512, 0, Ascii(head));
  EXPECT_TRUE(s.Match(c));
  c[15] ^= 1;
  EXPECT_FALSE(s.Match(c));
  c[15] ^= 1;
  c[16] ^= 1;
  EXPECT_TRUE(s.Match(c));
  // A cleared mask byte stops that byte from being compared.
  p.MutableMask()[3] = 0;
  c[3] ^= 1;
  EXPECT_TRUE(s.Match(c));

  // The kind changes the test and nothing else.
  p.SetKind(PATTERN_MASKED_ALT);
  EXPECT_EQ(p.kind(), PATTERN_MASKED_ALT);
  EXPECT_EQ(platform::LeView(p.blob()).I32(0), PATTERN_MASKED_ALT);
  EXPECT_TRUE(s.Match(std::vector<std::uint8_t>(512, 0)));

  // A length past the data area is refused and changes nothing.
  EXPECT_FALSE(p.SetLength(1025));
  EXPECT_EQ(p.length(), 32u);
  EXPECT_TRUE(p.SetLength(1024));

  // The edited blob loads back as it was written.
  Signature back;
  ASSERT_TRUE(back.LoadFromBlob(s.Serialize()));
  EXPECT_EQ(back.Serialize(), s.Serialize());
}
