// The sector pass on volumes held in memory: how it cuts the volume into blocks,
// the records it makes and their fix-ups, reads that fail, stopping, the settings it
// leaves alone, and where its hits go.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <stdexcept>
#include <thread>

#include "SearchTestSupport.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "search/BuiltinFileTypes.h"
#include "search/FormatReader.h"
#include "search/HeaderCheck.h"
#include "search/SearchManager.h"
#include "search/StoreHitSink.h"
#include "support/LogLines.h"

using test::Ascii;
using test::MemoryVolume;
using test::Plant;
using test::RecordingDevice;
using test::RecordingSink;
using test::SearchSettings;
using namespace std::literals;

namespace {

constexpr std::int64_t kBlockSectors = 4096;  // the default 2 MB block in 512-byte sectors

struct SearchPassThreads : ::testing::Test {
  ProgramLog log;
  RecordingNotifier notifier;
  ScanProgress progress;
  test::SmallTypes types;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    SetNotifier(&notifier);
    progress.running.store(1);
  }
  void TearDown() override {
    SetNotifier(nullptr);
    g_Log = nullptr;
  }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
  // Runs a search with a recording sink over the volume.
  std::vector<RecordingSink::Hit> Run(const std::shared_ptr<CVolume>& volume, const AppSettings& settings,
                                      ISignatureHitSink* next = nullptr) {
    RecordingSink sink;
    sink.next = next;
    CSearchManager search(volume, progress, settings, types.db, &sink);
    EXPECT_EQ(search.RunSearch(), 0);
    return sink.Hits();
  }
};

std::vector<std::uint8_t> Filled(std::size_t bytes, std::uint8_t value = 0x11) { return std::vector<std::uint8_t>(bytes, value); }

}  // namespace

// ---- Blocks ---------------------------------------------------------------------------

struct BlockCase {
  const char* what;
  std::int64_t totalSectors;
  std::int32_t clusterBytes;
  std::int32_t bufferSetting;
  std::int64_t searchStart;  // clusters
  std::vector<std::pair<std::int64_t, std::int64_t>> reads;  // (first sector, sectors)
};

TEST_F(SearchPassThreads, CutsTheVolumeIntoBlocksOfWholeClusters) {
  const BlockCase cases[] = {
      {"10,000 clusters of 512 bytes, default buffer", 10000, 512, 0, 0, {{0, 4096}, {4096, 4096}, {8192, 1808}}},
      {"search start at cluster 1,000", 10000, 512, 0, 1000, {{1000, 4096}, {5096, 4096}, {9192, 808}}},
      {"a buffer of 5,000 bytes with 4 KB clusters is one cluster", 32, 4096, 5000, 0, {{0, 8}, {8, 8}, {16, 8}, {24, 8}}},
      {"a buffer smaller than a cluster is one cluster", 24, 4096, 100, 0, {{0, 8}, {8, 8}, {16, 8}}},
      {"a buffer of 1.5 clusters is one cluster", 16, 4096, 6144, 0, {{0, 8}, {8, 8}}},
      {"3 MB with 2 KB clusters", 8192 + 100, 2048, 3 << 20, 0, {{0, 6144}, {6144, 2148}}},
      {"a search start past the end reads nothing", 100, 512, 0, 500, {}},
  };
  for (const BlockCase& c : cases) {
    SCOPED_TRACE(c.what);
    notifier.Clear();
    auto device = std::make_shared<RecordingDevice>(Filled(std::size_t(c.totalSectors) * 512));
    auto volume = MemoryVolume(device, c.totalSectors, c.clusterBytes);
    progress.searchStart.store(c.searchStart);
    progress.current.store(-1);
    EXPECT_TRUE(Run(volume, SearchSettings(1, c.bufferSetting)).empty());
    EXPECT_EQ(device->SectorReads(), c.reads);
    const std::int64_t clusters = c.totalSectors / (c.clusterBytes / 512);
    EXPECT_EQ(progress.total.load(), clusters);
    if (!c.reads.empty()) {
      EXPECT_EQ(progress.current.load(), clusters);
    }
    // One progress message per block and one at the end.
    EXPECT_EQ(notifier.Count(WM_SEARCH_PROGRESS), c.reads.size() + 1);

    // Several workers read blocks of their own as well: the same blocks, each once.
    notifier.Clear();
    auto shared = std::make_shared<RecordingDevice>(Filled(std::size_t(c.totalSectors) * 512));
    progress.current.store(-1);
    EXPECT_TRUE(Run(MemoryVolume(shared, c.totalSectors, c.clusterBytes), SearchSettings(4, c.bufferSetting)).empty());
    auto reads = shared->SectorReads();
    std::sort(reads.begin(), reads.end());
    EXPECT_EQ(reads, c.reads);
    if (!c.reads.empty()) {
      EXPECT_EQ(progress.current.load(), clusters);
    }
    EXPECT_EQ(notifier.Count(WM_SEARCH_PROGRESS), c.reads.size() + 1);
  }
  progress.searchStart.store(0);
}

