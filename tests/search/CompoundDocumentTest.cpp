// The compound-document probe: the format a container's stream names give, the size
// its header gives, and the probe of a search hit reading the directory from the
// volume, with every way that can fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SearchTestSupport.h"
#include "engine/records/ProgramLog.h"
#include "search/BuiltinFileTypes.h"
#include "search/CompoundDocument.h"
#include "search/SearchManager.h"

using platform::Bytes;

namespace {

// A directory of 100 entries with the given names from entry 0.
std::vector<std::uint8_t> Directory(const std::vector<std::u16string>& names) {
  std::vector<std::uint8_t> dir(kCompoundDirectoryBytes, 0);
  for (std::size_t e = 0; e < names.size(); ++e) platform::WriteUtf16Field(dir, e * 128, 32, names[e]);
  return dir;
}

}  // namespace

TEST(CompoundDocument, StreamNamesGiveTheFormat) {
  const std::u16string obj = u"\x01" u"CompObj";
  struct Case {
    const char* what;
    std::vector<std::u16string> names;
    std::int32_t type;
  } cases[] = {
      {"Word", {u"Root Entry", obj, u"WordDocument"}, 502},
      {"Excel with Word: the earlier entry decides", {u"Root Entry", obj, u"WordDocument", u"Workbook"}, 502},
      {"Excel before Word", {u"Root Entry", u"Workbook", u"WordDocument"}, 501},
      {"PowerPoint", {u"Root Entry", u"PowerPoint Document"}, 503},
      {"3D scene", {u"Root Entry", u"Scene"}, 522},
      {"Project", {u"Root Entry", u"Props"}, 506},
      {"Visio", {u"Root Entry", u"VisioDocument"}, 505},
      {"Publisher", {u"Root Entry", u"Envelope"}, 508},
      {"Flash, any letter case", {u"Root Entry", u"sYmBoL x"}, 523},
      {"\"Symbol\" without the blank", {u"Root Entry", u"Symbol"}, 500},
      {"Ichitaro", {u"Root Entry", u"DocumentViewStyles"}, 520},
      {"BodyText", {u"Root Entry", u"BodyText"}, 521},
      {"names in any letter case", {u"Root Entry", u"WORDDOCUMENT"}, 502},
      {"a bad first entry", {u"Root Entr", u"WordDocument"}, 500},
      {"no known stream", {u"Root Entry", obj, u"SummaryInformation"}, 500},
      {"nothing at all", {}, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CompoundDocumentSubtype(Directory(c.names)), c.type);
  }
}

TEST(CompoundDocument, NamesAreReadInsideTheirFieldAndEntriesInsideTheDirectory) {
  // A name that fills its 32 units without a NUL is those 32 units, nothing more.
  std::vector<std::uint8_t> dir = Directory({u"Root Entry", std::u16string(u"Workbook") + std::u16string(24, u'x')});
  EXPECT_EQ(CompoundDocumentSubtype(dir), 500);
  // Entry 99 is the last one looked at.
  std::vector<std::u16string> names(100, u"Other");
  names[0] = u"Root Entry";
  names[99] = u"Workbook";
  EXPECT_EQ(CompoundDocumentSubtype(Directory(names)), 501);
  std::vector<std::uint8_t> longer = Directory(names);
  platform::WriteUtf16Field(longer, 99 * 128, 32, u"Other");
  longer.resize(101 * 128);
  platform::WriteUtf16Field(longer, 100 * 128, 32, u"Workbook");
  EXPECT_EQ(CompoundDocumentSubtype(longer), 500);
  // Only whole entries of a short directory.
  dir = Directory({u"Root Entry", u"Workbook"});
  EXPECT_EQ(CompoundDocumentSubtype(Bytes(dir.data(), 2 * 128)), 501);
  EXPECT_EQ(CompoundDocumentSubtype(Bytes(dir.data(), 2 * 128 - 1)), 500);
  EXPECT_EQ(CompoundDocumentSubtype(Bytes(dir.data(), 127)), 500);
}

