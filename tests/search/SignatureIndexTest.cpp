// The search's indexed matcher against the plain loop over every searched type in
// list order: the same hits, in the same order, at every unit of random blocks with
// headers planted in them, also near the ends of units and blocks.
#include <gtest/gtest.h>

#include <random>

#include "SearchTestSupport.h"
#include "search/BuiltinFileTypes.h"
#include "search/SignatureIndex.h"

using platform::Bytes;
using test::Ascii;
using Data = std::vector<std::uint8_t>;

namespace {

struct Random {
  std::mt19937_64 engine;
  explicit Random(std::uint64_t seed) : engine(seed) {}
  std::size_t Below(std::size_t n) { return std::size_t(engine() % n); }
  std::uint8_t Byte() { return std::uint8_t(engine()); }
};

// Writes bytes that satisfy one pattern at `at` (as far as they fit), so that the
// signature has a chance to hold there.
// A search pattern goes at its first position (place 0), its last (1), just past
// it (2), or (-1) anywhere.
void Satisfy(std::vector<std::uint8_t>& block, std::size_t at, const SignaturePattern& p, Random& rnd, int place = -1) {
  if (p.offset() < 0) return;
  const std::size_t base = at + std::size_t(p.offset());
  auto put = [&](std::size_t pos, std::uint8_t value) {
    if (pos < block.size()) block[pos] = value;
  };
  const Bytes data = p.Data();
  switch (p.kind()) {
    case PATTERN_BYTE:
    case PATTERN_WORD:
    case PATTERN_DWORD:
    case PATTERN_QWORD:
      for (std::size_t r = 0; r <= p.repeat(); ++r)
        for (std::size_t j = 0; j < data.size(); ++j) put(base + r + j, data[j]);
      break;
    case PATTERN_BYTES:
      for (std::size_t j = 0; j < data.size(); ++j) put(base + j, data[j]);
      break;
    case PATTERN_BYTE_RANGE:
      for (std::size_t r = 0; r <= p.repeat(); ++r)
        put(base + r, std::uint8_t(data[0] + rnd.Below(std::size_t(data[1] - data[0]) + 1)));
      break;
    case PATTERN_WORD_RANGE:
      put(base, data[0]);
      put(base + 1, data[1]);
      break;
    case PATTERN_SEARCH:
    case PATTERN_SEARCH_NOCASE: {
      // At the first or last position the search tests (the window ends 512 bytes
      // from the offset, or earlier at the end of the bytes), just past it, or anywhere.
      const std::size_t window = base < block.size() ? block.size() - base : 0;
      const std::size_t last =
          data.size() < kSearchWindow && window >= data.size() ? std::min(kSearchWindow - data.size(), window - data.size() + 1) - 1 : 0;
      const std::size_t choice = place >= 0 ? std::size_t(place) : rnd.Below(4);
      const std::size_t i = choice == 0 ? 0 : choice == 1 ? last : choice == 2 ? last + 1 : rnd.Below(kSearchWindow);
      for (std::size_t j = 0; j < data.size(); ++j) {
        std::uint8_t b = data[j];
        if (p.kind() == PATTERN_SEARCH_NOCASE && rnd.Below(2)) b ^= 0x20;
        put(base + i + j, b);
      }
      break;
    }
    case PATTERN_MASKED: {
      const Bytes mask = p.Mask();
      // The masked bits from the pattern, the others as they were.
      for (std::size_t j = 0; j < p.length() / 2 && j < mask.size(); ++j)
        if (mask[j] && base + j < block.size())
          put(base + j, std::uint8_t((data[j] & mask[j]) | (block[base + j] & ~mask[j])));
      break;
    }
    default:
      break;
  }
}

// The user types of the test: every kind, offsets reaching past the unit, repeats,
// masks, a type the search skips, a type with no signature and one that never holds.
void AddUserTypes(test::SmallTypes& t) {
  t.Add(700, u"Case search near the unit's end")->AddBytesSignature(PATTERN_SEARCH, Ascii("ENDMARK"), 0, 7);
  t.Add(701, u"No-case search")->AddBytesSignature(PATTERN_SEARCH_NOCASE, Ascii("MiXeD<"), 100, 6);
  t.Add(702, u"Digits at the unit's end")->AddBytesSignature(PATTERN_BYTE_RANGE, Ascii("09"), 508, 2, 3);
  t.Add(703, u"Word range across units")->AddBytesSignature(PATTERN_WORD_RANGE, Data{0x00, 0x41, 0xFF, 0x43}, 511, 4);
  {
    std::vector<std::uint8_t> masked(32, 0);
    const char* values = "M.S.K.D!";
    for (int j = 0; j < 8; ++j) masked[j] = std::uint8_t(values[j]);
    for (int j = 0; j < 8; ++j) masked[16 + j] = (j % 2 == 0) ? 0xFF : 0x00;
    t.Add(704, u"Masked")->AddBytesSignature(PATTERN_MASKED, masked, 504, 32);
    std::vector<std::uint8_t> open(32, 0x5A);
    std::fill(open.begin() + 16, open.end(), 0);  // no byte tested
    Signature& s = t.Add(705, u"Open mask and bytes")->AddBytesSignature(PATTERN_MASKED, open, 0, 32);
    s.AddPattern(PATTERN_BYTES, Ascii("OPEN"), 3, 4);
  }
  {
    // Bit masks as the signature wizard makes them: whole bytes, nibbles, single
    // bits, and a type whose every masked byte is partial (nothing to key on).
    std::vector<std::uint8_t> bits(16, 0);
    const std::uint8_t values[] = {'B', 'I', 0x7A, 'T', 0x35, 0x80, 'S', '!'};
    const std::uint8_t masks[] = {0xFF, 0xFF, 0xF0, 0xFF, 0x0F, 0x80, 0xFF, 0xFF};
    for (int j = 0; j < 8; ++j) {
      bits[j] = values[j];
      bits[8 + j] = masks[j];
    }
    t.Add(717, u"Bit mask")->AddBytesSignature(PATTERN_MASKED, bits, 0, 16);
    std::vector<std::uint8_t> partial(16, 0);
    const std::uint8_t pv[] = {0x40, 0x02, 0x10, 0x0C};
    const std::uint8_t pm[] = {0xC0, 0x03, 0x30, 0x0E};
    for (int j = 0; j < 4; ++j) {
      partial[j] = pv[j];
      partial[8 + j] = pm[j];
    }
    t.Add(718, u"Only partial masks")->AddBytesSignature(PATTERN_MASKED, partial, 20, 16);
  }
  t.AddBytes(706, u"Far past the unit", Ascii("FAR"), 1500);
  {
    FileType* two = t.AddBytes(707, u"Two signatures", Ascii("TWO"), 0);
    two->AddBytesSignature(PATTERN_SEARCH_NOCASE, Ascii("tWo"), 200, 3);
  }
  t.Add(708, u"Repeated byte")->AddByteSignature(0xAA, 10, 5);
  t.Add(709, u"Quad word")->AddQwordSignature(0x0807060504030201ull, 3);
  t.AddBytes(710, u"Not searched", Ascii("SKIP"), 0)->SetSearchEnabled(0);
  t.Add(711, u"No signature");
  {
    Signature& s = t.Add(712, u"Never holds")->AddBytesSignature(PATTERN_BYTES, Ascii("NEG"), -4, 3);
    s.AddPattern(PATTERN_BYTES, Ascii("NEG"), 0, 3);
  }
  {
    Signature& s = t.Add(713, u"Zero bytes and a range")->AddBytesSignature(PATTERN_BYTES, Data{0, 0, 0, 0}, 2, 4);
    s.AddPattern(PATTERN_BYTE_RANGE, Data{0x10, 0x20}, 0, 2, 1);
  }
  t.Add(714, u"Lone byte")->AddByteSignature(0xC3, 511);
  t.Add(716, u"Two-byte search")->AddBytesSignature(PATTERN_SEARCH_NOCASE, Ascii("Qz"), 300, 2);
  t.AddBytes(715, u"Same bytes as the first", Ascii("TWO"), 0);  // two hits at one unit
}

// The unit at `unitOffset` of a run that `scan` was prepared for.
std::vector<std::uint32_t> IndexMatches(const SignatureIndex& index, Bytes run, std::size_t unitOffset,
                                        SignatureIndex::RunScan& scan) {
  std::vector<std::uint32_t> keys;
  index.MatchUnit(run, unitOffset, scan, [] { return true; }, [&](std::size_t e) { keys.push_back(index[e].typeKey); });
  return keys;
}

// Random blocks with signatures planted, every unit compared with the list-order
// loop. `focus` are planted half of the time and at every block's last unit in turn.
void CompareWithListOrder(const FileTypeDatabase& db, const std::vector<FileType*>& focus, std::uint64_t seed) {
  const SignatureIndex index(db);
  const std::vector<FileType*> all = db.Types();
  Random rnd(seed);
  SignatureIndex::RunScan scan;
  std::size_t hits = 0, units = 0;
  for (int b = 0; b < 160; ++b) {
    const std::size_t blockBytes = 512 * (8 + rnd.Below(24)) + (b % 3 == 0 ? 0 : 512);
    std::vector<std::uint8_t> block(blockBytes);
    // Random bytes, or zeros, or bytes from a small alphabet that ranges and searches like.
    const int style = b % 4;
    for (auto& x : block) {
      x = style == 0 ? rnd.Byte() : style == 1 ? 0 : std::uint8_t("0123456789ENDMARKtwoTWO\xAA\x10<hH!"[rnd.Below(29)]);
    }
    for (std::size_t unit = 0; unit < blockBytes; unit += 512) {
      const bool last = unit + 512 >= blockBytes;
      if (!last && rnd.Below(3) == 0) continue;
      const FileType* t = last ? focus[std::size_t(b) % focus.size()]
                               : rnd.Below(2) ? focus[rnd.Below(focus.size())] : all[rnd.Below(all.size())];
      if (t->GetSignatureCount() == 0) continue;
      const Signature& s = t->GetSignature(rnd.Below(t->GetSignatureCount()));
      const std::size_t at = unit + (!last && rnd.Below(4) == 0 ? rnd.Below(512) : 0);
      const int place = last ? int(std::size_t(b) / focus.size() % 3) : -1;
      for (const SignaturePattern& p : s.Patterns()) Satisfy(block, at, p, rnd, place);
    }
    index.PrepareRun(block, scan);
    for (std::size_t unit = 0; unit < blockBytes; unit += 512) {
      SCOPED_TRACE(testing::Message() << "block " << b << " unit " << unit / 512);
      const Bytes candidate(block.data() + unit, blockBytes - unit);
      const auto expected = test::ListOrderMatches(db, candidate);
      ASSERT_EQ(IndexMatches(index, block, unit, scan), expected);
      hits += expected.size();
      ++units;
    }
  }
  // The planted signatures did hit.
  EXPECT_GT(hits, units / 3);
}

}  // namespace