// ---- Records and fix-ups ----------------------------------------------------------------

TEST_F(SearchPassThreads, MakesOneRecordPerHitWithItsFixUps) {
  FileType* bmp = types.Add(525, u"Bitmap");
  bmp->AddBytesSignature(PATTERN_BYTES, Ascii("BM"), 0, 2);
  FileType* avi = types.AddBytes(524, u"AVI", Ascii("RIFF"), 0);
  avi->GetSignature(0).AddPattern(PATTERN_BYTES, Ascii("AVI LIST"), 8, 8);
  FileType* iso = types.AddBytes(526, u"Disc image", Ascii("CD001"), 1);
  FileType* entry = types.AddBytes(25, u"File-system entry", Ascii("INDX"), 0);
  FileType* plain = types.AddBytes(300, u"Archive", Ascii("PK\x03\x04"), 0);

  std::vector<std::uint8_t> image = Filled(400 * 512);
  Plant(image, 3 * 512, {'B', 'M', 0x36, 0x10, 0x01, 0x00, 0, 0, 0, 0});  // size 0x00011036
  Plant(image, 5 * 512, Ascii("RIFF\x10\x01\x00\x00" "AVI LIST"sv));        // 8 + 0x110: its RIFF chunk
  Plant(image, 80 * 512, Ascii("\x01" "CD001"));                          // 40,960: offset 8,192
  Plant(image, 32 * 512, Ascii("\x01" "CD001"));                          // 16,384: would lie before the volume
  Plant(image, 7 * 512, Ascii("INDX"));
  Plant(image, 9 * 512, Ascii("PK\x03\x04"));
  // Clusters of 1,024 bytes: the first cluster is the offset's, not the unit's.
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 400, 1024);
  const auto hits = Run(volume, SearchSettings());

  const std::uint16_t raw = OBJ_DELETED | OBJ_RAW;
  const std::vector<RecordingSink::Hit> expected = {
      {3 * 512, 525, bmp->key(), 0x00011036, raw, 0, 1},
      {5 * 512, 524, avi->key(), 8 + 0x110, raw, 0, 2},
      {7 * 512, 25, entry->key(), -1, 0x200, -1, 3},
      {9 * 512, 300, plain->key(), -1, raw, 0, 4},
      {8192, 526, iso->key(), -1, raw, 0, 40},  // first cluster of the signature's unit
  };
  EXPECT_EQ(hits, expected);
}

// A size a header gives reaches the volume's end at most; one that fits is kept.
TEST_F(SearchPassThreads, ASizeFromTheFormatEndsAtTheVolumesEnd) {
  FileType* bmp = types.Add(525, u"Bitmap");
  bmp->AddBytesSignature(PATTERN_BYTES, Ascii("BM"), 0, 2);
  FileType* avi = types.AddBytes(524, u"AVI", Ascii("RIFF"), 0);
  avi->GetSignature(0).AddPattern(PATTERN_BYTES, Ascii("AVI LIST"), 8, 8);
  types.Add(500, u"Microsoft Storage File")
      ->AddBytesSignature(PATTERN_BYTES, std::vector<std::uint8_t>{0xD0, 0xCF, 0x11, 0xE0}, 0, 4);

  std::vector<std::uint8_t> image = Filled(64 * 512);
  Plant(image, 2 * 512, {'B', 'M', 0xFF, 0xFF, 0xFF, 0xFF});              // 4 GiB - 1
  Plant(image, 4 * 512, {'B', 'M', 0x00, 0x10, 0x00, 0x00});              // 4,096: fits
  Plant(image, 10 * 512, Ascii("RIFF\xF0\xFF\xFF\x7F" "AVI LIST"sv));     // about 2 GiB + 2,048
  Plant(image, 20 * 512, test::CompoundDocument({u"Root Entry"}, 12, 600));  // 600 x 1,024 x 4,096 bytes
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 64);
  const auto hits = Run(volume, SearchSettings());

  std::map<std::int64_t, std::int64_t> sizes;
  for (const auto& h : hits) sizes[h.offset] = h.size;
  EXPECT_EQ(sizes.at(2 * 512), 62 * 512);
  EXPECT_EQ(sizes.at(4 * 512), 4096);
  EXPECT_EQ(sizes.at(10 * 512), 54 * 512);
  EXPECT_EQ(sizes.at(20 * 512), 44 * 512);
}

