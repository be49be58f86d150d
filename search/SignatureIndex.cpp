#include "search/SignatureIndex.h"

#include <algorithm>
#include <cstring>
#include <map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "search/FileType.h"
#include "search/FileTypeDatabase.h"

using platform::Bytes;

namespace {

// The search positions of SearchBytes: i < kSearchWindow - length, data whole
// inside the window.
std::size_t SearchPositions(std::size_t windowSize, std::size_t length) {
  if (length >= kSearchWindow || windowSize < length) return 0;
  return std::min(kSearchWindow - length, windowSize - length + 1);
}

bool Bit(const std::vector<std::uint64_t>& bits, std::uint32_t value) { return (bits[value >> 6] >> (value & 63)) & 1; }

}  // namespace

bool FastSearchBytesNoCase(Bytes window, Bytes data) {
  const std::size_t positions = SearchPositions(window.size(), data.size());
  if (positions == 0) return false;
  if (data.empty()) return true;
  const std::uint8_t* base = window.data();
  // The bytes b with (b | 0x20) == (data[0] | 0x20): that value and the one without 0x20.
  const std::uint8_t folded = data[0] | 0x20;
  const std::uint8_t spellings[2] = {folded, static_cast<std::uint8_t>(folded & ~0x20)};
  for (std::uint8_t first : spellings) {
    std::size_t i = 0;
    while (i < positions) {
      const void* hit = std::memchr(base + i, first, positions - i);
      if (!hit) break;
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - base);
      std::size_t j = 1;
      while (j < data.size() && (base[i + j] | 0x20) == (data[j] | 0x20)) ++j;
      if (j == data.size()) return true;
      ++i;
    }
  }
  return false;
}

bool SignatureIndex::IsStorageFileType(const FileType& type) {
  static constexpr std::uint8_t kMagic[4] = {0xD0, 0xCF, 0x11, 0xE0};
  if (type.typeId() != 500) return false;
  for (std::size_t s = 0; s < type.GetSignatureCount(); ++s) {
    for (const SignaturePattern& p : type.GetSignature(s).Patterns()) {
      std::int32_t offset = 0;
      Bytes bytes;
      if (p.FixedBytes(offset, bytes) && offset == 0 && bytes.size() >= 4 && std::memcmp(bytes.data(), kMagic, 4) == 0)
        return true;
    }
  }
  return false;
}

SignatureIndex::SignatureIndex(const FileTypeDatabase& db) {
  {
    FileTypeDatabase::EditLock lock(db);
    for (const FileType* t : db.Types()) {
      if (t->GetSignatureCount() == 0) {
        const bool known = std::any_of(unsignedTypes_.begin(), unsignedTypes_.end(),
                                       [&](const auto& u) { return u.first == t->typeId(); });
        if (!known) unsignedTypes_.emplace_back(t->typeId(), t->key());
      }
      if (t->searchEnabled() == 0) continue;
      Entry e;
      e.typeId = t->typeId();
      e.typeKey = t->key();
      e.storageFile = IsStorageFileType(*t);
      e.signatures.reserve(t->GetSignatureCount());
      for (std::size_t s = 0; s < t->GetSignatureCount(); ++s) e.signatures.push_back(t->GetSignature(s));
      entries_.push_back(std::move(e));
    }
  }
  Build();
}

std::uint32_t SignatureIndex::CompoundSubtypeKey(std::int32_t typeId) const {
  for (const auto& [id, key] : unsignedTypes_)
    if (id == typeId) return key;
  return 0;
}

void SignatureIndex::Build() {
  for (std::uint32_t e = 0; e < entries_.size(); ++e)
    for (std::size_t s = 0; s < entries_[e].signatures.size(); ++s) AddSignature(e, s);

  for (KeyGroup& g : groups_) {
    // Sort the members by key (then entry) and drop repeats: a type is listed once per key.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    pairs.reserve(g.keys.size());
    for (std::size_t i = 0; i < g.keys.size(); ++i) pairs.emplace_back(g.keys[i], g.members[i]);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    g.keys.clear();
    g.members.clear();
    for (const auto& [key, entry] : pairs) {
      g.keys.push_back(key);
      g.members.push_back(entry);
    }
  }
  std::sort(groups_.begin(), groups_.end(),
            [](const KeyGroup& a, const KeyGroup& b) { return a.offset < b.offset || (a.offset == b.offset && a.width < b.width); });
  std::sort(always_.begin(), always_.end());
  always_.erase(std::unique(always_.begin(), always_.end()), always_.end());
  bool first[256] = {}, second[256] = {};
  bool everySecond = true;
  for (const SearchTest& t : searches_) {
    // The no-case kind: both bytes that fold to the one it holds.
    first[t.first] = true;
    if (t.noCase) first[t.first & ~0x20] = true;
    if (t.length < 2) everySecond = false;
    second[t.second] = true;
    if (t.noCase) second[t.second & ~0x20] = true;
  }
  for (int b = 0; b < 256; ++b) startByte_[b] = first[b];
  firstBytes_ = MakeByteSet(first);
  // Without a second byte for every search, the second byte tells nothing.
  if (everySecond) secondBytes_ = MakeByteSet(second);
}

