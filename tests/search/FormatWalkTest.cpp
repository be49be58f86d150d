// The format walks that give a carved file its end, over small hand-built files:
// each finds the end its structure gives, and each damaged case (a length past the
// end, a loop of offsets, a 64-bit size, a length of 0xFFFFFFFF, a missing end
// record) stops without an end and without reading past the volume.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "search/FormatReader.h"
#include "search/FormatWalk.h"
#include "search/HeaderCheck.h"
#include "FormatSamples.h"

namespace {

using namespace samples;

// What a walk saw: its end, its type, and the bytes it read beyond the head.
struct Walked {
  FormatEnd end;
  std::int64_t bytesRead = 0;
  std::int64_t furthest = 0;  // one past the last byte read from the "volume"
};

// Walks `file` as the search does: the first `head` bytes are in hand, the rest is
// read in sectors from a volume that ends with the file (padded to a sector).
Walked WalkBytes(FormatKind kind, Bytes file, std::size_t head = 512) {
  const std::size_t size = file.size();
  file.resize((size + 511) / 512 * 512, 0);
  Walked w;
  std::vector<std::uint8_t> scratch;
  FormatReader reader(
      platform::Bytes(file.data(), std::min(head, file.size())), std::int64_t(file.size()),
      std::max<std::int64_t>(FormatMaxBytes(kind), 1),
      [&](std::int64_t position, std::uint8_t* out, std::size_t length) -> std::int64_t {
        EXPECT_EQ(position % 512, 0);
        EXPECT_EQ(length % 512, 0u);
        if (position < 0 || std::size_t(position) >= file.size()) return 0;
        const std::size_t n = std::min(length, file.size() - std::size_t(position));
        std::memcpy(out, file.data() + position, n);
        w.furthest = std::max<std::int64_t>(w.furthest, position + std::int64_t(n));
        return std::int64_t(n);
      },
      {}, scratch);
  w.end = WalkFormat(kind, reader);
  w.bytesRead = reader.BytesRead();
  EXPECT_LE(w.furthest, std::int64_t(file.size()));
  return w;
}

struct Case {
  const char* what;
  FormatKind kind;
  Bytes file;
  std::int64_t end;  // -1: no end
  std::size_t head = 512;
};

}  // namespace