TEST_F(SearchPassThreads, AUnitMatchingTwoTypesGivesTwoHitsAndOneRecordTypedByTheLater) {
  FileType* first = types.AddBytes(300, u"First", Ascii("TWO!"), 0);
  FileType* second = types.AddBytes(301, u"Second", Ascii("!"), 3);
  types.db.InstallAsProgramDatabase();
  std::vector<std::uint8_t> image = Filled(64 * 512);
  Plant(image, 10 * 512, Ascii("TWO!"));
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 64);
  volume->Store().EnableOffsetIndex(1);
  StoreHitSink store(volume->Store());

  const auto hits = Run(volume, SearchSettings(), &store);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].typeKey, first->key());
  EXPECT_EQ(hits[1].typeKey, second->key());
  EXPECT_EQ(hits[0].offset, 5120);
  EXPECT_EQ(hits[1].offset, 5120);

  std::size_t files = 0;
  {
    auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) files += !view.At(i)->IsFolder();
  }
  EXPECT_EQ(files, 1u);
  FoundObject* record = volume->Store().FindByOffset(5120);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->typeKey, second->key());
  EXPECT_EQ(record->typeId, 301);
  std::vector<std::int64_t> found;
  for (const PostedMessage& m : notifier.Messages(WM_FOUND_OBJECT))
    if (m.lParam == FOUND_CARVED_ADDED || m.lParam == FOUND_CARVED_MERGED) found.push_back(m.lParam);
  EXPECT_EQ(found, (std::vector<std::int64_t>{FOUND_CARVED_ADDED, FOUND_CARVED_MERGED}));
  EXPECT_EQ(store.Hits(), 2);
  EXPECT_EQ(store.Stored(), 2);
}

TEST_F(SearchPassThreads, PatternsSeeTheBlockBeyondTheUnitButNothingUnread) {
  // A type whose signature looks 600 bytes past the unit's start: into the next unit.
  FileType* reach = types.AddBytes(300, u"Reaching", Ascii("HEAD"), 0);
  reach->GetSignature(0).AddPattern(PATTERN_BYTES, Ascii("TAIL"), 600, 4);
  std::vector<std::uint8_t> image = Filled(16 * 512);
  Plant(image, 2 * 512, Ascii("HEAD"));
  Plant(image, 2 * 512 + 600, Ascii("TAIL"));
  // The last unit of the volume: its TAIL would lie past the volume's end.
  Plant(image, 11 * 512, Ascii("HEAD"));
  Plant(image, 11 * 512 + 600, Ascii("TAIL"));
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 12);
  const auto hits = Run(volume, SearchSettings());
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].offset, 2 * 512);
}

TEST_F(SearchPassThreads, TheShortLastBlockIsParsedOnlyAsFarAsItWasRead) {
  types.AddBytes(300, u"Marker", Ascii("MARK"), 0);
  // Two full blocks and 100 sectors; the device holds more than the volume.
  const std::int64_t sectors = 2 * kBlockSectors + 100;
  std::vector<std::uint8_t> image = Filled(std::size_t(3 * kBlockSectors) * 512);
  // Block 0 leaves MARK at sector 200 of its buffer; the last block reads only 100
  // sectors into that same buffer, so a parse of its tail would find it again.
  Plant(image, 200 * 512, Ascii("MARK"));
  Plant(image, std::size_t(2 * kBlockSectors + 50) * 512, Ascii("MARK"));
  Plant(image, std::size_t(2 * kBlockSectors + 150) * 512, Ascii("MARK"));  // past the volume's end
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), sectors);
  const auto hits = Run(volume, SearchSettings());
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].offset, 200 * 512);
  EXPECT_EQ(hits[1].offset, (2 * kBlockSectors + 50) * 512);
}