SignatureIndex::ByteSet SignatureIndex::MakeByteSet(const bool (&members)[256]) {
  ByteSet set;
  bool folds = true;
  for (int b = 0; b < 256; ++b)
    if (members[b] && !members[b ^ 0x20]) folds = false;
  set.fold = folds ? 0x20 : 0x00;
  for (int b = 0; b < 256; ++b)
    if (members[b] && (b | set.fold) == b) set.values.push_back(std::uint8_t(b));
  return set;
}

void SignatureIndex::AddSignature(std::uint32_t entry, std::size_t signatureIndex) {
  const Signature& sig = entries_[entry].signatures[signatureIndex];
  // The bytes the signature fixes: offset -> value (the first pattern that fixes an
  // offset gives its byte; a second one that disagrees makes the signature fail,
  // which the full test finds).
  std::map<std::uint64_t, std::uint8_t> fixed;
  std::size_t search = SIZE_MAX;
  for (std::size_t k = 0; k < sig.PatternCount(); ++k) {
    const SignaturePattern& p = sig.GetPattern(k);
    if (SignaturePattern::TestsBytes(p.kind()) && p.offset() < 0) return;  // never holds: nothing to index
    std::int32_t offset = 0;
    Bytes bytes;
    if (p.FixedBytes(offset, bytes)) {
      for (std::size_t j = 0; j < bytes.size(); ++j) fixed.emplace(std::uint64_t(offset) + j, bytes[j]);
    } else if (p.kind() == PATTERN_MASKED) {
      const Bytes data = p.Data();
      const Bytes mask = p.Mask();
      const std::size_t half = p.length() / 2;
      // Only a byte the mask covers whole is fixed; a partly masked byte is left
      // to the full test.
      for (std::size_t j = 0; j < half && j < mask.size() && j < data.size(); ++j)
        if (mask[j] == 0xFF) fixed.emplace(std::uint64_t(p.offset()) + j, data[j]);
    } else if ((p.kind() == PATTERN_SEARCH || p.kind() == PATTERN_SEARCH_NOCASE) && p.length() > 0) {
      if (search == SIZE_MAX || p.length() > sig.GetPattern(search).length()) search = k;
    }
  }

  if (fixed.empty()) {
    if (search != SIZE_MAX) {
      const SignaturePattern& p = sig.GetPattern(search);
      SearchTest t;
      t.entry = entry;
      t.signature = signatureIndex;
      t.pattern = search;
      t.offset = static_cast<std::size_t>(p.offset());
      t.length = p.length();
      t.noCase = p.kind() == PATTERN_SEARCH_NOCASE;
      const std::uint8_t fold = t.noCase ? 0x20 : 0x00;
      t.first = p.Data()[0] | fold;
      if (t.length >= 2) t.second = p.Data()[1] | fold;
      searches_.push_back(t);
    } else
      always_.push_back(entry);
    return;
  }

  // The key: two neighbouring fixed bytes, as few of them zero as possible (zero-filled
  // sectors are common), the lowest offset first; one byte when no two neighbour.
  std::uint64_t keyOffset = 0;
  std::uint32_t width = 0, key = 0;
  int best = -1;
  for (auto it = fixed.begin(); it != fixed.end(); ++it) {
    auto next = std::next(it);
    if (next == fixed.end() || next->first != it->first + 1) continue;
    const int score = (it->second != 0) + (next->second != 0);
    if (score > best) {
      best = score;
      keyOffset = it->first;
      width = 2;
      key = std::uint32_t(it->second) | (std::uint32_t(next->second) << 8);
    }
  }
  if (width == 0) {
    for (const auto& [offset, value] : fixed) {
      const int score = value != 0;
      if (score > best) {
        best = score;
        keyOffset = offset;
        width = 1;
        key = value;
      }
    }
  }

  auto g = std::find_if(groups_.begin(), groups_.end(),
                        [&](const KeyGroup& x) { return x.offset == keyOffset && x.width == width; });
  if (g == groups_.end()) {
    KeyGroup made;
    made.offset = keyOffset;
    made.width = width;
    made.present.assign(width == 2 ? 65536 / 64 : 256 / 64, 0);
    groups_.push_back(std::move(made));
    g = std::prev(groups_.end());
  }
  g->present[key >> 6] |= std::uint64_t(1) << (key & 63);
  g->keys.push_back(key);
  g->members.push_back(entry);
}

