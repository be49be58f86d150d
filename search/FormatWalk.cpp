#include "search/FormatWalk.h"

#include <cstring>

#include "search/FormatReader.h"

namespace {

std::uint32_t Be16(const std::uint8_t* p) { return std::uint32_t(p[0]) << 8 | p[1]; }
std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

FormatEnd Ended(std::int64_t end) {
  FormatEnd e;
  e.end = end;
  return e;
}

// JPEG: from the first position after an 0xFF of the entropy-coded data, the position
// of the marker that ends the scan (its 0xFF), or -1. Stuffed zeros, restart markers
// and fill bytes belong to the scan.
std::int64_t EndOfScan(FormatReader& r, std::int64_t pos) {
  for (;;) {
    const platform::Bytes s = r.Span(pos);
    if (s.empty()) return -1;
    const void* ff = std::memchr(s.data(), 0xFF, s.size());
    if (!ff) {
      pos += std::int64_t(s.size());
      continue;
    }
    const std::int64_t at = pos + (static_cast<const std::uint8_t*>(ff) - s.data());
    std::int64_t next = at + 1;
    int b = r.At(next);
    while (b == 0xFF) b = r.At(++next);  // fill bytes before a marker
    if (b < 0) return -1;
    if (b == 0x00 || (b >= 0xD0 && b <= 0xD7)) {
      pos = next + 1;
      continue;
    }
    return next - 1;  // the last 0xFF before the marker code
  }
}

FormatEnd WalkKind(FormatKind kind, FormatReader& reader);

}  // namespace

FormatKind FormatKindOfType(std::int32_t typeId) {
  switch (typeId) {
    case 83: return FormatKind::Jpeg;
    case 88: return FormatKind::Png;
    case 85: return FormatKind::Gif;
    case 87: case 114: case 116: case 118: return FormatKind::Tiff;
    case 300: case 338: return FormatKind::Zip;
    case 47: return FormatKind::Pdf;
    case 200: case 524: case 94: return FormatKind::Riff;
    case 141: case 170: case 181: return FormatKind::IsoMedia;
    case 330: return FormatKind::Tar;
    case 331: return FormatKind::Gzip;
    default: return FormatKind::None;
  }
}

std::int64_t FormatMaxBytes(FormatKind kind) {
  constexpr std::int64_t MB = std::int64_t(1) << 20;
  switch (kind) {
    case FormatKind::Jpeg: return 256 * MB;
    case FormatKind::Png: return 256 * MB;
    case FormatKind::Gif: return 64 * MB;
    case FormatKind::Tiff: return 4096 * MB;
    case FormatKind::Zip: return 16384 * MB;
    case FormatKind::Pdf: return 256 * MB;
    case FormatKind::Riff: return 4096 * MB + 8;
    case FormatKind::IsoMedia: return 65536 * MB;
    case FormatKind::Tar: return 65536 * MB;
    case FormatKind::Gzip: return 4096 * MB;
    case FormatKind::None: break;
  }
  return 0;
}

FormatEnd WalkFormat(FormatKind kind, FormatReader& reader) {
  const FormatEnd e = WalkKind(kind, reader);
  // An end the bytes at hand do not reach is none.
  return e.end <= reader.Limit() ? e : FormatEnd{};
}

namespace {

FormatEnd WalkKind(FormatKind kind, FormatReader& reader) {
  switch (kind) {
    case FormatKind::Jpeg: return WalkJpeg(reader);
    case FormatKind::Png: return WalkPng(reader);
    case FormatKind::Gif: return WalkGif(reader);
    case FormatKind::Tiff: return WalkTiff(reader);
    case FormatKind::Zip: return WalkZip(reader);
    case FormatKind::Pdf: return WalkPdf(reader);
    case FormatKind::Riff: return WalkRiff(reader);
    case FormatKind::IsoMedia: return WalkIsoMedia(reader);
    case FormatKind::Tar: return WalkTar(reader);
    case FormatKind::Gzip: return WalkGzip(reader);
    case FormatKind::None: break;
  }
  return {};
}

}  // namespace