TEST_F(SearchPassThreads, StorageFileAndMailFolderHitsAreToldApart) {
  FileType* mail = types.Add(500, u"Outlook Express E-mail Folder", CATEGORY_DATABASES);
  mail->AddBytesSignature(PATTERN_BYTES, std::vector<std::uint8_t>{0xCF, 0xAD, 0x12, 0xFE}, 0, 4);
  FileType* storage = types.Add(500, u"Microsoft Storage File");
  storage->AddBytesSignature(PATTERN_BYTES, std::vector<std::uint8_t>{0xD0, 0xCF, 0x11, 0xE0}, 0, 4);
  FileType* access = types.AddBytes(501, u"Microsoft Access Database", Ascii("Standard Jet DB"), 4);
  FileType* word = types.Add(502, u"Microsoft Word Document");
  FileType* excel = types.Add(501, u"Microsoft Excel Document");

  std::vector<std::uint8_t> image = Filled(256 * 512);
  Plant(image, 4 * 512, {0xCF, 0xAD, 0x12, 0xFE});
  Plant(image, 16 * 512, test::CompoundDocument({u"Root Entry", u"\x01" u"CompObj", u"WordDocument"}));
  Plant(image, 64 * 512, test::CompoundDocument({u"Root Entry", u"Workbook"}));
  Plant(image, 128 * 512, test::CompoundDocument({u"Root Entry", u"BodyText"}));
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 256);
  const auto hits = Run(volume, SearchSettings());

  const std::uint16_t raw = OBJ_DELETED | OBJ_RAW;
  const std::vector<RecordingSink::Hit> expected = {
      {4 * 512, 500, mail->key(), -1, raw, 0, 4},  // not probed: no size
      {16 * 512, 502, word->key(), 65536, raw, 0, 16},
      {64 * 512, 501, excel->key(), 65536, raw, 0, 64},
      {128 * 512, 500, storage->key(), 65536, raw, 0, 128},  // BodyText names no row
  };
  EXPECT_EQ(hits, expected);
  (void)access;
}

// ---- Reads that fail --------------------------------------------------------------------

TEST_F(SearchPassThreads, AFailedBlockReadLeavesItsBadSectorsOutAndTheSearchGoesOn) {
  // A type that matches zero bytes would find every unread sector if it were parsed.
  types.AddBytes(300, u"Zeros", {0, 0, 0, 0}, 0);
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  for (MemoryBlockDevice::Fault fault : {MemoryBlockDevice::Fault::Error, MemoryBlockDevice::Fault::Short}) {
    SCOPED_TRACE(fault == MemoryBlockDevice::Fault::Error ? "error" : "short read");
    std::vector<std::uint8_t> image = Filled(std::size_t(2 * kBlockSectors) * 512);
    for (std::int64_t s : {4, 7, 4096 + 3}) Plant(image, std::size_t(s) * 512, Ascii("MARK"));
    auto device = std::make_shared<RecordingDevice>(image);
    device->inner->InjectFault(5, fault);
    device->inner->InjectFault(6, fault);
    auto volume = MemoryVolume(device, 2 * kBlockSectors);
    const auto hits = Run(volume, SearchSettings());
    std::vector<std::int64_t> offsets;
    for (const auto& h : hits) offsets.push_back(h.offset / 512);
    EXPECT_EQ(offsets, (std::vector<std::int64_t>{4, 7, 4096 + 3}));
    EXPECT_FALSE(Logged(u"block skipped"));
  }
}

TEST_F(SearchPassThreads, AWhollyUnreadableBlockIsSkippedAndTheSearchGoesOn) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  std::vector<std::uint8_t> image = Filled(std::size_t(3 * kBlockSectors) * 512);
  for (std::int64_t s : {std::int64_t(10), kBlockSectors + 10, 2 * kBlockSectors + 10}) Plant(image, std::size_t(s) * 512, Ascii("MARK"));
  auto device = std::make_shared<RecordingDevice>(image);
  for (std::int64_t s = kBlockSectors; s < 2 * kBlockSectors; ++s) device->inner->InjectFault(std::uint64_t(s), MemoryBlockDevice::Fault::Error);
  auto volume = MemoryVolume(device, 3 * kBlockSectors);
  const auto hits = Run(volume, SearchSettings());
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].offset, 10 * 512);
  EXPECT_EQ(hits[1].offset, (2 * kBlockSectors + 10) * 512);
  EXPECT_TRUE(Logged(u"block skipped"));
  // Every sector of the bad block was asked for once, after the block's read.
  EXPECT_EQ(device->ReadsWithin(kBlockSectors, 2 * kBlockSectors), std::size_t(1 + kBlockSectors));
  EXPECT_EQ(progress.current.load(), 3 * kBlockSectors);
}

