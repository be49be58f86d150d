// The type record and its blob: field offsets, byte-identical round trips, and
// blobs from other people that do not hold together.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "search/FileType.h"
#include "support/TempDir.h"

using platform::Bytes;

namespace {

std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

std::u16string Field(const std::vector<std::uint8_t>& b, std::size_t off, std::size_t units) {
  return platform::ReadUtf16Field(b, off, units);
}

// The bytes as an exact-size heap block, so that AddressSanitizer catches any read
// past their end.
struct Exact {
  explicit Exact(const std::vector<std::uint8_t>& b) : size(b.size()), data(new std::uint8_t[b.size() + !b.size()]) {
    if (size) std::memcpy(data.get(), b.data(), size);
  }
  Bytes bytes() const { return Bytes(data.get(), size); }
  std::size_t size;
  std::unique_ptr<std::uint8_t[]> data;
};

}  // namespace

TEST(FileType, ResetAndInitDefaults) {
  FileType t;
  EXPECT_EQ(t.searchEnabled(), 1);
  EXPECT_EQ(t.showInFilter(), 0);
  EXPECT_EQ(t.listed(), 1);
  EXPECT_EQ(t.selected(), 0);
  EXPECT_EQ(t.typicalSizeKB(), 1024);
  EXPECT_EQ(t.HeaderI32(40), 100);
  EXPECT_EQ(t.HeaderI32(44), 0);
  EXPECT_EQ(t.HeaderI32(48), 50);
  t.Init(-144, 47, {}, u"Portable Document Format", u"adobe", u"PDF");
  EXPECT_EQ(t.HeaderI32(44), 50);
  EXPECT_EQ(t.typicalSizeKB(), 1024);
  EXPECT_EQ(t.DisplayName(), u"Portable Document Format");  // no title: the description
  t.SetTitle(u"PDF document");
  EXPECT_EQ(t.DisplayName(), u"PDF document");
  EXPECT_EQ(t.Selected(), 0);
  EXPECT_EQ(t.Selected(1), 1);
  EXPECT_EQ(t.Selected(-1), 1);

  struct Ext {
    const char16_t* list;
    const char16_t* first;
  } exts[] = {{u"jpg;jpeg,jpe", u"jpg"}, {u"pdf", u"pdf"}, {u"MID,MIDI", u"MID"}, {u"", u""}, {u";x", u""}};
  for (auto e : exts) {
    t.SetExtensions(e.list);
    EXPECT_EQ(t.DefaultExtension(), e.first);
  }
  FileType other;
  EXPECT_NE(t.key(), other.key());
  EXPECT_NE(t.key(), 0u);
}

TEST(FileType, SerialisedFieldOffsets) {
  FileType t;
  t.Init(-144, 47, u"Title", u"Description", u"adobe", u"PDF;AI", u"Technical");
  t.SetSearchEnabled(0x11);
  t.SetShowInFilter(0x22);
  t.SetListed(0x33);
  t.Selected(0x44);
  t.SetTypicalSizeKB(0x55);
  t.AddBytesSignature(PATTERN_BYTES, Ascii("%PDF-1."), 0, 7);
  std::vector<std::uint8_t> b = t.Serialize();
  ASSERT_EQ(b.size(), 1956u + 20 + 32 + 7);
  platform::LeView v(b);
  EXPECT_EQ(v.I32(0), 47);
  EXPECT_EQ(v.I32(4), -144);
  EXPECT_EQ(v.I32(8), 0x11);
  EXPECT_EQ(v.I32(12), 0x22);
  EXPECT_EQ(v.I32(16), 0x33);
  EXPECT_EQ(v.I32(20), 0x44);
  for (std::size_t off = 24; off < 36; ++off) EXPECT_EQ(b[off], 0) << off;
  EXPECT_EQ(v.I32(36), 0x55);
  EXPECT_EQ(v.I32(40), 100);
  EXPECT_EQ(v.I32(44), 50);
  EXPECT_EQ(v.I32(48), 50);
  for (std::size_t off = 52; off < 152; ++off) EXPECT_EQ(b[off], 0) << off;
  EXPECT_EQ(Field(b, 152, 100), u"Title");
  EXPECT_EQ(Field(b, 352, 260), u"Description");
  EXPECT_EQ(Field(b, 872, 100), u"PDF;AI");
  EXPECT_EQ(Field(b, 1072, 30), u"adobe");
  EXPECT_EQ(Field(b, 1132, 410), u"Technical");
  // Each text is followed by zeros to the end of its field.
  for (std::size_t off = 152 + 2 * 5; off < 352; ++off) EXPECT_EQ(b[off], 0) << off;
  for (std::size_t off = 1132 + 2 * 9; off < 1952; ++off) EXPECT_EQ(b[off], 0) << off;
  EXPECT_EQ(v.I32(1952), 1);
  EXPECT_EQ(v.U32(1956 + 4), 59u);  // the signature's total size
  EXPECT_EQ(v.U32(1956 + 16), 1u);  // its pattern count
  EXPECT_EQ(v.I32(1976), PATTERN_BYTES);
  EXPECT_EQ(std::string(b.end() - 7, b.end()), "%PDF-1.");

  FileType bare;
  std::vector<std::uint8_t> e = bare.Serialize();
  ASSERT_EQ(e.size(), 1956u);
  EXPECT_EQ(platform::LeView(e).I32(1952), 0);
  EXPECT_EQ(bare.SerializedSize(), 1956u);
}