bool SignatureIndex::SearchHolds(const SearchTest& test, Bytes candidate) const {
  const SignaturePattern& p = entries_[test.entry].signatures[test.signature].GetPattern(test.pattern);
  const auto offset = static_cast<std::size_t>(p.offset());
  if (offset > candidate.size()) return false;
  const Bytes window = candidate.subspan(offset);
  return p.kind() == PATTERN_SEARCH ? SearchBytes(window, p.Data()) : FastSearchBytesNoCase(window, p.Data());
}

bool SignatureIndex::MayStartAt(const SearchTest& t, Bytes run, std::size_t at) const {
  const std::uint8_t fold = t.noCase ? 0x20 : 0x00;
  if ((run[at] | fold) != t.first) return false;
  if (t.length < 2) return true;
  return at + 1 < run.size() && (run[at + 1] | fold) == t.second;
}

void SignatureIndex::PrepareRun(Bytes run, RunScan& scan) const {
  scan.starts.clear();
  if (searches_.empty()) return;
  const std::uint8_t* p = run.data();
  const std::size_t n = run.size();
  auto consider = [&](std::size_t at) {
    for (const SearchTest& t : searches_) {
      if (MayStartAt(t, run, at)) {
        scan.starts.push_back(at);
        return;
      }
    }
  };
  std::size_t at = 0;
#if defined(__SSE2__)
  // Sixteen positions at a time: the byte there against each possible first byte
  // and, where every search has two bytes or more, the next one against each
  // possible second byte. A set that holds both spellings of each of its letters
  // (the no-case searches) is compared folded, half the compares.
  constexpr std::size_t kMaxBytes = 4;
  if (firstBytes_.values.size() <= kMaxBytes && secondBytes_.values.size() <= kMaxBytes) {
    struct Lanes {
      __m128i fold, values[kMaxBytes];
      std::size_t count;
    };
    auto lanes = [](const ByteSet& set) {
      Lanes l{};
      l.fold = _mm_set1_epi8(static_cast<char>(set.fold));
      l.count = set.values.size();
      for (std::size_t i = 0; i < l.count; ++i) l.values[i] = _mm_set1_epi8(static_cast<char>(set.values[i]));
      return l;
    };
    auto match = [](const Lanes& l, __m128i x) {
      x = _mm_or_si128(x, l.fold);
      __m128i m = _mm_cmpeq_epi8(x, l.values[0]);
      for (std::size_t i = 1; i < l.count; ++i) m = _mm_or_si128(m, _mm_cmpeq_epi8(x, l.values[i]));
      return m;
    };
    const Lanes first = lanes(firstBytes_), second = lanes(secondBytes_);
    for (; at + 17 <= n; at += 16) {
      __m128i m = match(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)));
      if (second.count) m = _mm_and_si128(m, match(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1))));
      auto bits = static_cast<unsigned>(_mm_movemask_epi8(m));
      while (bits) {
        consider(at + static_cast<std::size_t>(__builtin_ctz(bits)));
        bits &= bits - 1;
      }
    }
  }
#endif
  for (; at < n; ++at)
    if (startByte_[p[at]]) consider(at);
}

void SignatureIndex::Candidates(Bytes candidate, std::size_t unitOffset, RunScan& scan) const {
  std::vector<std::uint32_t>& out = scan.candidates;
  out.clear();
  const std::uint8_t* c = candidate.data();
  const std::size_t n = candidate.size();
  for (const KeyGroup& g : groups_) {
    if (g.offset >= n || n - g.offset < g.width) continue;
    const std::size_t at = static_cast<std::size_t>(g.offset);
    const std::uint32_t key = g.width == 2 ? std::uint32_t(c[at]) | (std::uint32_t(c[at + 1]) << 8) : c[at];
    if (!Bit(g.present, key)) continue;
    auto lo = std::lower_bound(g.keys.begin(), g.keys.end(), key);
    for (auto it = lo; it != g.keys.end() && *it == key; ++it) out.push_back(g.members[std::size_t(it - g.keys.begin())]);
  }
  out.insert(out.end(), always_.begin(), always_.end());
  for (const SearchTest& t : searches_) {
    // A match needs the data's first bytes at one of the search positions.
    if (t.offset > n) continue;
    const std::size_t positions = SearchPositions(n - t.offset, t.length);
    if (positions == 0) continue;
    const std::size_t from = unitOffset + t.offset;
    auto it = std::lower_bound(scan.starts.begin(), scan.starts.end(), from);
    if (it == scan.starts.end() || *it >= from + positions) continue;
    if (SearchHolds(t, candidate)) out.push_back(t.entry);
  }
  if (out.size() > 1) {
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }
}