FormatEnd WalkJpeg(FormatReader& r) {
  const std::uint8_t* soi = r.Get(0, 2);
  if (!soi || soi[0] != 0xFF || soi[1] != 0xD8) return {};
  std::int64_t pos = 2;
  bool scanned = false;
  for (;;) {
    const std::uint8_t* m = r.Get(pos, 2);
    if (!m || m[0] != 0xFF) return {};
    if (m[1] == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    const std::uint8_t code = m[1];
    if (code == 0xD9) return scanned ? Ended(pos + 2) : FormatEnd{};
    if (code == 0xD8 || code == 0x00) return {};
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {  // no length
      pos += 2;
      continue;
    }
    const std::uint8_t* len = r.Get(pos + 2, 2);
    if (!len) return {};
    const std::uint32_t n = Be16(len);
    if (n < 2) return {};
    pos += 2 + n;
    if (code == 0xDA) {
      pos = EndOfScan(r, pos);
      if (pos < 0) return {};
      scanned = true;
    }
  }
}

FormatEnd WalkPng(FormatReader& r) {
  static const std::uint8_t kMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const std::uint8_t* magic = r.Get(0, 8);
  if (!magic || std::memcmp(magic, kMagic, 8) != 0) return {};
  auto letter = [](std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  std::int64_t pos = 8;
  for (;;) {
    const std::uint8_t* h = r.Get(pos, 8);
    if (!h) return {};
    const std::uint32_t length = Be32(h);
    if (length > 0x7FFFFFFFu) return {};
    for (int i = 4; i < 8; ++i)
      if (!letter(h[i])) return {};
    const bool iend = std::memcmp(h + 4, "IEND", 4) == 0;
    const std::int64_t end = pos + 12 + std::int64_t(length);
    if (iend) {
      // An empty chunk whose CRC is that of its type alone.
      const std::uint8_t* crc = r.Get(pos + 8, 4);
      if (length != 0 || !crc || Be32(crc) != 0xAE426082u) return {};
      return Ended(end);
    }
    if (end > r.Limit()) return {};
    pos = end;
  }
}

FormatEnd WalkGif(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 13);
  if (!h || std::memcmp(h, "GIF8", 4) != 0 || (h[4] != '7' && h[4] != '9') || h[5] != 'a') return {};
  auto tableBytes = [](std::uint8_t flags) { return (flags & 0x80) ? 3 * (2 << (flags & 7)) : 0; };
  std::int64_t pos = 13 + tableBytes(h[10]);
  // Sub-blocks: a length byte and that many bytes, to an empty one.
  auto subBlocks = [&r](std::int64_t& at) {
    for (;;) {
      const int n = r.At(at);
      if (n < 0) return false;
      at += 1 + n;
      if (n == 0) return true;
    }
  };
  bool image = false;
  for (;;) {
    const int b = r.At(pos);
    if (b == 0x3B) return image ? Ended(pos + 1) : FormatEnd{};
    if (b == 0x21) {
      if (r.At(pos + 1) < 0) return {};
      pos += 2;
      if (!subBlocks(pos)) return {};
    } else if (b == 0x2C) {
      const std::uint8_t* d = r.Get(pos, 11);
      if (!d) return {};
      pos += 10 + tableBytes(d[9]);
      const int codeSize = r.At(pos);
      if (codeSize < 1 || codeSize > 12) return {};
      ++pos;
      if (!subBlocks(pos)) return {};
      image = true;
    } else {
      return {};
    }
  }
}

FormatEnd WalkRiff(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 12);
  if (!h || std::memcmp(h, "RIFF", 4) != 0) return {};
  const bool avi = std::memcmp(h + 8, "AVI ", 4) == 0;
  std::int64_t end = 0;
  // An AVI past 1 GB goes on in "AVIX" RIFF chunks after the first.
  for (int part = 0; part < 4096; ++part) {
    const std::uint8_t* c = r.Get(end, 12);
    if (part > 0 && (!c || std::memcmp(c, "RIFF", 4) != 0 || std::memcmp(c + 8, "AVIX", 4) != 0)) break;
    const std::uint32_t size = Le32(c + 4);
    if (size < 4 || std::int64_t(size) + 8 > r.Limit() - end) return part > 0 ? Ended(end) : FormatEnd{};
    end += 8 + std::int64_t(size);
    if (!avi) break;
  }
  return Ended(end);
}