TEST(SignatureIndex, MatchesTheListOrderLoopOverTheBuiltinTypes) {
  test::SmallTypes types;
  for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
  // The searches (HTML) most often: the vector scan for their first bytes.
  std::vector<FileType*> focus;
  for (FileType* t : types.db.Types())
    for (std::size_t i = 0; i < t->GetSignatureCount(); ++i)
      if (t->GetSignature(i).GetPattern(0).kind() == PATTERN_SEARCH_NOCASE) focus.push_back(t);
  ASSERT_FALSE(focus.empty());
  CompareWithListOrder(types.db, focus, 31337);
}

TEST(SignatureIndex, MatchesTheListOrderLoopOverFewSearchesOfBothKinds) {
  // Few enough first bytes for the vector scan: a set that is not closed under
  // letter case, and a one-byte search that puts no bound on the next byte.
  test::SmallTypes types;
  std::vector<FileType*> focus = {
      types.Add(720, u"No-case"),
      types.Add(721, u"Case"),
      types.Add(722, u"One byte"),
  };
  focus[0]->AddBytesSignature(PATTERN_SEARCH_NOCASE, Ascii("<h"), 0, 2);
  focus[1]->AddBytesSignature(PATTERN_SEARCH, Ascii("Z!"), 7, 2);
  focus[2]->AddBytesSignature(PATTERN_SEARCH, Ascii("~"), 40, 1);
  CompareWithListOrder(types.db, focus, 99);
}