TEST(FileType, RoundTripIsByteIdentical) {
  std::vector<std::uint8_t> blob(1956, 0);
  platform::LeWriter w(blob);
  for (std::size_t i = 0; i < 152; ++i) blob[i] = std::uint8_t(i * 7 + 1);  // every int and reserved field
  // Each text: a short text, its NUL, then bytes after the NUL to the field's end.
  struct Text {
    std::size_t off, units;
  } texts[] = {{152, 100}, {352, 260}, {872, 100}, {1072, 30}, {1132, 410}};
  for (auto t : texts) {
    w.U16(t.off, u'A');
    w.U16(t.off + 2, 0xD800);  // a lone surrogate
    w.U16(t.off + 4, 0);
    for (std::size_t off = t.off + 6; off < t.off + 2 * t.units; ++off) blob[off] = std::uint8_t(0xC0 + off % 37);
  }
  w.I32(1952, 2);
  // Two signatures with non-zero reserved fields; one pattern with room beyond its data.
  auto addSignature = [&](std::vector<std::vector<std::uint8_t>> patterns, std::uint32_t reserved) {
    std::size_t start = blob.size();
    std::size_t total = 20;
    for (auto& p : patterns) total += p.size();
    blob.resize(start + total, 0);
    platform::LeWriter s(platform::MutableBytes(blob).subspan(start));
    s.U32(0, reserved);
    s.U32(4, static_cast<std::uint32_t>(total));
    s.U32(8, reserved + 1);
    s.U32(12, reserved + 2);
    s.U32(16, static_cast<std::uint32_t>(patterns.size()));
    std::size_t pos = start + 20;
    for (auto& p : patterns) {
      std::memcpy(blob.data() + pos, p.data(), p.size());
      pos += p.size();
    }
  };
  auto pattern = [](std::int32_t kind, std::size_t size, std::uint16_t length, std::uint8_t fill) {
    std::vector<std::uint8_t> p(size, fill);
    platform::LeWriter pw(p);
    pw.I32(0, kind);
    pw.I32(4, static_cast<std::int32_t>(size));
    pw.I32(8, 3);
    pw.U16(12, 1);
    pw.U16(14, length);
    return p;
  };
  addSignature({pattern(PATTERN_BYTES, 40, 5, 0x5A), pattern(PATTERN_MASKED, 48, 16, 0x00)}, 0x01020304);
  addSignature({pattern(0x777, 32, 0, 0x99)}, 0xFFFFFFFF);

  std::u16string why;
  auto t = FileType::FromBlob(blob, &why);
  ASSERT_TRUE(t) << platform::Utf16ToUtf8(why);
  EXPECT_EQ(t->GetSignatureCount(), 2u);
  EXPECT_EQ(t->Serialize(), blob);
  EXPECT_EQ(t->Title(), std::u16string(u"A\xD800"));

  // CopyHeader takes the other header but keeps this type's signatures and count.
  FileType other;
  other.AddDwordSignature(0x04034B50, 0);
  ASSERT_TRUE(other.CopyHeader(blob));
  std::vector<std::uint8_t> copied = other.Serialize();
  EXPECT_EQ(platform::LeView(copied).I32(1952), 1);
  EXPECT_TRUE(std::equal(copied.begin(), copied.begin() + 1952, blob.begin()));
  EXPECT_FALSE(other.CopyHeader(Bytes(blob).first(1955)));

  // A blob may carry bytes after its last signature: they are not part of the type.
  std::vector<std::uint8_t> longer = blob;
  longer.insert(longer.end(), {1, 2, 3});
  auto t2 = FileType::FromBlob(longer);
  ASSERT_TRUE(t2);
  EXPECT_EQ(t2->Serialize(), blob);
}

