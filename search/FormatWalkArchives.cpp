// The walks of the archive and document formats: ZIP, gzip and PDF.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "search/FormatReader.h"
#include "search/FormatWalk.h"

namespace {

std::uint32_t Le16(const std::uint8_t* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
std::uint64_t Le64(const std::uint8_t* p) { return std::uint64_t(Le32(p)) | std::uint64_t(Le32(p + 4)) << 32; }

FormatEnd Ended(std::int64_t end) {
  FormatEnd e;
  e.end = end;
  return e;
}

bool Signature(const std::uint8_t* p, std::uint8_t a, std::uint8_t b) {
  return p[0] == 'P' && p[1] == 'K' && p[2] == a && p[3] == b;
}

// The first position at or after `from` where `needle` stands, or -1 (at the limit,
// on a read error, a stop, or when `look` says to give up: it sees each stretch of
// bytes searched, with its position). The window slides over the bytes once.
template <typename Look>
std::int64_t Find(FormatReader& r, std::int64_t from, std::string_view needle, Look&& look) {
  std::int64_t pos = from;
  for (;;) {
    const platform::Bytes s = r.Span(pos);
    if (s.empty()) return -1;
    if (s.size() < needle.size()) {
      // The window ends within a needle's length: move it on from here.
      if (!r.Get(pos, needle.size())) return -1;
      continue;
    }
    if (!look(pos, s)) return -1;
    const void* hit = memmem(s.data(), s.size(), needle.data(), needle.size());
    if (hit) return pos + (static_cast<const std::uint8_t*>(hit) - s.data());
    pos += std::int64_t(s.size() - needle.size() + 1);
  }
}
std::int64_t Find(FormatReader& r, std::int64_t from, std::string_view needle) {
  return Find(r, from, needle, [](std::int64_t, platform::Bytes) { return true; });
}

// A ZIP entry written with its sizes after the data (flag bit 3): the position after
// its data descriptor, found where the descriptor's compressed size matches the data
// that precedes it; -1 when none does.
std::int64_t AfterDescriptor(FormatReader& r, std::int64_t data, bool zip64) {
  // Only so far: a damaged archive must not cost a search through the rest of the
  // volume (a larger entry written this way keeps the sizing without an end).
  constexpr std::int64_t kMaxEntry = std::int64_t(64) << 20;
  auto near = [data](std::int64_t at, platform::Bytes) { return at - data <= kMaxEntry; };
  std::int64_t pos = data;
  for (;;) {
    const std::int64_t at = Find(r, pos, "PK", near);
    if (at < 0) return -1;
    const std::uint8_t* p = r.Get(at, 4);
    if (!p) return -1;
    if (Signature(p, 7, 8)) {
      const std::uint8_t* d = r.Get(at, zip64 ? 24 : 16);
      if (d && (zip64 ? Le64(d + 8) : Le32(d + 8)) == std::uint64_t(at - data)) return at + (zip64 ? 24 : 16);
    } else if (Signature(p, 3, 4) || Signature(p, 1, 2)) {
      // A descriptor without its signature right before the next header.
      const std::int64_t n = zip64 ? 20 : 12;
      if (at - n >= data) {
        std::uint8_t d[20];
        if (r.Peek(at - n, d, std::size_t(n)) && (zip64 ? Le64(d + 4) : Le32(d + 4)) == std::uint64_t(at - n - data))
          return at;
      }
    }
    pos = at + 1;
  }
}

// PDF: whether an "xref" table or an xref stream object stands at `at`.
bool XrefAt(FormatReader& r, std::int64_t at) {
  char b[1024] = {};
  const std::size_t n = r.PeekUpTo(at, b, sizeof b);
  if (n < 4) return false;
  const std::string_view text(b, n);
  if (text.substr(0, 4) == "xref") return true;
  // "N G obj" with /Type /XRef in its dictionary.
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t s = i;
    while (i < n && b[i] >= '0' && b[i] <= '9') ++i;
    return i > s;
  };
  auto blanks = [&] {
    const std::size_t s = i;
    while (i < n && (b[i] == ' ' || b[i] == '\r' || b[i] == '\n' || b[i] == '\t')) ++i;
    return i > s;
  };
  if (!digits() || !blanks() || !digits()) return false;
  blanks();
  if (text.substr(i, 3) != "obj") return false;
  const std::size_t stream = text.find("stream", i);
  const std::size_t type = text.find("/XRef", i);
  return type != std::string_view::npos && (stream == std::string_view::npos || type < stream);
}

// PDF: whether an incremental update starts at `at` (after blanks): an object
// ("N G obj"), an xref table, or a comment that is not another file's header.
bool UpdateFollows(FormatReader& r, std::int64_t at) {
  char b[48] = {};
  const std::size_t n = r.PeekUpTo(at, b, sizeof b);
  if (n < 4) return false;
  std::size_t i = 0;
  auto blank = [&](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; };
  while (i < n && blank(b[i])) ++i;
  const std::string_view text(b + i, n - i);
  if (text.substr(0, 4) == "xref") return true;
  if (text.substr(0, 1) == "%") return text.substr(0, 5) != "%PDF-" && text.substr(0, 2) != "%%";
  std::size_t k = 0;
  auto digits = [&] {
    const std::size_t s = k;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
    return k > s && k - s <= 10;
  };
  auto blanks = [&] {
    const std::size_t s = k;
    while (k < text.size() && blank(text[k])) ++k;
    return k > s;
  };
  return digits() && blanks() && digits() && blanks() && text.substr(k, 3) == "obj";
}

// PDF: the startxref value in the bytes before a "%%EOF" at `eof`, or -1.
std::int64_t StartXrefBefore(FormatReader& r, std::int64_t eof) {
  constexpr std::int64_t kBack = 64;
  const std::int64_t from = eof > kBack ? eof - kBack : 0;
  char b[kBack] = {};
  const std::size_t n = std::size_t(eof - from);
  if (!r.Peek(from, b, n)) return -1;
  const std::string_view text(b, n);
  const std::size_t key = text.rfind("startxref");
  if (key == std::string_view::npos) return -1;
  std::size_t i = key + 9;
  while (i < n && (b[i] == ' ' || b[i] == '\r' || b[i] == '\n' || b[i] == '\t')) ++i;
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < n && b[i] >= '0' && b[i] <= '9' && digits < 15; ++i, ++digits) value = value * 10 + (b[i] - '0');
  return digits ? value : -1;
}

}  // namespace