TEST_F(SearchPassThreads, PastManyUnreadableSectorsTheSearchGoesOnAtTheNextReadableOne) {
  // 300 unreadable sectors at the start of the second block, a file right after them.
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  std::vector<std::uint8_t> image = Filled(std::size_t(2 * kBlockSectors) * 512);
  for (std::int64_t s : {kBlockSectors + 300, kBlockSectors + 4000}) Plant(image, std::size_t(s) * 512, Ascii("MARK"));
  auto device = std::make_shared<RecordingDevice>(image);
  for (std::int64_t s = kBlockSectors; s < kBlockSectors + 300; ++s)
    device->inner->InjectFault(std::uint64_t(s), MemoryBlockDevice::Fault::Error);
  auto volume = MemoryVolume(device, 2 * kBlockSectors);
  SetScanProgress(&progress);
  progress.BeginUnreadableCount(volume.get());
  const auto hits = Run(volume, SearchSettings());
  SetScanProgress(nullptr);
  std::vector<std::int64_t> offsets;
  for (const auto& h : hits) offsets.push_back(h.offset / 512);
  EXPECT_EQ(offsets, (std::vector<std::int64_t>{kBlockSectors + 300, kBlockSectors + 4000}));
  // "Read errors:" counts each unreadable sector once, not once for the block's read
  // and again for its salvage.
  EXPECT_EQ(progress.unreadable.load(), 300);
  EXPECT_TRUE(Logged(platform::Format(u"CSearchManager.ReadBlock: Can't read sector at: %I64d (300 sectors)",
                                      kBlockSectors)));
  EXPECT_FALSE(Logged(u"block skipped"));
}

// ---- Stopping, settings, the device -----------------------------------------------------

TEST_F(SearchPassThreads, ANotRunningPassReadsNothing) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  std::vector<std::uint8_t> image = Filled(64 * 512);
  Plant(image, 0, Ascii("MARK"));
  auto device = std::make_shared<RecordingDevice>(image);
  auto volume = MemoryVolume(device, 64);
  progress.running.store(0);
  EXPECT_TRUE(Run(volume, SearchSettings()).empty());
  EXPECT_TRUE(device->SectorReads().empty());
  // The search never sets the flag itself: a stop before it started holds.
  EXPECT_EQ(progress.running.load(), 0);
}

TEST_F(SearchPassThreads, KeepsItsSettingsToItselfAndTheDeviceOpen) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(Filled(64 * 512)), 64);
  AppSettings snapshot = SearchSettings(1, 0);
  snapshot.SetSearchUnitMode(0);
  const std::vector<std::uint8_t> before = snapshot.Bytes();
  const std::vector<std::uint8_t> program = Settings().Bytes();
  ASSERT_NE(volume->OpenDrive(), nullptr);
  Run(volume, snapshot);
  EXPECT_EQ(snapshot.Bytes(), before);
  EXPECT_EQ(Settings().Bytes(), program);
  EXPECT_EQ(snapshot.SearchBufferSize(), 0);
  EXPECT_EQ(snapshot.SearchUnitMode(), 0);
  EXPECT_TRUE(volume->IsOpen());
}

TEST(SearchSettings, BlockSizeAndWorkerCountAreClamped) {
  struct Case {
    std::int32_t setting;
    std::int64_t clusterBytes;
    std::int32_t workers;
    std::size_t bytes;
  } cases[] = {
      {0, 512, 1, 2097152},
      {-7, 512, 1, 2097152},
      {65536, 512, 1, 65536},
      {0x7FFFFFFF, 512, 1, std::size_t(64) << 20},
      {0x7FFFFFFF, 512, 64, (std::size_t(256) << 20) / 65 / 512 * 512},  // 256 MB for all 65 blocks
      {0, 4096, 64, 2097152},
      {100, 4096, 1, 4096},
      {6144, 4096, 1, 4096},
      {0, 65536, 1, 2097152},
      {100000, 65536, 1, 65536},
      {0, 300, 1, 2097152},  // no cluster below a sector
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    EXPECT_EQ(CSearchManager::BlockBytes(c.setting, c.clusterBytes, c.workers), c.bytes);
  }
  EXPECT_EQ(CSearchManager::WorkerCount(0), 1);
  EXPECT_EQ(CSearchManager::WorkerCount(-3), 1);
  EXPECT_EQ(CSearchManager::WorkerCount(8), 8);
  EXPECT_EQ(CSearchManager::WorkerCount(64), 64);
  EXPECT_EQ(CSearchManager::WorkerCount(1000), 64);
}