TEST(FormatWalk, EachFormatEndsWhereItsStructureSaysAndDamageStopsSafely) {
  const Bytes jpeg = Jpeg(), progressive = Jpeg(true), png = Png(), gif = Gif(), zip = Zip(), pdf = Pdf(),
              tar = Tar(), gz = Gzip(5000);
  const Bytes tiff = Tiff("Canon");
  const Bytes updated = Cat({pdf, PdfUpdate(pdf.size(), 45)});
  const Bytes mp4 = Cat({Box("ftyp", 16), Box("moov", 700), Box("free", 0), Box("mdat", 3000)});
  Bytes bigBox = Cat({Be32(1), Text("mdat"), Be32(0), Be32(16 + 100), Noise(100, 5)});
  const std::vector<Case> cases = {
      {"JPEG: segments, an Exif thumbnail, the scan to EOI", FormatKind::Jpeg, Cat({jpeg, Noise(3000, 1)}),
       std::int64_t(jpeg.size())},
      {"JPEG read from the volume beyond a small head", FormatKind::Jpeg, Cat({jpeg, Noise(3000, 1)}),
       std::int64_t(jpeg.size()), 0},
      {"progressive JPEG: the EOI after the last scan", FormatKind::Jpeg, Cat({progressive, Noise(900, 2)}),
       std::int64_t(progressive.size())},
      {"JPEG whose end was overwritten", FormatKind::Jpeg, Cat({Bytes(jpeg.begin(), jpeg.begin() + 1500),
                                                                {0xFF, 0xC4, 0xFF, 0xF0}, Noise(4000, 3)}),
       -1},
      {"JPEG whose segment length runs past the volume", FormatKind::Jpeg, Cat({{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF},
                                                                               Noise(600, 4)}),
       -1},
      {"JPEG cut inside its scan", FormatKind::Jpeg, Bytes(jpeg.begin(), jpeg.end() - 3), -1},
      {"PNG: chunks to IEND", FormatKind::Png, Cat({png, Noise(700, 1)}), std::int64_t(png.size())},
      {"PNG chunk length 0xFFFFFFFF", FormatKind::Png,
       Cat({Bytes(png.begin(), png.begin() + 33), Be32(0xFFFFFFFF), Text("IDAT"), Noise(600, 2)}), -1},
      {"PNG whose IEND has a wrong CRC", FormatKind::Png, Cat({Bytes(png.begin(), png.end() - 1), {0}}), -1},
      {"GIF: blocks and sub-blocks to the trailer", FormatKind::Gif, Cat({gif, Noise(600, 1)}),
       std::int64_t(gif.size())},
      {"GIF without its trailer", FormatKind::Gif, Cat({Bytes(gif.begin(), gif.end() - 1), {0x99}}), -1},
      {"TIFF: the furthest structure an IFD references", FormatKind::Tiff, Cat({tiff, Noise(800, 1)}),
       std::int64_t(tiff.size())},
      {"big-endian TIFF", FormatKind::Tiff, Cat({Tiff("NIKON", 0, 300, true), Noise(800, 1)}),
       std::int64_t(tiff.size())},
      {"TIFF whose IFD chain loops back to IFD0", FormatKind::Tiff, Cat({Tiff("Canon", 8), Noise(800, 1)}),
       std::int64_t(tiff.size())},
      {"TIFF whose strip runs past the volume", FormatKind::Tiff, Tiff("Canon", 0, 0xFFFFFFF0u), -1},
      {"ZIP: entries, directory, end record and comment", FormatKind::Zip, Cat({zip, Noise(700, 1)}),
       std::int64_t(zip.size())},
      {"ZIP whose end record names another directory", FormatKind::Zip, Cat({Zip(512), Noise(700, 1)}), -1},
      {"ZIP whose comment runs past the volume", FormatKind::Zip,
       Cat({Bytes(zip.begin(), zip.end() - 13), Le16(0xFFFF), Text("zip comment")}), -1},
      {"ZIP placed back to back before another", FormatKind::Zip, Cat({zip, zip}), std::int64_t(zip.size())},
      {"PDF: the %%EOF after a startxref that points at xref", FormatKind::Pdf, Cat({pdf, Noise(700, 1)}),
       std::int64_t(pdf.size())},
      {"PDF placed back to back before another", FormatKind::Pdf, Cat({pdf, pdf}), std::int64_t(pdf.size())},
      {"PDF with an incremental update", FormatKind::Pdf, Cat({updated, Noise(700, 1)}), std::int64_t(updated.size())},
      {"PDF whose startxref points at no xref", FormatKind::Pdf, Cat({Pdf(3), Noise(700, 1)}), -1},
      {"RIFF: its chunk size", FormatKind::Riff, Cat({Text("RIFF"), Le32(1000), Text("WAVE"), Noise(2000, 1)}), 1008},
      {"AVI going on in an AVIX chunk", FormatKind::Riff,
       Cat({Text("RIFF"), Le32(1000), Text("AVI "), Noise(996, 1), Text("RIFF"), Le32(500), Text("AVIX"), Noise(496, 2),
            Text("RIFF"), Le32(100), Text("WAVE"), Noise(200, 3)}),
       1008 + 508},
      {"RIFF size 0xFFFFFFFF past the volume", FormatKind::Riff, Cat({Text("RIFF"), Le32(0xFFFFFFFF), Text("WAVE")}),
       -1},
      {"MP4: the top-level boxes", FormatKind::IsoMedia, Cat({mp4, Noise(900, 2)}), std::int64_t(mp4.size())},
      {"MP4 with a 64-bit box size", FormatKind::IsoMedia, Cat({Box("ftyp", 16), Box("moov", 100), bigBox, Noise(50, 3)}),
       std::int64_t(24 + 108 + bigBox.size())},
      {"MP4 box with a 64-bit size past the volume", FormatKind::IsoMedia,
       Cat({Box("ftyp", 16), Box("moov", 100), Be32(1), Text("mdat"), Be32(0x10), Be32(0), Noise(60, 4)}), -1},
      {"MP4 without a movie box", FormatKind::IsoMedia, Cat({Box("ftyp", 16), Box("mdat", 100), Noise(60, 4)}), -1},
      {"MP4 whose last box runs to an unknown end", FormatKind::IsoMedia,
       Cat({Box("ftyp", 16), Box("moov", 100), Be32(0), Text("mdat"), Noise(60, 4)}), -1},
      {"tar: headers by their sizes, the end blocks, the record padding", FormatKind::Tar,
       Cat({tar, Fill(10240 - tar.size(), 0), Noise(600, 1)}), 10240},
      {"tar without its record padding", FormatKind::Tar, Cat({tar, Noise(600, 1)}), std::int64_t(tar.size())},
      {"tar whose member size runs past the volume", FormatKind::Tar, Cat({TarHeader("a", 1ull << 40), Noise(600, 1)}),
       -1},
      {"tar with a damaged header", FormatKind::Tar, Cat({TarHeader("a", 1), Fill(511, 1), Noise(512, 2)}), -1},
      {"gzip: the deflate stream and its trailer", FormatKind::Gzip, Cat({gz, Noise(900, 1)}), std::int64_t(gz.size())},
      {"gzip cut short", FormatKind::Gzip, Bytes(gz.begin(), gz.end() - 6), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Walked w = WalkBytes(c.kind, c.file, c.head);
    EXPECT_EQ(w.end.end, c.end);
    // Each byte read once: sequential walks read no more than the volume holds past
    // the bytes in hand (the TIFF, PDF and ZIP look-ups may read a sector again).
    const std::int64_t padded = std::int64_t((c.file.size() + 511) / 512 * 512);
    const std::int64_t inHand = std::min<std::int64_t>(padded, std::int64_t(c.head));
    if (c.kind != FormatKind::Tiff && c.kind != FormatKind::Pdf && c.kind != FormatKind::Zip) {
      EXPECT_LE(w.bytesRead, padded - inHand);
    } else {
      EXPECT_LE(w.bytesRead, padded - inHand + 2048);
    }
  }
}

TEST(FormatWalk, TiffMakeTagChoosesTheCameraRawType) {
  const std::vector<std::pair<std::string_view, std::int32_t>> makes = {
      {"NIKON CORPORATION", 114}, {"PENTAX Corporation", 116}, {"SONY", 118}, {"Canon", 87}, {"", 87}};
  for (const auto& [make, type] : makes) {
    SCOPED_TRACE(std::string(make));
    const Walked w = WalkBytes(FormatKind::Tiff, Tiff(make.empty() ? "\0" : make));
    EXPECT_TRUE(w.end.Found());
    EXPECT_EQ(w.end.typeId, type);
  }
}

TEST(FormatWalk, AStopEndsAWalkAndTheLimitIsNeverPassed) {
  // A JPEG scan that never ends: the walk reads to the limit and stops there.
  const std::size_t jpegBytes = Jpeg().size();
  Bytes endless = Cat({Jpeg(), Noise(1 << 20, 5)});
  endless.resize(endless.size() / 512 * 512);
  // Its EOI (and the fill byte before it) overwritten: the scan goes on.
  for (std::size_t i = jpegBytes - 3; i < jpegBytes; ++i) endless[i] = 0x12;
  std::vector<std::uint8_t> scratch;
  std::int64_t furthest = 0;
  auto read = [&](std::int64_t position, std::uint8_t* out, std::size_t length) -> std::int64_t {
    const std::size_t n = std::min(length, endless.size() - std::size_t(position));
    std::memcpy(out, endless.data() + position, n);
    furthest = std::max<std::int64_t>(furthest, position + std::int64_t(n));
    return std::int64_t(n);
  };
  {
    FormatReader reader(platform::Bytes(endless.data(), 512), std::int64_t(endless.size()), 300000, read, {},
                        scratch);
    EXPECT_FALSE(WalkJpeg(reader).Found());
    EXPECT_LE(furthest, 300000 + 512);
  }
  int calls = 0;
  FormatReader stopped(platform::Bytes(endless.data(), 512), std::int64_t(endless.size()),
                       std::int64_t(endless.size()), read, [&] { return ++calls < 3; }, scratch);
  EXPECT_FALSE(WalkJpeg(stopped).Found());
  EXPECT_TRUE(stopped.Stopped());
}

// ---- Header checks of the two-byte signatures -------------------------------------------

namespace {

bool Holds(bool (*check)(FormatReader&), Bytes bytes) {
  bytes.resize(std::max<std::size_t>(bytes.size(), 1024), 0);
  std::vector<std::uint8_t> scratch;
  FormatReader reader(platform::Bytes(bytes), std::int64_t(bytes.size()), std::int64_t(bytes.size()), {}, {},
                      scratch);
  return check(reader);
}

Bytes DosHeader(std::uint16_t lastPage, std::uint16_t pages, std::uint16_t relocations, std::uint16_t paragraphs,
                std::uint16_t table, std::uint32_t newHeader = 0) {
  Bytes h = Cat({Text("MZ"), Le16(lastPage), Le16(pages), Le16(relocations), Le16(paragraphs), Le16(0), Le16(0xFFFF),
                 Le16(0), Le16(0xB8), Le16(0), Le16(0), Le16(0), Le16(table), Le16(0)});
  h.resize(64, 0);
  std::memcpy(&h[60], Le32(newHeader).data(), 4);
  return h;
}

Bytes ArjHeader(bool goodCrc) {
  Bytes basic = Cat({{30, 11, 1, 2, 0x10, 0, 2, 0}, Le32(0x52A1C000), Le32(0), Le32(0), Le32(0), Le32(0), Le16(0),
                     Le16(0), Text("archive.arj"), {0}, {0}});
  const std::uint32_t crc = crc32(0, basic.data(), uInt(basic.size())) ^ (goodCrc ? 0 : 1);
  return Cat({{0x60, 0xEA}, Le16(std::uint32_t(basic.size())), basic, Le32(crc), Le16(0)});
}

// HA: the count, then an entry: type (version 2, method), packed and original
// lengths, CRC, time, path, name, machine data.
Bytes HaArchive(std::uint8_t type, std::uint32_t packed, std::uint32_t original, std::string_view name) {
  return Cat({Text("HA"), Le16(1), {type}, Le32(packed), Le32(original), Le32(0x1234), Le32(0x5000), {0},
              Text(name), {0}, {2, 1, 0x20}});
}

}  // namespace

TEST(HeaderCheck, TwoByteSignaturesNeedAHeaderThatHolds) {
  Bytes pe = DosHeader(0x90, 3, 0, 4, 0x40, 0x80);
  pe.resize(0x80, 0);
  pe = Cat({pe, Text("PE\0\0"sv)});
  Bytes ne = DosHeader(0x90, 3, 0, 4, 0x40, 0x80);
  ne.resize(0x80, 0);
  ne = Cat({ne, Text("NE")});
  Bytes bogusNew = DosHeader(0x90, 3, 0, 4, 0x40, 0x80);
  bogusNew.resize(0x80, 0);
  bogusNew = Cat({bogusNew, Text("XY")});
  // A PE whose DOS fields are all zero still runs (the loader reads only the offset).
  Bytes bare = Cat({Text("MZ"), Fill(58, 0), Le32(0x40), Text("PE\0\0"sv)});
  const struct {
    const char* what;
    bool (*check)(FormatReader&);
    Bytes bytes;
    bool holds;
  } cases[] = {
      {"plain DOS program, no new header", DosExecutableHeaderHolds, DosHeader(0x1F0, 20, 2, 3, 0x1C), true},
      {"DOS program with room for a new header left zero", DosExecutableHeaderHolds, DosHeader(0x90, 3, 0, 4, 0x40),
       true},
      {"Windows program (PE)", DosExecutableHeaderHolds, pe, true},
      {"Windows 3 program (NE)", DosExecutableHeaderHolds, ne, true},
      {"PE with zero DOS fields", DosExecutableHeaderHolds, bare, true},
      {"new header offset at no header", DosExecutableHeaderHolds, bogusNew, false},
      {"last page bytes over 511", DosExecutableHeaderHolds, DosHeader(600, 3, 0, 4, 0x40), false},
      {"no pages", DosExecutableHeaderHolds, DosHeader(0, 0, 0, 4, 0x40), false},
      {"header larger than the program", DosExecutableHeaderHolds, DosHeader(0, 1, 0, 40, 0x40), false},
      {"relocations outside the header", DosExecutableHeaderHolds, DosHeader(0, 8, 40, 4, 0x40), false},
      {"random bytes after MZ", DosExecutableHeaderHolds, Cat({Text("MZ"), Noise(200, 1)}), false},
      {"gzip, deflate", GzipHeaderHolds, Cat({{0x1F, 0x8B, 8, 0x08}, Fill(6, 0)}), true},
      {"gzip, method 7", GzipHeaderHolds, Cat({{0x1F, 0x8B, 7, 0}, Fill(6, 0)}), false},
      {"gzip, reserved flag", GzipHeaderHolds, Cat({{0x1F, 0x8B, 8, 0x20}, Fill(6, 0)}), false},
      {"ARJ with its CRC", ArjHeaderHolds, ArjHeader(true), true},
      {"ARJ with a wrong CRC", ArjHeaderHolds, ArjHeader(false), false},
      {"ARJ, random bytes", ArjHeaderHolds, Cat({{0x60, 0xEA}, Noise(300, 2)}), false},
      {"HA, stored file", HaHeaderHolds, HaArchive(0x20, 10, 10, "readme.txt"), true},
      {"HA, compressed file", HaHeaderHolds, HaArchive(0x22, 6, 10, "readme.txt"), true},
      {"HA, folder", HaHeaderHolds, HaArchive(0x2E, 0, 0, "docs"), true},
      {"HA, stored with unequal lengths", HaHeaderHolds, HaArchive(0x20, 6, 10, "readme.txt"), false},
      {"HA, unknown method", HaHeaderHolds, HaArchive(0x27, 6, 10, "readme.txt"), false},
      {"HA, no name", HaHeaderHolds, HaArchive(0x22, 6, 10, ""), false},
      {"HA, random bytes", HaHeaderHolds, Cat({Text("HA"), Noise(300, 3)}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Holds(c.check, c.bytes), c.holds);
  }
  // Types without a check always hold.
  EXPECT_TRUE(Holds([](FormatReader& r) { return HeaderIsPossible(47, r); }, Text("anything")));
}

TEST(FormatReader, ReadsEachByteOnceAcrossTheHeadsEndAndNeverPastTheVolume) {
  const Bytes file = Noise(8192, 3);
  std::vector<std::uint8_t> scratch;
  std::vector<std::pair<std::int64_t, std::size_t>> reads;
  auto read = [&](std::int64_t position, std::uint8_t* out, std::size_t length) -> std::int64_t {
    reads.emplace_back(position, length);
    EXPECT_LE(position + std::int64_t(length), std::int64_t(file.size()));
    std::memcpy(out, file.data() + position, length);
    return std::int64_t(length);
  };
  FormatReader r(platform::Bytes(file.data(), 1024), std::int64_t(file.size()), 6000, read, {}, scratch);
  // A byte just past the head, then a pair across its end, then on to the limit.
  ASSERT_NE(r.Get(1024, 1), nullptr);
  const std::uint8_t* pair = r.Get(1023, 2);
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(std::memcmp(pair, file.data() + 1023, 2), 0);
  std::int64_t at = 1025;
  while (true) {
    const platform::Bytes s = r.Span(at);
    if (s.empty()) break;
    EXPECT_EQ(std::memcmp(s.data(), file.data() + at, s.size()), 0);
    at += std::int64_t(s.size());
  }
  EXPECT_EQ(at, 6000);  // the limit
  EXPECT_EQ(r.Get(5999, 2), nullptr);
  std::uint8_t back[4];
  EXPECT_TRUE(r.Peek(100, back, 4));  // in the head: no read
  EXPECT_EQ(std::memcmp(back, file.data() + 100, 4), 0);
  std::int64_t total = 0;
  for (auto [position, length] : reads) total += std::int64_t(length);
  EXPECT_LE(total, 6144 - 1024);  // the sectors up to the limit past the head, once
}

// A damaged file costs little: a walk gives up within a bounded stretch of bytes
// instead of searching the rest of the volume for an end.
TEST(FormatWalk, ADamagedFileCostsLittle) {
  const Bytes noise = Noise(std::size_t(80) << 20, 7);
  const Bytes zip = Zip(), jpeg = Jpeg(), gz = Gzip(100);
  Bytes streamed = Bytes(zip.begin(), zip.begin() + 30 + 5);
  streamed[6] = 8;  // sizes after the data, in a descriptor that never comes
  const struct {
    const char* what;
    FormatKind kind;
    Bytes head;
    std::int64_t most;  // bytes read at most
  } cases[] = {
      {"PDF header, then noise", FormatKind::Pdf, Text("%PDF-1.4\n"), 4096},
      {"PDF whose objects stop", FormatKind::Pdf, Text("%PDF-1.4\n1 0 obj\n<< >>\nendobj\n"), (34 << 20) + 4096},
      {"ZIP entry whose descriptor never comes", FormatKind::Zip, streamed, (66 << 20)},
      {"JPEG header, then noise", FormatKind::Jpeg, Bytes(jpeg.begin(), jpeg.begin() + 30), 4096},
      {"gzip header, then noise", FormatKind::Gzip, Bytes(gz.begin(), gz.begin() + 12), 1 << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Walked w = WalkBytes(c.kind, Cat({c.head, noise}));
    EXPECT_FALSE(w.end.Found());
    EXPECT_LE(w.bytesRead, c.most);
  }
}

// A small file read from the volume costs little more than its own bytes, however
// much the volume holds after it; a large one is read in runs that grow.
TEST(FormatReader, ReadsLittleBeyondASmallFile) {
  const Bytes jpeg = Jpeg();
  const Walked small = WalkBytes(FormatKind::Jpeg, Cat({jpeg, Noise(std::size_t(4) << 20, 1)}), 0);
  EXPECT_EQ(small.end.end, std::int64_t(jpeg.size()));
  EXPECT_LE(small.bytesRead, std::int64_t(jpeg.size()) + FormatReader::kFirstFill);
  const Bytes gz = Gzip(std::size_t(3) << 20);
  const Walked large = WalkBytes(FormatKind::Gzip, Cat({gz, Noise(std::size_t(4) << 20, 2)}), 0);
  EXPECT_EQ(large.end.end, std::int64_t(gz.size()));
  EXPECT_LE(large.bytesRead, std::int64_t(gz.size()) + std::int64_t(FormatReader::kWindowBytes));
}
