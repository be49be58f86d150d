#pragma once
// Small files of the formats the carving walks know, built byte by byte: the
// walks' table test and the search tests plant them.

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <cstdint>
#include <vector>

namespace samples {

using namespace std::literals;
using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Be16(std::uint32_t v) { return {std::uint8_t(v >> 8), std::uint8_t(v)}; }
inline Bytes Be32(std::uint32_t v) { return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)}; }
inline Bytes Le16(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
inline Bytes Le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }
inline Bytes Fill(std::size_t n, std::uint8_t b) { return Bytes(n, b); }

// Bytes that no walk takes for a structure: a seeded generator without 0xFF.
inline Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = std::uint8_t((seed >> 16) % 251);
  }
  return out;
}

// ---- Hand-built files ----------------------------------------------------------------

inline Bytes JpegSegment(std::uint8_t code, const Bytes& body) { return Cat({{0xFF, code}, Be16(2 + body.size()), body}); }

// A baseline JPEG: JFIF, an Exif APP1 holding a whole thumbnail (its own SOI and
// EOI), tables, and a scan whose data has stuffed zeros, a restart marker and fill
// bytes before the EOI.
inline Bytes Jpeg(bool progressive = false) {
  const Bytes thumb = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x01, 0xFF, 0xD9};
  Bytes scan = Cat({Noise(900, 3), {0xFF, 0x00}, Noise(300, 4), {0xFF, 0xD3}, Noise(200, 5)});
  Bytes out = Cat({{0xFF, 0xD8}, JpegSegment(0xE0, Text("JFIF\0\1\1\0\0\1\0\1\0\0"sv)),
                   JpegSegment(0xE1, Cat({Text("Exif\0\0"sv), thumb})), JpegSegment(0xDB, Noise(65, 6)),
                   JpegSegment(progressive ? 0xC2 : 0xC0, Noise(15, 7)), JpegSegment(0xC4, Noise(30, 8)),
                   JpegSegment(0xDA, Noise(10, 9)), scan});
  if (progressive) out = Cat({out, JpegSegment(0xC4, Noise(20, 10)), JpegSegment(0xDA, Noise(8, 11)), Noise(700, 12)});
  return Cat({out, {0xFF, 0xFF, 0xD9}});
}

inline Bytes PngChunk(std::string_view type, const Bytes& data) {
  Bytes typed = Cat({Text(type), data});
  const std::uint32_t crc = crc32(0, typed.data(), uInt(typed.size()));
  return Cat({Be32(std::uint32_t(data.size())), typed, Be32(crc)});
}
inline Bytes Png() {
  return Cat({{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, PngChunk("IHDR", Noise(13, 1)),
              PngChunk("IDAT", Noise(2000, 2)), PngChunk("tEXt", Text("a\0b"sv)), PngChunk("IEND", {})});
}

inline Bytes Gif() {
  return Cat({Text("GIF89a"), {10, 0, 10, 0, 0x81, 0, 0}, Noise(12, 1),  // 4-colour table
              {0x21, 0xF9, 4, 1, 0, 0, 0, 0},                           // graphic control
              {0x2C, 0, 0, 0, 0, 10, 0, 10, 0, 0}, {2, 255}, Noise(255, 2), {7}, Noise(7, 3), {0}, {0x3B}});
}

// A little-endian TIFF: IFD0 at 8 with one strip and a Make text, its data, then an
// Exif IFD; `next` is IFD0's next-IFD offset.
inline Bytes Tiff(std::string_view make, std::uint32_t next = 0, std::uint32_t stripBytes = 300, bool big = false) {
  auto u16 = [big](std::uint32_t v) { return big ? Be16(v) : Le16(v); };
  auto u32 = [big](std::uint32_t v) { return big ? Be32(v) : Le32(v); };
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    return Cat({u16(tag), u16(type), u32(count), u32(value)});
  };
  const std::uint32_t ifd0 = 8, makeAt = ifd0 + 2 + 4 * 12 + 4, strip = makeAt + 32, exif = strip + 1000;
  Bytes out = Cat({big ? Text("MM\0*"sv) : Text("II*\0"sv), u32(ifd0), u16(4),
                   entry(271, 2, std::uint32_t(make.size() + 1), makeAt), entry(273, 4, 1, strip),
                   entry(279, 4, 1, stripBytes), entry(34665, 4, 1, exif), u32(next)});
  Bytes text = Text(make);
  text.resize(32, 0);
  out = Cat({out, text, Noise(1000, 1)});
  out = Cat({out, u16(1), entry(33434, 5, 1, exif + 18), u32(0), u32(1), u32(100)});
  return out;
}