TEST_F(SearchPassThreads, HitsGoToTheSearchedVolumesStoreByDefault) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  types.db.InstallAsProgramDatabase();
  std::vector<std::uint8_t> image = Filled(64 * 512);
  Plant(image, 3 * 512, Ascii("MARK"));
  auto searched = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 64);
  auto other = MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 64);
  searched->Store().EnableOffsetIndex(1);
  progress.SetVolume(other);  // the volume the user interface shows is not the one searched
  CSearchManager search(searched, progress, SearchSettings(), types.db);
  EXPECT_EQ(search.RunSearch(), 0);
  EXPECT_NE(searched->Store().FindByOffset(3 * 512), nullptr);
  EXPECT_EQ(other->Store().Count(), 0u);
  progress.SetVolume(nullptr);
}

TEST_F(SearchPassThreads, AThrowingSinkIsSwallowed) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  std::vector<std::uint8_t> image = Filled(64 * 512);
  Plant(image, 3 * 512, Ascii("MARK"));
  Plant(image, 9 * 512, Ascii("MARK"));
  struct Throwing : ISignatureHitSink {
    int calls = 0;
    void OnSignatureHit(const FoundObject&) override {
      ++calls;
      throw std::runtime_error("sink");
    }
  } sink;
  CSearchManager search(MemoryVolume(std::make_shared<MemoryBlockDevice>(image), 64), progress, SearchSettings(),
                        types.db, &sink);
  EXPECT_EQ(search.RunSearch(), 0);
  EXPECT_EQ(sink.calls, 2);
}

TEST_F(SearchPassThreads, AVolumeThatDoesNotOpenFails) {
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDeviceOpener([](int& error) -> std::shared_ptr<IBlockDevice> {
    error = ENOENT;
    return nullptr;
  });
  CSearchManager search(volume, progress, SearchSettings(), types.db);
  EXPECT_EQ(search.RunSearch(), -1);
}

// ---- Threads ---------------------------------------------------------------------------

namespace {

// A volume of random bytes with built-in headers planted in it.
struct RandomVolume {
  std::vector<std::uint8_t> image;
  explicit RandomVolume(std::size_t sectors, std::uint64_t seed) : image(sectors * 512) {
    std::uint64_t x = seed;
    for (std::size_t i = 0; i < image.size(); i += 8) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      std::memcpy(&image[i], &x, 8);
    }
    const std::vector<std::vector<std::uint8_t>> headers = {
        Ascii("%PDF-1.4"), {0xFF, 0xD8, 0xFF, 0xE0}, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'},
        Ascii("PK\x03\x04"), Ascii("<html>"), Ascii("{\\rtf1"), Ascii("Rar!")};
    for (std::size_t s = 7; s + 40 < sectors; s += 37) Plant(image, s * 512, headers[s % headers.size()]);
    Plant(image, 300 * 512, test::CompoundDocument({u"Root Entry", u"WordDocument"}));
  }
};

}  // namespace