FormatEnd WalkZip(FormatReader& r) {
  std::int64_t pos = 0;
  std::int64_t entries = 0;
  // The local entries, each header followed by its data.
  for (;;) {
    const std::uint8_t* h = r.Get(pos, 30);
    if (!h) return {};
    if (!Signature(h, 3, 4)) break;
    // What archivers write: a version they need up to 6.3, a method of the format's
    // list, a name of printable bytes.
    const std::uint32_t method = Le16(h + 8);
    static const std::uint32_t kMethods[] = {0, 1, 6, 8, 9, 12, 14, 18, 19, 93, 94, 95, 96, 97, 98, 99};
    if (Le16(h + 4) > 63 || std::find(std::begin(kMethods), std::end(kMethods), method) == std::end(kMethods))
      return {};
    const std::uint32_t nameLength = Le16(h + 26);
    const std::uint8_t* name = r.Get(pos + 30, nameLength);
    if (nameLength == 0 || !name) return {};
    for (std::uint32_t i = 0; i < nameLength; ++i)
      if (name[i] < 0x20 || name[i] == 0x7F) return {};
    const std::uint32_t flags = Le16(h + 6);
    std::uint64_t packed = Le32(h + 18);
    const std::uint64_t unpacked = Le32(h + 22);
    const std::int64_t nameBytes = Le16(h + 26), extraBytes = Le16(h + 28);
    const std::int64_t data = pos + 30 + nameBytes + extraBytes;
    bool zip64 = false;
    if (packed == 0xFFFFFFFFu || unpacked == 0xFFFFFFFFu) {
      // The 64-bit sizes in the extra field (id 1): the original size first when it
      // is the one that overflowed, then the packed size.
      std::int64_t at = pos + 30 + nameBytes;
      const std::int64_t end = at + extraBytes;
      bool found = false;
      while (at + 4 <= end && !found) {
        const std::uint8_t* x = r.Get(at, 4);
        if (!x) return {};
        const std::uint32_t id = Le16(x), n = Le16(x + 2);
        if (id == 1) {
          const std::uint8_t* v = r.Get(at + 4, n);
          if (!v) return {};
          std::size_t k = 0;
          if (unpacked == 0xFFFFFFFFu) k += 8;
          if (packed == 0xFFFFFFFFu) {
            if (k + 8 > n) return {};
            packed = Le64(v + k);
          }
          found = true;
        }
        at += 4 + n;
      }
      if (!found) return {};
      zip64 = true;
    }
    if (flags & 8) {
      pos = AfterDescriptor(r, data, zip64);
      if (pos < 0) return {};
    } else {
      if (packed > std::uint64_t(r.Limit())) return {};
      pos = data + std::int64_t(packed);
    }
    ++entries;
  }
  // The central directory.
  const std::int64_t directory = pos;
  for (;;) {
    const std::uint8_t* h = r.Get(pos, 46);
    if (!h || !Signature(h, 1, 2)) break;
    pos += 46 + std::int64_t(Le16(h + 28)) + Le16(h + 30) + Le16(h + 32);
  }
  const std::int64_t directoryBytes = pos - directory;
  const std::uint8_t* h = r.Get(pos, 4);
  if (h && Signature(h, 5, 5)) {  // a digital signature record
    const std::uint8_t* s = r.Get(pos, 6);
    if (!s) return {};
    pos += 6 + Le16(s + 4);
    h = r.Get(pos, 4);
  }
  std::uint64_t directoryOffset64 = 0, directorySize64 = 0;
  bool zip64 = false;
  if (h && Signature(h, 6, 6)) {  // the ZIP64 end record and its locator
    const std::uint8_t* e = r.Get(pos, 56);
    if (!e) return {};
    const std::uint64_t size = Le64(e + 4);
    directorySize64 = Le64(e + 40);
    directoryOffset64 = Le64(e + 48);
    if (size < 44 || size > std::uint64_t(r.Limit())) return {};
    pos += 12 + std::int64_t(size);
    const std::uint8_t* l = r.Get(pos, 20);
    if (!l || !Signature(l, 6, 7)) return {};
    pos += 20;
    zip64 = true;
  }
  const std::uint8_t* e = r.Get(pos, 22);
  if (!e || !Signature(e, 5, 6) || entries + directoryBytes == 0) return {};
  std::uint64_t size = Le32(e + 12), offset = Le32(e + 16);
  if (zip64 && (size == 0xFFFFFFFFu || offset == 0xFFFFFFFFu)) {
    size = directorySize64;
    offset = directoryOffset64;
  }
  // The directory the end record names must be the one that follows the entries
  // from this archive's start.
  if (offset != std::uint64_t(directory) || size != std::uint64_t(directoryBytes)) return {};
  const std::int64_t end = pos + 22 + Le16(e + 20);
  if (end > r.Limit()) return {};
  return Ended(end);
}