// A stored ZIP entry, its central directory and the end record (with a comment).
inline Bytes Zip(std::uint32_t directoryShift = 0) {
  const Bytes name = Text("a.txt"), data = Text("hello, world\n");
  const Bytes local = Cat({Le32(0x04034B50), Le16(10), Le16(0), Le16(0), Le32(0), Le32(0),
                           Le32(std::uint32_t(data.size())), Le32(std::uint32_t(data.size())),
                           Le16(std::uint32_t(name.size())), Le16(0), name, data});
  const Bytes central = Cat({Le32(0x02014B50), Le16(20), Le16(10), Le16(0), Le16(0), Le32(0), Le32(0),
                             Le32(std::uint32_t(data.size())), Le32(std::uint32_t(data.size())),
                             Le16(std::uint32_t(name.size())), Le16(0), Le16(0), Le16(0), Le16(0), Le32(0), Le32(0),
                             name});
  const Bytes comment = Text("zip comment");
  return Cat({local, central, Le32(0x06054B50), Le16(0), Le16(0), Le16(1), Le16(1),
              Le32(std::uint32_t(central.size())), Le32(std::uint32_t(local.size() + directoryShift)),
              Le16(std::uint32_t(comment.size())), comment});
}

// A PDF with an xref table (or with startxref pointing elsewhere).
inline Bytes Pdf(std::int64_t xrefShift = 0) {
  std::string body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const std::size_t xref = body.size();
  body += "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Root 1 0 R /Size 2 >>\nstartxref\n";
  body += std::to_string(std::int64_t(xref) + xrefShift) + "\n%%EOF\n";
  return Text(body);
}

// An incremental update appended to a PDF of `base` bytes whose xref is at `prev`.
inline Bytes PdfUpdate(std::size_t base, std::size_t prev) {
  std::string update = "2 0 obj\n<< /Type /Page >>\nendobj\n";
  const std::size_t xref = base + update.size();
  update += "xref\n2 1\n" + std::string("0000000000 00000 n \n") + "trailer\n<< /Size 3 /Prev " +
            std::to_string(prev) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return Text(update);
}

inline Bytes TarHeader(std::string_view name, std::uint64_t size, char type = '0') {
  Bytes h(512, 0);
  std::memcpy(h.data(), name.data(), name.size());
  std::snprintf(reinterpret_cast<char*>(&h[100]), 8, "%07o", 0644);
  std::snprintf(reinterpret_cast<char*>(&h[124]), 12, "%011llo", static_cast<unsigned long long>(size));
  std::snprintf(reinterpret_cast<char*>(&h[136]), 12, "%011o", 0);
  h[156] = std::uint8_t(type);
  std::memcpy(&h[257], "ustar  ", 8);
  std::memset(&h[148], ' ', 8);
  unsigned sum = 0;
  for (std::uint8_t b : h) sum += b;
  std::snprintf(reinterpret_cast<char*>(&h[148]), 8, "%06o", sum);
  return h;
}
inline Bytes Tar() {
  return Cat({TarHeader("a.txt", 700), Noise(700, 1), Fill(324, 0), TarHeader("dir/", 0, '5'), TarHeader("b", 1),
              {'x'}, Fill(511, 0), Fill(1024, 0)});
}

inline Bytes Gzip(std::size_t n) {
  const Bytes data = Noise(n, 9);
  Bytes out(n + 1024);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) out.clear();
  else out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline Bytes Box(std::string_view type, std::size_t bodyBytes) {
  return Cat({Be32(std::uint32_t(8 + bodyBytes)), Text(type), Noise(bodyBytes, std::uint32_t(bodyBytes))});
}

}  // namespace samples