TEST(FileType, TruncatedAndHostileBlobsAreRefused) {
  FileType source;
  source.Init(-115, 88, {}, u"PNG Image", u"image", u"PNG");
  source.AddQwordSignature(0x0A1A0A0D474E5089ull, 0)
      .AddPattern(PATTERN_QWORD, Ascii(std::string_view("\0\0\0\x0dIHDR", 8)), 8);
  source.AddBytesSignature(PATTERN_SEARCH_NOCASE, Ascii("<HTML"), 0, 5);
  const std::vector<std::uint8_t> blob = source.Serialize();

  // Every truncation.
  for (std::size_t n = 0; n < blob.size(); ++n) {
    Exact cut(std::vector<std::uint8_t>(blob.begin(), blob.begin() + n));
    FileType t;
    std::u16string why;
    EXPECT_FALSE(t.LoadFromBlob(cut.bytes(), &why)) << n;
    EXPECT_FALSE(why.empty()) << n;
    EXPECT_EQ(t.GetSignatureCount(), 0u) << n;
    EXPECT_EQ(t.typeId(), 0) << n;  // unchanged
  }
  // Hostile counts and sizes.
  struct Hostile {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"negative signature count", 1952, 0xFFFFFFFF},
      {"signature count too high", 1952, 3},
      {"huge signature count", 1952, 0x7FFFFFFF},
      {"signature size under 20", 1956 + 4, 19},
      {"signature size past the end", 1956 + 4, 0xFFFFFFF0},
      {"pattern count past its signature", 1956 + 16, 0x10000000},
      {"pattern size under 32", 1976 + 4, 0},
      {"pattern size past its signature", 1976 + 4, 200},
      {"pattern length past its size", 1976 + 12, 0x00090000},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> b = blob;
    platform::WriteLE<std::uint32_t>(b, c.offset, c.value);
    Exact e(b);
    std::u16string why;
    EXPECT_EQ(FileType::FromBlob(e.bytes(), &why), nullptr) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
  }
}

TEST(FileType, MatchAnySignature) {
  FileType none;
  EXPECT_FALSE(none.Match(std::vector<std::uint8_t>(512, 0)));  // no signatures: never

  FileType jpeg;
  jpeg.AddDwordSignature(0xE1FFD8FF, 0);
  jpeg.AddDwordSignature(0xE0FFD8FF, 0);
  std::vector<std::uint8_t> buffer(1024, 0);
  const std::uint8_t e0[] = {0xFF, 0xD8, 0xFF, 0xE0};
  std::memcpy(buffer.data() + 512, e0, 4);
  EXPECT_TRUE(jpeg.Match(buffer, 512));
  EXPECT_FALSE(jpeg.Match(buffer, 0));
  EXPECT_FALSE(jpeg.Match(buffer, 1021));  // only three bytes left
  EXPECT_FALSE(jpeg.Match(buffer, 5000));
}

TEST(FileType, SaveToFileWritesTheBlob) {
  test::TempDir dir;
  FileType t;
  t.Init(-144, 1000, u"Mine", u"My format", u"mine", u"MIN");
  t.AddBytesSignature(PATTERN_BYTES, Ascii("MINE"), 0, 4);
  ASSERT_TRUE(t.SaveToFile(dir / "mine.filesig"));
  std::ifstream in(dir / "mine.filesig", std::ios::binary);
  std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, t.Serialize());
  EXPECT_FALSE(t.SaveToFile(dir / "no-such-folder/mine.filesig"));
}

TEST(FileType, RemoveSignatureKeepsCountAndSizes) {
  FileType t;
  t.Init(-144, 1000, u"Mine", u"My format", u"mine", u"MIN");
  t.AddBytesSignature(PATTERN_BYTES, Ascii("ONE"), 0, 3);
  t.AddBytesSignature(PATTERN_BYTES, Ascii("TWO!"), 0, 4);
  t.AddBytesSignature(PATTERN_BYTES, Ascii("THREE"), 0, 5);
  ASSERT_EQ(t.SerializedSize(), 1956u + (20 + 32 + 3) + (20 + 32 + 4) + (20 + 32 + 5));

  EXPECT_FALSE(t.RemoveSignature(3));
  ASSERT_TRUE(t.RemoveSignature(1));  // the second
  ASSERT_EQ(t.GetSignatureCount(), 2u);
  EXPECT_EQ(t.HeaderI32(FileType::kSignatureCountOffset), 2);
  EXPECT_EQ(t.SerializedSize(), 1956u + (20 + 32 + 3) + (20 + 32 + 5));
  EXPECT_TRUE(t.Match(Ascii("THREE and more")));
  EXPECT_FALSE(t.Match(Ascii("TWO! and more")));

  ASSERT_TRUE(t.RemoveSignature(0));  // the first
  EXPECT_EQ(t.GetSignatureCount(), 1u);
  auto back = FileType::FromBlob(t.Serialize());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetSignatureCount(), 1u);
  EXPECT_EQ(back->Serialize(), t.Serialize());
}