FormatEnd WalkGzip(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 10);
  if (!h || h[0] != 0x1F || h[1] != 0x8B || h[2] != 8 || (h[3] & 0xE0)) return {};
  z_stream z{};
  // 16 + 15: a gzip member; zlib checks its CRC and length.
  if (inflateInit2(&z, 16 + 15) != Z_OK) return {};
  std::uint8_t out[16384];
  std::int64_t pos = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    const platform::Bytes s = r.Span(pos);
    if (s.empty()) break;
    z.next_in = const_cast<Bytef*>(s.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(s.size(), 1u << 30));
    const uInt given = z.avail_in;
    while (z.avail_in > 0 && status == Z_OK) {
      z.next_out = out;
      z.avail_out = sizeof out;
      status = inflate(&z, Z_NO_FLUSH);
    }
    if (status == Z_BUF_ERROR && z.avail_in == 0) status = Z_OK;  // more input wanted
    if (given == z.avail_in) break;                                // no progress
    pos += given - z.avail_in;
  }
  const bool ended = status == Z_STREAM_END;
  const std::int64_t end = std::int64_t(z.total_in);
  inflateEnd(&z);
  return ended ? Ended(end) : FormatEnd{};
}

FormatEnd WalkPdf(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 8);
  if (!h || std::memcmp(h, "%PDF-", 5) != 0) return {};
  // The header line, a comment line perhaps, then the first object: bytes without
  // one are no PDF to walk.
  {
    char head[1024] = {};
    const std::size_t n = r.PeekUpTo(0, head, sizeof head);
    if (!memmem(head, n, "obj", 3)) return {};
  }
  // Every object ends with "endobj": past this many bytes without one (or a "%%EOF")
  // the bytes are no longer the file's.
  constexpr std::int64_t kMaxGap = std::int64_t(32) << 20;
  std::int64_t lastObject = 0;
  auto objects = [&](std::int64_t at, platform::Bytes s) {
    if (memmem(s.data(), s.size(), "endobj", 6)) lastObject = std::max(lastObject, at);
    return at - lastObject <= kMaxGap;
  };
  std::int64_t end = -1;
  std::int64_t pos = 5;
  for (;;) {
    const std::int64_t eof = Find(r, pos, "%%EOF", objects);
    if (eof < 0) break;
    pos = eof + 5;
    lastObject = std::max(lastObject, eof);
    const std::int64_t xref = StartXrefBefore(r, eof);
    // An update's xref lies after the end it updates.
    if (xref <= 0 || xref >= eof || xref < end || !XrefAt(r, xref)) continue;
    // The end of line after the marker belongs to the file.
    std::int64_t after = eof + 5;
    const int c = r.At(after);
    if (c == '\r') {
      ++after;
      if (r.At(after) == '\n') ++after;
    } else if (c == '\n') {
      ++after;
    }
    end = after;
    // An incremental update goes on with objects, an xref table or a comment;
    // anything else (another file, free space) ends this one.
    if (!UpdateFollows(r, after)) break;
  }
  return end > 0 ? Ended(end) : FormatEnd{};
}
