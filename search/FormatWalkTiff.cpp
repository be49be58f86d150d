// The TIFF walk: the file ends with the furthest structure its IFDs reference (the
// IFD chain, SubIFDs, the Exif, GPS and interoperability IFDs, strips and tiles with
// their byte counts, a JPEG thumbnail, every value stored out of line). IFD0's Make
// tag tells the camera raw formats built on TIFF apart.
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "search/FormatReader.h"
#include "search/FormatWalk.h"

namespace {

constexpr std::size_t kMaxIfds = 512;
constexpr std::uint32_t kMaxEntries = 4096;     // per IFD
constexpr std::uint64_t kMaxArray = 1u << 20;   // strip or tile offsets read per tag

class TiffWalk {
 public:
  TiffWalk(FormatReader& r, bool little) : r_(r), little_(little) {}

  std::uint32_t U16(const std::uint8_t* p) const {
    return little_ ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 : std::uint32_t(p[0]) << 8 | p[1];
  }
  std::uint32_t U32(const std::uint8_t* p) const {
    return little_ ? U16(p) | U16(p + 2) << 16 : U16(p) << 16 | U16(p + 2);
  }

  FormatEnd Run(std::uint32_t first) {
    pending_.push_back(first);
    bool firstIfd = true;
    while (!pending_.empty()) {
      const std::uint32_t ifd = pending_.back();
      pending_.pop_back();
      if (!seen_.insert(ifd).second) continue;  // a loop of offsets
      if (seen_.size() > kMaxIfds || !ReadIfd(ifd, firstIfd)) return {};
      firstIfd = false;
    }
    FormatEnd e;
    e.end = end_;
    e.typeId = 87;
    std::string make;
    for (char c : make_) make.push_back(char(c >= 'a' && c <= 'z' ? c - 32 : c));
    if (make.rfind("NIKON", 0) == 0) e.typeId = 114;
    else if (make.rfind("PENTAX", 0) == 0) e.typeId = 116;
    else if (make.rfind("SONY", 0) == 0) e.typeId = 118;
    return e;
  }

 private:
  bool Reach(std::uint64_t end) {
    if (end > std::uint64_t(r_.Limit())) return false;
    end_ = std::max<std::int64_t>(end_, std::int64_t(end));
    return true;
  }

  // The values of a SHORT or LONG array tag.
  bool Values(std::uint32_t type, std::uint32_t count, const std::uint8_t* inline4, std::vector<std::uint64_t>& out) {
    out.clear();
    const std::uint32_t width = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
    if (width == 0 || count > kMaxArray) return false;
    const std::uint64_t bytes = std::uint64_t(width) * count;
    std::vector<std::uint8_t> buffer;
    const std::uint8_t* p = inline4;
    if (bytes > 4) {
      buffer.resize(std::size_t(bytes));
      if (!r_.Peek(U32(inline4), buffer.data(), buffer.size())) return false;
      p = buffer.data();
    }
    for (std::uint32_t i = 0; i < count; ++i) out.push_back(width == 2 ? U16(p + 2 * i) : U32(p + 4 * i));
    return true;
  }

  bool ReadIfd(std::uint32_t at, bool first) {
    if (at < 8) return false;
    std::uint8_t countBytes[2];
    if (!r_.Peek(at, countBytes, 2)) return false;
    const std::uint32_t count = U16(countBytes);
    if (count == 0 || count > kMaxEntries) return false;
    std::vector<std::uint8_t> entries(std::size_t(count) * 12 + 4);
    if (!r_.Peek(std::int64_t(at) + 2, entries.data(), entries.size())) return false;
    if (!Reach(std::uint64_t(at) + 2 + entries.size())) return false;

    static const std::uint8_t kTypeBytes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    std::vector<std::uint64_t> offsets[3], counts[3];  // strips, tiles, the JPEG thumbnail
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* e = entries.data() + 12 * i;
      const std::uint32_t tag = U16(e), type = U16(e + 2), n = U32(e + 4);
      const std::uint64_t bytes = std::uint64_t(type < 14 ? kTypeBytes[type] : 1) * n;
      if (bytes > 4 && !Reach(std::uint64_t(U32(e + 8)) + bytes)) return false;
      std::vector<std::uint64_t> v;
      switch (tag) {
        case 273: if (!Values(type, n, e + 8, offsets[0])) return false; break;
        case 279: if (!Values(type, n, e + 8, counts[0])) return false; break;
        case 324: if (!Values(type, n, e + 8, offsets[1])) return false; break;
        case 325: if (!Values(type, n, e + 8, counts[1])) return false; break;
        case 513: if (!Values(type, n, e + 8, offsets[2])) return false; break;
        case 514: if (!Values(type, n, e + 8, counts[2])) return false; break;
        case 330: case 34665: case 34853: case 40965:  // SubIFDs, Exif, GPS, interoperability
          if (!Values(type, n, e + 8, v)) return false;
          for (std::uint64_t o : v) pending_.push_back(std::uint32_t(o));
          break;
        case 271:
          if (first && type == 2) {
            char text[33] = {};
            const std::size_t len = std::min<std::size_t>(n, 32);
            if (n <= 4) std::memcpy(text, e + 8, len);
            else if (!r_.Peek(U32(e + 8), text, len)) return false;
            make_.assign(text, strnlen(text, len));
          }
          break;
        default: break;
      }
    }
    for (int k = 0; k < 3; ++k) {
      if (offsets[k].size() != counts[k].size()) {
        if (!offsets[k].empty() && !counts[k].empty()) return false;
        continue;
      }
      for (std::size_t i = 0; i < offsets[k].size(); ++i)
        if (!Reach(offsets[k][i] + counts[k][i])) return false;
    }
    const std::uint32_t next = U32(entries.data() + 12 * count);
    if (next) pending_.push_back(next);
    return true;
  }

  FormatReader& r_;
  const bool little_;
  std::int64_t end_ = 8;
  std::vector<std::uint32_t> pending_;
  std::unordered_set<std::uint32_t> seen_;
  std::string make_;
};

}  // namespace

FormatEnd WalkTiff(FormatReader& r) {
  const std::uint8_t* h = r.Get(0, 8);
  if (!h) return {};
  bool little;
  if (std::memcmp(h, "II*\0", 4) == 0) little = true;
  else if (std::memcmp(h, "MM\0*", 4) == 0) little = false;
  else return {};
  TiffWalk walk(r, little);
  return walk.Run(walk.U32(h + 4));
}
