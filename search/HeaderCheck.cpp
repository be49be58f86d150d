#include "search/HeaderCheck.h"

#include <zlib.h>

#include <cstring>

#include "search/FormatReader.h"

namespace {

std::uint32_t Le16(const std::uint8_t* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

}  // namespace

bool HeaderIsPossible(std::int32_t typeId, FormatReader& reader) {
  switch (typeId) {
    case 400: return DosExecutableHeaderHolds(reader);
    case 331: return GzipHeaderHolds(reader);
    case 320: return ArjHeaderHolds(reader);
    case 334: return HaHeaderHolds(reader);
    default: return true;
  }
}

bool DosExecutableHeaderHolds(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 28);
  if (!h || h[0] != 'M' || h[1] != 'Z') return false;
  // A new-header offset that points at a PE header makes a Windows program, whatever
  // the DOS fields say (the loader reads only that offset).
  if (const std::uint8_t* x = r.Get(60, 4)) {
    std::uint8_t sig[4];
    const std::uint32_t next = Le32(x);
    if (next >= 64 && r.Peek(next, sig, 4) && std::memcmp(sig, "PE\0\0", 4) == 0) return true;
  }
  const std::uint32_t lastPageBytes = Le16(h + 2), pages = Le16(h + 4), relocations = Le16(h + 6),
                      headerParagraphs = Le16(h + 8), relocationTable = Le16(h + 24);
  if (lastPageBytes >= 512 || pages == 0) return false;
  const std::uint32_t headerBytes = headerParagraphs * 16;
  const std::uint32_t imageBytes = pages * 512 - (lastPageBytes ? 512 - lastPageBytes : 0);
  if (headerBytes < 28 || headerBytes > imageBytes) return false;
  if (relocations > 0 && (relocationTable < 28 || relocationTable + 4 * relocations > headerBytes)) return false;
  // The new-header offset at 60 exists where the header reaches past it and the
  // relocation table does not stand there.
  if (headerBytes < 64 || (relocations > 0 && relocationTable < 64)) return true;
  const std::uint8_t* x = r.Get(60, 4);
  if (!x) return true;
  const std::uint32_t next = Le32(x);
  if (next == 0) return true;
  std::uint8_t sig[4];
  if (next < 64 || !r.Peek(next, sig, 4)) return false;
  if (std::memcmp(sig, "PE\0\0", 4) == 0) return true;
  return (sig[0] == 'N' && sig[1] == 'E') || (sig[0] == 'L' && (sig[1] == 'E' || sig[1] == 'X'));
}

bool GzipHeaderHolds(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 10);
  return h && h[0] == 0x1F && h[1] == 0x8B && h[2] == 8 && (h[3] & 0xE0) == 0;
}

bool ArjHeaderHolds(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 4);
  if (!h || h[0] != 0x60 || h[1] != 0xEA) return false;
  const std::uint32_t size = Le16(h + 2);
  if (size < 30 || size > 2600) return false;
  const std::uint8_t* basic = r.Get(4, size + 4);
  if (!basic || basic[0] > size) return false;
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), basic, size);
  return crc == Le32(basic + size);
}

bool HaHeaderHolds(FormatReader& r) {
  // "HA", the file count, then the first entry: type (version high, method low),
  // packed and original lengths, CRC, time, the path and the name (each ended by
  // NUL), the length of the machine-specific data.
  const std::uint8_t* h = r.Get(0, 21);
  if (!h || h[0] != 'H' || h[1] != 'A') return false;
  if (Le16(h + 2) == 0) return false;
  const std::uint8_t type = h[4];
  const std::uint32_t method = type & 0x0F, version = type >> 4;
  if (version > 2 || !(method <= 2 || method == 14 || method == 15)) return false;
  const std::uint32_t packed = Le32(h + 5), original = Le32(h + 9);
  if (method == 0 && packed != original) return false;
  if (method == 14 && (packed != 0 || original != 0)) return false;
  std::int64_t pos = 21;
  for (int part = 0; part < 2; ++part) {  // the path, then the name
    std::int32_t length = 0;
    for (;; ++pos, ++length) {
      const int c = r.At(pos);
      if (c < 0 || length > 255) return false;
      if (c == 0) break;
      if (c < 0x20) return false;
    }
    if (part == 1 && length == 0) return false;
    ++pos;
  }
  const int machine = r.At(pos);
  return machine >= 0 && r.Get(pos + 1, std::size_t(machine)) != nullptr;
}