TEST_F(SearchPassThreads, OneAndFourWorkersGiveTheSameRecords) {
  for (auto& t : MakeBuiltinFileTypes()) types.db.AppendFileType(std::move(t));
  types.db.InstallAsProgramDatabase();
  const std::int64_t sectors = 2048 + 77;
  RandomVolume data(std::size_t(sectors), 0x9E3779B97F4A7C15ull);
  const std::int32_t buffer = 64 * 1024;  // many blocks
  const int ownPriority = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));

  std::vector<std::vector<RecordingSink::Hit>> sets;
  std::vector<std::vector<std::tuple<std::int64_t, std::int16_t, std::uint32_t, std::int64_t>>> stores;
  for (std::int32_t workers : {1, 4}) {
    auto volume = MemoryVolume(std::make_shared<MemoryBlockDevice>(data.image), sectors);
    volume->Store().EnableOffsetIndex(1);
    StoreHitSink store(volume->Store());
    RecordingSink sink;
    sink.next = &store;
    CSearchManager search(volume, progress, SearchSettings(workers, buffer), types.db, &sink);
    EXPECT_EQ(search.RunSearch(), 0);
    EXPECT_EQ(search.WorkerTotal(), 0u);  // joined
    sets.push_back(sink.SortedHits());
    std::vector<std::tuple<std::int64_t, std::int16_t, std::uint32_t, std::int64_t>> records;
    {
      auto view = volume->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i) {
        const FoundObject* r = view.At(i);
        if (!r->IsFolder()) records.emplace_back(r->offset, r->typeId, r->typeKey, r->size);
      }
    }
    std::sort(records.begin(), records.end());
    stores.push_back(records);
    // Every worker ran at the lowest priority; this thread kept its own.
    for (int p : sink.Priorities()) EXPECT_EQ(p, 19);
  }
  EXPECT_EQ(sets[0], sets[1]);
  EXPECT_EQ(stores[0], stores[1]);
  EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), ownPriority);

  // And the hits are those of the plain list-order loop over every block, but for
  // two-byte signatures whose header cannot be one of their type.
  std::size_t expected = 0, impossible = 0;
  const std::size_t blockBytes = buffer;
  std::vector<std::uint8_t> scratch;
  for (std::size_t block = 0; block < data.image.size(); block += blockBytes) {
    const std::size_t end = std::min(block + blockBytes, data.image.size());
    for (std::size_t unit = block; unit < end; unit += 512) {
      const platform::Bytes rest(data.image.data() + unit, end - unit);
      for (std::uint32_t key : test::ListOrderMatches(types.db, rest)) {
        FormatReader reader(rest, std::int64_t(rest.size()), std::int64_t(rest.size()), {}, {}, scratch);
        const bool possible = HeaderIsPossible(types.db.FindByKey(key)->typeId(), reader);
        expected += possible;
        impossible += !possible;
      }
    }
  }
  EXPECT_GT(impossible, 0u);
  EXPECT_EQ(sets[0].size(), expected);
  EXPECT_GT(expected, 50u);
}

TEST_F(SearchPassThreads, ClearingTheRunningFlagStopsTheDispatch) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  const std::int64_t blocks = 40;
  std::vector<std::uint8_t> image = Filled(std::size_t(blocks * 8) * 512);
  for (std::int64_t b = 0; b < blocks; ++b) Plant(image, std::size_t(b * 8) * 512, Ascii("MARK"));
  for (std::int32_t workers : {1, 4}) {
    SCOPED_TRACE(workers);
    progress.running.store(1);
    auto device = std::make_shared<RecordingDevice>(image);
    auto volume = MemoryVolume(device, blocks * 8);
    // The first hit stops the pass, as the stop button would.
    struct Stopper : ISignatureHitSink {
      ScanProgress* progress;
      std::atomic<int> hits{0};
      void OnSignatureHit(const FoundObject&) override {
        ++hits;
        progress->running.store(0);
      }
    } sink;
    sink.progress = &progress;
    CSearchManager search(volume, progress, SearchSettings(workers, 4096), types.db, &sink);
    EXPECT_EQ(search.RunSearch(), 0);
    // At most one block per worker was parsed, and its unit 0 stopped it.
    EXPECT_GE(sink.hits.load(), 1);
    EXPECT_LE(sink.hits.load(), workers);
    EXPECT_LE(device->SectorReads().size(), std::size_t(workers + 1));
  }
}

TEST_F(SearchPassThreads, AStopFromAnotherThreadEndsTheSearch) {
  types.AddBytes(301, u"Marker", Ascii("MARK"), 0);
  const std::int64_t sectors = 64 * kBlockSectors;  // 32 MB
  auto device = std::make_shared<MemoryBlockDevice>(Filled(std::size_t(sectors) * 512));
  auto volume = MemoryVolume(device, sectors);
  std::atomic<int> result{1};
  std::atomic<int> runnerPriority{0};
  CSearchManager search(volume, progress, SearchSettings(4), types.db);
  std::thread runner([&] {
    result = search.RunSearch();
    runnerPriority = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  });
  while (progress.current.load() == 0 && result.load() == 1) std::this_thread::yield();
  progress.running.store(0);
  runner.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(search.WorkerTotal(), 0u);
  // The search lowered its own thread, which is not the process's first.
  EXPECT_EQ(runnerPriority.load(), 19);
}