TEST(SignatureIndex, MatchesTheListOrderLoopOverUserTypesOfEveryKind) {
  test::SmallTypes types;
  for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
  AddUserTypes(types);
  std::vector<FileType*> user;
  for (FileType* t : types.db.Types())
    if (t->typeId() >= 700) user.push_back(t);
  CompareWithListOrder(types.db, user, 20240611);
}

TEST(SignatureIndex, SearchesOnlyTheEnabledTypesAndStopsWhenAsked) {
  test::SmallTypes types;
  FileType* a = types.AddBytes(300, u"A", Ascii("SAME"), 0);
  FileType* off = types.AddBytes(301, u"Off", Ascii("SAME"), 0);
  off->SetSearchEnabled(0);
  FileType* c = types.AddBytes(302, u"C", Ascii("SA"), 0);
  const SignatureIndex index(types.db);
  ASSERT_EQ(index.size(), 2u);
  std::vector<std::uint8_t> unit(512, 0);
  test::Plant(unit, 0, Ascii("SAME"));
  SignatureIndex::RunScan scan;
  index.PrepareRun(unit, scan);
  EXPECT_EQ(IndexMatches(index, unit, 0, scan), (std::vector<std::uint32_t>{a->key(), c->key()}));
  // keepGoing false before the first full test: nothing.
  int calls = 0;
  index.MatchUnit(unit, 0, scan, [] { return false; }, [&](std::size_t) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(SignatureIndex, TheBuiltinTypesAreAllKeyedOrSearched) {
  test::SmallTypes types;
  for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
  const SignatureIndex index(types.db);
  EXPECT_EQ(index.AlwaysTestedCount(), 0u);
  EXPECT_EQ(index.SearchTestedCount(), 2u);  // the two HTML signatures
  // The compound-document rows: the storage file, and the rows without signature.
  std::size_t storage = 0;
  for (std::size_t i = 0; i < index.size(); ++i) storage += index[i].storageFile;
  EXPECT_EQ(storage, 1u);
  const FileType* excel = nullptr;
  for (const FileType* t : types.db.Types())
    if (t->typeId() == 501 && t->GetSignatureCount() == 0) excel = t;
  ASSERT_NE(excel, nullptr);
  EXPECT_EQ(index.CompoundSubtypeKey(501), excel->key());
  EXPECT_EQ(index.CompoundSubtypeKey(521), 0u);
}

TEST(SignatureIndex, FastNoCaseSearchAgreesWithThePlainOne) {
  Random rnd(7);
  for (int i = 0; i < 4000; ++i) {
    const std::size_t size = rnd.Below(700);
    std::vector<std::uint8_t> window(size);
    for (auto& x : window) x = std::uint8_t("aAbB<\x1c|\\"[rnd.Below(8)]);
    std::size_t length = rnd.Below(6);
    if (i % 50 == 0) length = 509 + rnd.Below(5);  // at and past the window's reach
    std::vector<std::uint8_t> data(length);
    for (auto& x : data) x = std::uint8_t("aAbB<\x1c|\\"[rnd.Below(8)]);
    ASSERT_EQ(FastSearchBytesNoCase(window, data), SearchBytesNoCase(window, data)) << i;
  }
}