TEST(CompoundDocument, TheHeaderGivesSizeAndDirectoryIn64Bits) {
  struct Case {
    const char* what;
    std::uint16_t shift;
    std::uint32_t fatSectors;
    std::uint32_t directorySector;
    bool valid;
    std::int64_t size;
    std::int64_t directoryOffset;
  } cases[] = {
      {"shift 9 with one sector", 9, 1, 1, true, 65536, 1024},
      {"shift 12 with 600 sectors", 12, 600, 3, true, 2516582400LL, 16384},
      {"the largest table", 9, 0xFFFFFFFFu, 0xFFFFFFFEu, true, 128LL * 0xFFFFFFFFLL * 512, 0xFFFFFFFELL * 512 + 512},
      {"shift 10", 10, 1, 1, false, 0, 0},
      {"shift 41 (9 + 32)", 41, 1, 1, false, 0, 0},
      {"shift 0", 0, 1, 1, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto doc = test::CompoundDocument({u"Root Entry"}, c.shift < 16 ? c.shift : 9, c.fatSectors, 0);
    std::vector<std::uint8_t> header(doc.begin(), doc.begin() + 512);
    platform::LeWriter w(header);
    w.U16(30, c.shift);
    w.U32(48, c.directorySector);
    CompoundDocumentHeader h;
    ASSERT_EQ(ReadCompoundDocumentHeader(header, h), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(h.size, c.size);
    EXPECT_EQ(h.directoryOffset, c.directoryOffset);
  }
  CompoundDocumentHeader h;
  EXPECT_FALSE(ReadCompoundDocumentHeader(Bytes(test::CompoundDocument({}).data(), 51), h));
}

namespace {

struct ProbeFixture : ::testing::Test {
  ProgramLog log;
  ScanProgress progress;
  test::SmallTypes types;
  const FileType* storage = nullptr;

  void SetUp() override {
    g_Log = &log;
    for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
    for (const FileType* t : types.db.Types())
      if (SignatureIndex::IsStorageFileType(*t)) storage = t;
    ASSERT_NE(storage, nullptr);
  }
  void TearDown() override { g_Log = nullptr; }

  const FileType* Row(std::int32_t id, std::u16string_view description) const {
    for (const FileType* t : types.db.Types())
      if (t->typeId() == id && t->Description() == description) return t;
    return nullptr;
  }

  struct Probed {
    std::int32_t type;
    std::int64_t size;
    std::uint32_t key;
  };
  // Puts the document at sector 8 of a 2,000-sector volume and probes it as a hit.
  Probed Probe(const std::vector<std::uint8_t>& doc, std::vector<std::uint64_t> badSectors = {},
               std::int64_t totalSectors = 2000) {
    std::vector<std::uint8_t> image(2000 * 512, 0x11);
    test::Plant(image, 8 * 512, doc);
    auto device = std::make_shared<MemoryBlockDevice>(image);
    for (std::uint64_t s : badSectors) device->InjectFault(s, MemoryBlockDevice::Fault::Error);
    CSearchManager search(test::MemoryVolume(device, totalSectors), progress, test::SearchSettings(), types.db);
    FoundObject record;
    record.offset = 8 * 512;
    record.typeId = 500;
    record.typeKey = storage->key();
    record.size = -1;
    const std::int32_t type = search.ProbeCompoundDocument(Bytes(image.data() + 8 * 512, 512), record);
    return {type, record.size, record.typeKey};
  }
};

}  // namespace

TEST_F(ProbeFixture, ReadsTheDirectoryFromTheVolume) {
  const FileType* word = Row(502, u"Microsoft Word Document");
  const FileType* excel = Row(501, u"Microsoft Excel Document");
  ASSERT_TRUE(word && excel);

  Probed p = Probe(test::CompoundDocument({u"Root Entry", u"WordDocument"}));
  EXPECT_EQ(p.type, 502);
  EXPECT_EQ(p.size, 65536);
  EXPECT_EQ(p.key, word->key());

  // 4 KB sectors: the directory lies after a 4 KB header; the size needs 64 bits.
  p = Probe(test::CompoundDocument({u"Root Entry", u"Workbook"}, 12, 600, 2));
  EXPECT_EQ(p.type, 501);
  EXPECT_EQ(p.size, 2516582400LL);
  EXPECT_EQ(p.key, excel->key());  // not the Access database, which shares the id
}

TEST_F(ProbeFixture, EveryFailureGivesTheContainerType) {
  const auto word = test::CompoundDocument({u"Root Entry", u"WordDocument"});
  struct Case {
    const char* what;
    std::vector<std::uint8_t> doc;
    std::vector<std::uint64_t> bad;
    std::int64_t totalSectors;
    std::int64_t size;
  } cases[] = {
      {"an unreadable directory", word, {10, 11}, 2000, 65536},
      {"a directory past the volume's end", test::CompoundDocument({u"Root Entry", u"WordDocument"}, 9, 1, 5000), {}, 2000, 65536},
      {"a directory sector that is no sector", test::CompoundDocument({u"Root Entry", u"WordDocument"}, 9, 1, 0xFFFFFFFEu), {}, 2000, 65536},
      {"a volume that ends before the directory", word, {}, 10, 65536},
      {"BodyText names no type row", test::CompoundDocument({u"Root Entry", u"BodyText"}), {}, 2000, 65536},
      {"a bad first entry", test::CompoundDocument({u"Root", u"WordDocument"}), {}, 2000, 65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Probed p = Probe(c.doc, c.bad, c.totalSectors);
    EXPECT_EQ(p.type, 500);
    EXPECT_EQ(p.size, c.size);
    EXPECT_EQ(p.key, storage->key());
  }
  // A sector shift other than 9 or 12: no size either.
  auto odd = word;
  platform::LeWriter(odd).U16(30, 10);
  const Probed p = Probe(odd);
  EXPECT_EQ(p.type, 500);
  EXPECT_EQ(p.size, -1);
}