FormatEnd WalkIsoMedia(FormatReader& r) {
  // The box types that stand at the top level of these files.
  static const char* const kTopLevel[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot", "uuid",
                                          "meta", "moof", "mfra", "sidx", "ssix", "styp", "pdin", "prft",
                                          "emsg", "udta", "junk", "PICT"};
  auto known = [](const std::uint8_t* type) {
    for (const char* t : kTopLevel)
      if (std::memcmp(type, t, 4) == 0) return true;
    return false;
  };
  std::int64_t pos = 0;
  bool movie = false;
  for (std::int32_t boxes = 0; boxes < 100000; ++boxes) {
    if (pos == r.Limit()) break;
    const std::uint8_t* h = r.Get(pos, 8);
    if (!h || !known(h + 4)) {
      if (pos == 0 || r.Stopped()) return {};
      break;  // the next bytes are not a box of the file: it ends here
    }
    std::uint64_t size = Be32(h);
    const bool isMovie = std::memcmp(h + 4, "moov", 4) == 0;
    if (size == 1) {
      const std::uint8_t* big = r.Get(pos + 8, 8);
      if (!big) return {};
      size = std::uint64_t(Be32(big)) << 32 | Be32(big + 4);
      if (size < 16) return {};
    } else if (size < 8) {
      return {};  // 0: the box runs to the end of a file whose end is not known
    }
    if (size > std::uint64_t(r.Limit() - pos)) return {};
    movie = movie || isMovie;
    pos += std::int64_t(size);
  }
  if (!movie) return {};
  return Ended(pos);
}

FormatEnd WalkTar(FormatReader& r) {
  constexpr std::int64_t kBlock = 512;
  constexpr std::int64_t kRecord = 20 * kBlock;  // GNU tar's default record
  auto zero = [](const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (p[i]) return false;
    return true;
  };
  // A numeric field: octal digits (leading blanks, ended by NUL or blank), or
  // base-256 with the high bit of the first byte set.
  auto number = [](const std::uint8_t* p, std::size_t n, std::uint64_t& out) {
    out = 0;
    if (p[0] & 0x80) {
      if (p[0] != 0x80) return false;  // negative or too large
      for (std::size_t i = 1; i < n; ++i) {
        if (out >> 55) return false;
        out = out << 8 | p[i];
      }
      return true;
    }
    std::size_t i = 0;
    while (i < n && p[i] == ' ') ++i;
    bool digits = false;
    for (; i < n && p[i] >= '0' && p[i] <= '7'; ++i) {
      if (out >> 60) return false;
      out = out * 8 + (p[i] - '0');
      digits = true;
    }
    return (digits || i == n || p[i] == 0) && (i == n || p[i] == 0 || p[i] == ' ');
  };
  std::int64_t pos = 0;
  std::int64_t members = 0;
  for (;;) {
    const std::uint8_t* h = r.Get(pos, kBlock);
    if (!h) return {};
    if (zero(h, kBlock)) {
      const std::uint8_t* second = r.Get(pos + kBlock, kBlock);
      if (!second || !zero(second, kBlock) || members == 0) return {};
      std::int64_t end = pos + 2 * kBlock;
      // The rest of the last record, zero as tar writes it.
      const std::int64_t padded = (end + kRecord - 1) / kRecord * kRecord;
      bool zeros = padded <= r.Limit();
      for (std::int64_t at = end; zeros && at < padded; at += kBlock) {
        const std::uint8_t* b = r.Get(at, kBlock);
        zeros = b && zero(b, kBlock);
      }
      return Ended(zeros ? padded : end);
    }
    std::uint64_t stored = 0, size = 0;
    if (!number(h + 148, 8, stored) || !number(h + 124, 12, size)) return {};
    std::uint64_t sum = 0;
    for (std::int64_t i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    if (sum != stored) return {};
    const std::uint8_t kind = h[156];
    // Links, devices, folders and fifos carry no data blocks.
    const bool data = !(kind >= '1' && kind <= '6');
    const std::uint64_t blocks = data ? (size + kBlock - 1) / kBlock : 0;
    if (blocks > std::uint64_t(r.Limit() / kBlock)) return {};
    pos += kBlock * (1 + std::int64_t(blocks));
    ++members;
  }
}
