// The NTFS parser over the ntfs.img fixture (made by mkntfs and ntfs-3g; its manifest
// is the truth), over copies of it with records patched byte by byte, and over
// volumes mkntfs makes at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/fs/ntfs/MftRecordParser.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/ByteOrder.h"
#include "platform/Format.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/LogLines.h"
#include "support/Sha256.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- The fixture ----------------------------------------------------------------------

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

const Bytes& FixtureBytes() {
  static const Bytes bytes = ReadWholeFile(test::FixtureImage("ntfs.img"));
  return bytes;
}

const nlohmann::json& Manifest() {
  static const nlohmann::json m = test::FixtureManifest("ntfs");
  return m;
}

const nlohmann::json* ManifestObject(std::int64_t record) {
  for (const auto& o : Manifest()["objects"])
    if (o["mft_record"].get<std::int64_t>() == record) return &o;
  return nullptr;
}

constexpr std::int64_t kRecordSize = 1024;
constexpr std::int64_t kClusterBytes = 4096;

// Where record n lies in the image, by the manifest's $MFT runs ([vcn, lcn, count]).
std::int64_t RecordPosition(std::int64_t n) {
  const std::int64_t byte = n * kRecordSize;
  const std::int64_t vcn = byte / kClusterBytes;
  for (const auto& r : Manifest()["mft_runs"]) {
    const std::int64_t v0 = r[0], lcn = r[1], count = r[2];
    if (vcn >= v0 && vcn < v0 + count) return (lcn + vcn - v0) * kClusterBytes + byte % kClusterBytes;
  }
  return -1;
}

// A record with its fix-ups undone (the sector ends hold their real bytes).
Bytes FixedRecord(const Bytes& image, std::int64_t n) {
  const std::int64_t at = RecordPosition(n);
  Bytes r(image.begin() + at, image.begin() + at + kRecordSize);
  const platform::LeView v(r.data(), r.size());
  const std::size_t usa = v.U16(4), count = v.U16(6);
  platform::LeWriter w(r.data(), r.size());
  for (std::size_t i = 1; i < count; ++i) w.U16(i * 512 - 2, v.U16(usa + 2 * i));
  return r;
}

// Writes a record back as the disk holds it: the update sequence number at each
// sector's end, the real bytes in the update sequence array.
void PutRecord(Bytes& image, std::int64_t n, Bytes r) {
  const platform::LeView v(r.data(), r.size());
  const std::size_t usa = v.U16(4), count = v.U16(6);
  const std::uint16_t usn = v.U16(usa);
  platform::LeWriter w(r.data(), r.size());
  for (std::size_t i = 1; i < count; ++i) {
    w.U16(usa + 2 * i, v.U16(i * 512 - 2));
    w.U16(i * 512 - 2, usn);
  }
  std::copy(r.begin(), r.end(), image.begin() + RecordPosition(n));
}

// The offsets of a record's attributes of one type, in record order.
std::vector<std::size_t> AttributeOffsets(const Bytes& r, std::uint32_t type) {
  const platform::LeView v(r.data(), r.size());
  std::vector<std::size_t> out;
  for (std::size_t a = v.U16(0x14); a + 8 <= r.size();) {
    const std::uint32_t t = v.U32(a), length = v.U32(a + 4);
    if (t == 0xFFFFFFFF || length == 0) break;
    if (t == type) out.push_back(a);
    a += length;
  }
  return out;
}

// A device that lets a test act when a read touches a byte range.
class HookedDevice : public IBlockDevice {
 public:
  explicit HookedDevice(Bytes bytes) : inner_(std::move(bytes)) {}
  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override {
    if (onRead) onRead(offset, length);
    return inner_.ReadAt(buffer, length, offset);
  }
  DeviceInfo Query() const override { return inner_.Query(); }
  bool MayBlock() const override { return false; }
  std::function<void(std::uint64_t, std::size_t)> onRead;

 private:
  MemoryBlockDevice inner_;
};

// One file-system pass over an image, with the steps the analysis takes around the
// parser: boot set-up, the parser made the volume's, the store cleared with the
// device node and the root folder (id 5) registered, the running flag set, Analyse.
struct Pass {
  ProgramLog log;
  ScanProgress progress;
  std::shared_ptr<HookedDevice> device;
  std::shared_ptr<CVolume> volume;
  CFileSystem_NTFS* fs = nullptr;

  explicit Pass(Bytes image) {
    log.SetTimeStamps(false);
    g_Log = &log;
    device = std::make_shared<HookedDevice>(std::move(image));
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    auto d = device;
    volume->SetDeviceOpener([d](int&) { return d; });
    volume->SetDevicePath(u"/images/ntfs.img");
    volume->SetReadRetries(0);
    volume->SetDeviceNodeId(-31);
    volume->QueryInformation();
  }
  ~Pass() {
    volume.reset();
    g_Log = nullptr;
  }
  void Run(bool running = true) {
    volume->BootSetup();
    auto parser = std::make_unique<CFileSystem_NTFS>(*volume, progress);
    fs = parser.get();
    volume->SetFileSystem(std::move(parser));
    FoundObjectStore& store = volume->Store();
    store.Clear();
    store.RegisterObject(volume->DeviceNode());
    store.SetRootFolderId(5);
    fs->root.id = 5;
    fs->root.parentId = volume->DeviceNodeId();
    store.RegisterObject(fs->root);
    progress.running = running ? 1 : 0;
    fs->Analyse();
  }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text);
  }
  std::vector<FoundObject*> ById(std::int32_t id) const {
    std::vector<FoundObject*> out;
    std::int64_t cookie = -1;
    while (FoundObject* o = volume->Store().FindById(id, cookie)) out.push_back(o);
    return out;
  }
  FoundObject* One(std::int32_t id) const {
    auto all = ById(id);
    return all.size() == 1 ? all[0] : nullptr;
  }
  // Every object the parser handed over (not the device node, the root or placeholders).
  std::vector<FoundObject*> Objects() const {
    std::vector<FoundObject*> out;
    auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      FoundObject* o = view.At(i);
      if (!o->IsDevice() && o->id >= 0 && !(o->id == 5 && o->Name() == u".")) out.push_back(o);
    }
    return out;
  }
  // The object's data as the recovery reads it: through the volume, in chunks.
  Bytes Read(const FoundObject& o, std::uint32_t chunk = 2 * 1024 * 1024) const {
    Bytes out;
    Bytes buffer(chunk);
    for (std::int64_t pos = 0; pos < o.size;) {
      const std::uint32_t want = std::uint32_t(std::min<std::int64_t>(chunk, o.size - pos));
      const std::int64_t got = volume->ReadObjectData(o, buffer.data(), pos, want);
      if (got <= 0) break;
      out.insert(out.end(), buffer.begin(), buffer.begin() + got);
      pos += got;
    }
    return out;
  }
};

// How many objects a pass over the unchanged fixture lists.
std::size_t NtfsObjectCount() {
  static const std::size_t count = [] {
    Pass p(FixtureBytes());
    p.Run();
    return p.Objects().size();
  }();
  return count;
}

std::string HashOf(const Bytes& b) { return test::Sha256(b.data(), b.size()); }

std::u16string U16(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }

// The fixture analysed once for the tests that only read it.
class NtfsFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pass_ = new Pass(FixtureBytes());
    pass_->Run();
    g_Log = nullptr;
  }
  static void TearDownTestSuite() {
    delete pass_;
    pass_ = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(FixtureBytes().empty());
    g_Log = &pass_->log;
  }
  void TearDown() override { g_Log = nullptr; }
  static Pass* pass_;
};
Pass* NtfsFixture::pass_ = nullptr;

}  // namespace

// ---- The fixture as it is -----------------------------------------------------------------

TEST_F(NtfsFixture, ListsEveryLiveAndDeletedObjectWithNameSizeTimesAndParent) {
  const Pass& p = *pass_;
  for (const auto& m : Manifest()["objects"]) {
    const std::int32_t record = m["mft_record"];
    SCOPED_TRACE(m["path"].get<std::string>());
    FoundObject* o = p.One(record);
    ASSERT_NE(o, nullptr);
    const bool folder = m["type"] == "folder";
    const bool deleted = m["state"] == "deleted";
    EXPECT_EQ(o->IsFolder(), folder);
    EXPECT_EQ(o->flags.Any(OBJ_DELETED), deleted);
    EXPECT_TRUE(o->flags.Any(OBJ_NAMED));
    // Name and parent come from the same $FILE_NAME: the Win32 one when there is
    // one, else the first.
    const nlohmann::json* chosen = nullptr;
    for (const auto& fn : m["file_names"])
      if (!chosen && fn["namespace"] == "Win32") chosen = &fn;
    if (!chosen) chosen = &m["file_names"][0];
    EXPECT_EQ(o->Name(), U16((*chosen)["name"].get<std::string>()));
    EXPECT_EQ(o->parentId, (*chosen)["parent_record"].get<std::int32_t>());
    if (m.contains("size")) {
      EXPECT_EQ(o->size, m["size"].get<std::int64_t>());
    }
    if (folder) {
      EXPECT_EQ(o->size, 0);  // no size left over from the record before
    }
    EXPECT_EQ(o->created, m["filetimes"]["created"].get<std::int64_t>());
    EXPECT_EQ(o->modified, m["filetimes"]["modified"].get<std::int64_t>());
    EXPECT_EQ(o->accessed, m["filetimes"]["accessed"].get<std::int64_t>());
    EXPECT_EQ(o->attributes, m["file_attributes"].get<std::int64_t>() & 0xFFFF);
    if (m.contains("first_cluster") && !m["first_cluster"].is_null()) {
      EXPECT_EQ(o->firstCluster, m["first_cluster"].get<std::int64_t>());
      EXPECT_EQ(o->offset, o->firstCluster * kClusterBytes);
    }
  }
}

TEST_F(NtfsFixture, SystemFilesAreListedOnceAndExtensionRecordsNotAtAll) {
  const Pass& p = *pass_;
  std::map<std::int32_t, int> seen;
  for (FoundObject* o : p.Objects()) ++seen[o->id];
  for (const auto& [id, count] : seen) EXPECT_EQ(count, 1) << id;
  EXPECT_EQ(seen.count(5), 0u);  // the root folder is the parser's root record
  // Records 112 to 115 carry the $FILE_NAME and $DATA extents of 110 and 111.
  for (const auto& m : Manifest()["objects"])
    if (m.contains("extension_records")) {
      for (const auto& e : m["extension_records"]) EXPECT_EQ(seen.count(e.get<std::int32_t>()), 0u) << e;
    }
  const struct {
    std::int32_t id;
    const char16_t* name;
  } system[] = {{0, u"$MFT"}, {1, u"$MFTMirr"}, {2, u"$LogFile"}, {3, u"$Volume"}, {6, u"$Bitmap"}, {7, u"$Boot"}};
  for (const auto& s : system) {
    FoundObject* o = p.One(s.id);
    ASSERT_NE(o, nullptr) << s.id;
    EXPECT_EQ(o->Name(), s.name);
    EXPECT_EQ(o->parentId, 5);
  }
  EXPECT_EQ(p.One(0)->size, Manifest()["mft_data_size"].get<std::int64_t>());
  EXPECT_TRUE(p.Logged(u"Analyzing MFT table"));
  EXPECT_EQ(p.progress.total.load(), Manifest()["mft_record_count"].get<std::int64_t>() - 1);
  EXPECT_EQ(p.progress.current.load(), Manifest()["mft_record_count"].get<std::int64_t>() - 1);
  EXPECT_EQ(p.progress.running.load(), 1);
  EXPECT_FALSE(p.Logged(u"skipped"));
}

TEST_F(NtfsFixture, FilesReadBackByteExact) {
  const Pass& p = *pass_;
  int checked = 0;
  for (const auto& m : Manifest()["objects"]) {
    if (m["type"] != "file" || m.value("compressed", false)) continue;
    if (m["state"] == "deleted" && !m.value("data_intact", false)) continue;
    SCOPED_TRACE(m["path"].get<std::string>());
    FoundObject* o = p.One(m["mft_record"]);
    ASSERT_NE(o, nullptr);
    const Bytes data = p.Read(*o);
    EXPECT_EQ(std::int64_t(data.size()), m["size"].get<std::int64_t>());
    EXPECT_EQ(HashOf(data), m["sha256"].get<std::string>());
    ++checked;
  }
  EXPECT_GE(checked, 35);
  // Reads of odd sizes at odd positions, across clusters and runs.
  for (std::int32_t record : {110, 116, 92, 97}) {
    FoundObject* o = p.One(record);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(HashOf(p.Read(*o, 5000)), (*ManifestObject(record))["sha256"].get<std::string>()) << record;
  }
}

TEST_F(NtfsFixture, SparseRangesReadAsZeros) {
  const Pass& p = *pass_;
  FoundObject* o = p.One(92);  // runs: cluster 0 at 2606, 255 sparse, 2 at 2862, 254 sparse
  ASSERT_NE(o, nullptr);
  const Bytes data = p.Read(*o);
  ASSERT_EQ(data.size(), 2u * 1024 * 1024);
  auto zeros = [&](std::size_t from, std::size_t to) {
    return std::all_of(data.begin() + from, data.begin() + to, [](std::uint8_t b) { return b == 0; });
  };
  EXPECT_FALSE(zeros(0, kClusterBytes));
  EXPECT_TRUE(zeros(kClusterBytes, 256 * kClusterBytes));
  EXPECT_FALSE(zeros(256 * kClusterBytes, 258 * kClusterBytes));
  EXPECT_TRUE(zeros(258 * kClusterBytes, data.size()));
  // A read that starts inside a sparse run.
  Bytes buffer(10000, 0xAA);
  EXPECT_EQ(pass_->volume->ReadObjectData(*o, buffer.data(), 5 * kClusterBytes + 3, 10000), 10000);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(NtfsFixture, ClustersBitmapHoldsTheUsedClusters) {
  const CBitArray& bits = pass_->volume->ClustersBitmap();
  std::set<std::int64_t> used;
  for (const auto& r : Manifest()["used_cluster_runs"])
    for (std::int64_t c = r[0]; c < r[0].get<std::int64_t>() + r[1].get<std::int64_t>(); ++c) used.insert(c);
  ASSERT_EQ(used.size(), Manifest()["used_clusters"].get<std::size_t>());
  const std::int64_t clusters = Manifest()["total_sectors"].get<std::int64_t>() / 8;
  ASSERT_GE(std::int64_t(bits.BitCount()), clusters);
  std::int64_t set = 0;
  for (std::int64_t c = 0; c < std::int64_t(bits.BitCount()); ++c) {
    if (c < clusters) {
      if (bits.GetBit(c)) ++set;
      EXPECT_EQ(bits.GetBit(c) != 0, used.count(c) == 1) << c;
    }
  }
  EXPECT_EQ(set, std::int64_t(used.size()));
  EXPECT_TRUE(pass_->Logged(u"Loading clusters bitmap start"));
  EXPECT_TRUE(pass_->Logged(u"Loading clusters bitmap complete"));
}

TEST_F(NtfsFixture, MftOfTwoRunsAndAttributeListExtents) {
  auto layout = pass_->fs->CurrentLayout();
  ASSERT_NE(layout, nullptr);
  const auto& runs = Manifest()["mft_runs"];
  ASSERT_GE(runs.size(), 2u);  // a reader that takes the $MFT as contiguous would fail here
  ASSERT_EQ(layout->mftRuns.size(), runs.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(layout->mftRuns[i].firstVcn, runs[i][0].get<std::int64_t>());
    EXPECT_EQ(layout->mftRuns[i].lcn, runs[i][1].get<std::int64_t>());
    EXPECT_EQ(layout->mftRuns[i].clusterCount, runs[i][2].get<std::int64_t>());
  }
  EXPECT_EQ(layout->recordSize, 1024);
  EXPECT_EQ(layout->clusterBytes, 4096);
  EXPECT_EQ(layout->recordCount, Manifest()["mft_record_count"].get<std::int64_t>());
  EXPECT_EQ(layout->indexRecordSize, Manifest()["index_record_size"].get<std::int64_t>());
  EXPECT_EQ(layout->mftMirrorCluster, Manifest()["mft_mirror_cluster"].get<std::int64_t>());

  for (std::int32_t record : {110, 111}) {
    const nlohmann::json& m = *ManifestObject(record);
    ASSERT_TRUE(m["attribute_list"].get<bool>());
    std::vector<std::uint8_t> bytes;
    ASSERT_GT(pass_->fs->ReadMftRecord(record, bytes), 0);
    MftRecordParser parser(*pass_->fs, layout);
    ASSERT_TRUE(parser.Load(bytes));
    EXPECT_EQ(parser.RecordNumber(), record);
    ASSERT_TRUE(parser.HasAttributeList());
    EXPECT_EQ(parser.FindAttribute(MftRecordParser::kFileName), nullptr);  // it lies in an extension record
    ASSERT_TRUE(parser.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& out) {
      return pass_->fs->ReadMftRecord(n, out) > 0;
    }));
    std::vector<std::int64_t> extents;
    for (const auto& [n, e] : parser.Extents()) extents.push_back(n);
    EXPECT_EQ(extents, m["extension_records"].get<std::vector<std::int64_t>>());
    // Every run, in VCN order, as the manifest lists them.
    const auto& expected = m["data_runs"];
    ASSERT_EQ(parser.Runs().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(parser.Runs()[i].firstVcn, expected[i][0].get<std::int64_t>());
      EXPECT_EQ(parser.Runs()[i].lcn, expected[i][1].get<std::int64_t>());
      EXPECT_EQ(parser.Runs()[i].clusterCount, expected[i][2].get<std::int64_t>());
    }
    EXPECT_EQ(std::int64_t(parser.Runs().size()), m["fragments"].get<std::int64_t>());
    EXPECT_EQ(parser.DataSize(), m["size"].get<std::int64_t>());
    EXPECT_EQ(parser.DataAttributeCount(), 1);
  }
}

TEST_F(NtfsFixture, CompressedFileIsListedAndNotRecoveredAsItsCompressedBytes) {
  FoundObject* o = pass_->One(93);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Name(), u"compressed.txt");
  EXPECT_EQ(o->size, 40000);
  Bytes buffer(40000, 0xAA);
  EXPECT_EQ(pass_->volume->ReadObjectData(*o, buffer.data(), 0, 40000), 0);
  EXPECT_TRUE(pass_->Logged(u"ERR: CFileSystem_NTFS.FileRead: compressed.txt is compressed; compressed NTFS data is "
                            u"not supported"));
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  // The recovery asks first and makes no file of zeros; its neighbours can be read.
  EXPECT_FALSE(pass_->volume->CanReadObjectData(*o));
  for (std::int32_t record : {92, 110}) {
    FoundObject* other = pass_->One(record);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(pass_->volume->CanReadObjectData(*other)) << record;
  }
}

TEST_F(NtfsFixture, NamedStreamsAreCountedButTheUnnamedOneIsTheData) {
  auto layout = pass_->fs->CurrentLayout();
  std::vector<std::uint8_t> bytes;
  ASSERT_GT(pass_->fs->ReadMftRecord(90, bytes), 0);
  MftRecordParser parser(*pass_->fs, layout);
  ASSERT_TRUE(parser.Load(bytes));
  EXPECT_EQ(parser.DataAttributeCount(), 2);
  EXPECT_EQ(parser.DataSize(), 3000);
}

TEST_F(NtfsFixture, DataAtClusterZeroIsNotSparse) {
  // $Boot's one run starts at LCN 0: its data is the boot sector, not zeros.
  FoundObject* boot = pass_->One(7);
  ASSERT_NE(boot, nullptr);
  Bytes buffer(512);
  ASSERT_EQ(pass_->volume->ReadObjectData(*boot, buffer.data(), 0, 512), 512);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), FixtureBytes().begin()));
}

TEST_F(NtfsFixture, ReparseLeavesNothingOfTheRecordBefore) {
  auto layout = pass_->fs->CurrentLayout();
  MftRecordParser parser(*pass_->fs, layout);
  std::vector<std::uint8_t> file, folder, resident;
  ASSERT_GT(pass_->fs->ReadMftRecord(79, file), 0);      // non-resident, 10,000 bytes
  ASSERT_GT(pass_->fs->ReadMftRecord(64, folder), 0);    // a folder
  ASSERT_GT(pass_->fs->ReadMftRecord(77, resident), 0);  // resident, 60 bytes
  ASSERT_TRUE(parser.Load(file));
  EXPECT_TRUE(parser.NonResident());
  EXPECT_EQ(parser.DataSize(), 10000);
  ASSERT_TRUE(parser.Load(folder));
  EXPECT_FALSE(parser.HasData());
  EXPECT_FALSE(parser.NonResident());
  EXPECT_EQ(parser.DataSize(), 0);
  EXPECT_TRUE(parser.Runs().empty());
  FoundObject o;
  o.size = -1;
  ASSERT_TRUE(parser.FillObject(o));
  EXPECT_EQ(o.size, 0);
  EXPECT_EQ(o.Name(), u"Documents");
  ASSERT_TRUE(parser.Load(resident));
  EXPECT_FALSE(parser.NonResident());
  EXPECT_EQ(parser.DataSize(), 60);
  EXPECT_GT(parser.ResidentOffset(), 0x38);
  Bytes data(100, 0xAA);
  EXPECT_EQ(parser.ReadData(0, 100, data.data()), 60);
  EXPECT_EQ(parser.ReadData(60, 10, data.data()), 0);
  ASSERT_TRUE(parser.Load(file));
  EXPECT_EQ(parser.VcnToLcn(0), (*ManifestObject(79))["first_cluster"].get<std::int64_t>());
  EXPECT_EQ(parser.VcnToLcn(3), -1);  // 10,000 bytes: clusters 0 to 2
}

// ---- Patched copies of the fixture --------------------------------------------------------

TEST(FileSystemNtfs, CorruptRecordsAreSkippedWithALogLine) {
  const Bytes& image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  const std::int64_t victim = 79;  // /README.txt: non-resident, one run
  const Bytes good = FixedRecord(image, victim);
  const std::size_t data = AttributeOffsets(good, 0x80).at(0);
  const std::size_t si = AttributeOffsets(good, 0x10).at(0);
  const std::size_t pairs = data + platform::LeView(good.data(), good.size()).U16(data + 0x20);

  struct Case {
    const char* what;
    std::function<void(Bytes& fixed)> patch;  // on the record with its fix-ups undone
    const char16_t* reason;                   // the log line says so
    bool raw = false;                         // patch the bytes as the disk holds them
  };
  const Case cases[] = {
      {"torn write: the second sector does not end with the sequence number",
       [](Bytes& r) { r[1022] ^= 0x5A; }, u"sector 2 does not end with the update sequence number", true},
      {"update sequence count 0", [](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(6, 0); }, u"update sequence count 0 for 2 sectors", true},
      {"update sequence count larger than the record",
       [](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(6, 200); }, u"update sequence count 200", true},
      {"update sequence array beyond the first sector",
       [](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(4, 0xFFF0); }, u"update sequence array at 65520", true},
      {"first attribute beyond the used size",
       [](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(0x14, 0x3F8); }, u"first attribute at 1016"},
      {"used size beyond the record", [](Bytes& r) { platform::LeWriter(r.data(), r.size()).U32(0x18, 0x10000); }, u"used size 65536"},
      {"attribute length beyond the record",
       [&](Bytes& r) { platform::LeWriter(r.data(), r.size()).U32(si + 4, 0x7FFFFFF0); }, u"attribute 0x10 at 56 runs past the record"},
      {"resident value beyond its attribute",
       [&](Bytes& r) { platform::LeWriter(r.data(), r.size()).U32(si + 0x10, 0x1000); }, u"value of attribute 0x10 at 56 runs past it"},
      {"resident value offset beyond its attribute",
       [&](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(si + 0x14, 0xFFFF); }, u"value of attribute 0x10 at 56 runs past it"},
      {"mapping pairs offset beyond the attribute",
       [&](Bytes& r) { platform::LeWriter(r.data(), r.size()).U16(data + 0x20, 0xFFFF); }, u"non-resident attribute 0x80"},
      {"run header with a count of 0 bytes", [&](Bytes& r) { r[pairs] = 0x30; }, u"run list of $DATA: bad run header"},
      {"run list without its end", [&](Bytes& r) {
         const std::size_t end = data + platform::LeView(r.data(), r.size()).U32(data + 4);
         std::fill(r.begin() + pairs, r.begin() + end, 0x11);
       }, u"run list of $DATA: run list truncated"},
      {"run list shorter than its VCN range",
       [&](Bytes& r) { platform::LeWriter(r.data(), r.size()).I64(data + 0x18, 50); }, u"run list of $DATA ends at VCN 2, not 50"},
      {"negative LCN", [&](Bytes& r) {
         // One run of 3 clusters at LCN -16.
         r[pairs] = 0x11, r[pairs + 1] = 0x03, r[pairs + 2] = 0xF0, r[pairs + 3] = 0x00;
       }, u"run list of $DATA: negative LCN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes copy = image;
    if (c.raw) {
      const std::int64_t at = RecordPosition(victim);
      Bytes r(copy.begin() + at, copy.begin() + at + kRecordSize);
      c.patch(r);
      std::copy(r.begin(), r.end(), copy.begin() + at);
    } else {
      Bytes r = good;
      c.patch(r);
      PutRecord(copy, victim, r);
    }
    Pass p(std::move(copy));
    p.Run();
    EXPECT_TRUE(p.ById(std::int32_t(victim)).empty());
    EXPECT_TRUE(p.Logged(std::u16string(u"ERR: CFileSystem_NTFS: MFT record 79 skipped: ") + c.reason));
    // The walk goes on past it.
    ASSERT_NE(p.One(80), nullptr);
    EXPECT_EQ(p.One(80)->Name(), u"日本語.txt");
    ASSERT_NE(p.One(117), nullptr);
    // FileRead of the record refuses it too.
    FoundObject ghost;
    ghost.id = std::int32_t(victim);
    ghost.size = 10000;
    Bytes buffer(4096);
    EXPECT_EQ(p.volume->ReadObjectData(ghost, buffer.data(), 0, 4096), 0);
  }
}

TEST(FileSystemNtfs, MftWithAnAttributeListIsReadThroughItsExtents) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  const std::size_t expectedObjects = NtfsObjectCount();
  const auto& runs = Manifest()["mft_runs"];  // [[0, 4, 27], [27, 633, 4]]
  ASSERT_EQ(runs.size(), 2u);
  const std::int64_t split = runs[1][0], lcn2 = runs[1][1], count2 = runs[1][2];

  // Record 0 keeps the first run; the second moves to extension record 16, and an
  // attribute list after $STANDARD_INFORMATION names both.
  Bytes r0 = FixedRecord(image, 0);
  const platform::LeView v0(r0.data(), r0.size());
  std::vector<Bytes> attributes;
  for (std::size_t a = v0.U16(0x14); v0.U32(a) != 0xFFFFFFFF;) {
    const std::size_t length = v0.U32(a + 4);
    attributes.emplace_back(r0.begin() + a, r0.begin() + a + length);
    a += length;
  }
  for (Bytes& at : attributes) {
    if (platform::LeView(at.data(), at.size()).U32(0) != 0x80) continue;
    platform::LeWriter w(at.data(), at.size());
    w.I64(0x18, split - 1);
    const std::size_t pairs = platform::LeView(at.data(), at.size()).U16(0x20);
    std::fill(at.begin() + pairs, at.end(), 0);
    at[pairs] = 0x11, at[pairs + 1] = std::uint8_t(split), at[pairs + 2] = std::uint8_t(runs[0][1].get<int>());
  }
  Bytes list;
  auto entry = [&](std::uint32_t type, std::int64_t vcn, std::uint64_t record) {
    Bytes e(0x20, 0);
    platform::LeWriter w(e.data(), e.size());
    w.U32(0, type);
    w.U16(4, 0x20);
    w.U8(7, 0x1A);
    w.I64(8, vcn);
    w.U64(0x10, record | (std::uint64_t(1) << 48));
    list.insert(list.end(), e.begin(), e.end());
  };
  entry(0x10, 0, 0), entry(0x30, 0, 0), entry(0x80, 0, 0), entry(0x80, split, 16), entry(0xB0, 0, 0);
  Bytes al(0x18 + list.size(), 0);
  platform::LeWriter alw(al.data(), al.size());
  alw.U32(0, 0x20);
  alw.U32(4, std::uint32_t(al.size()));
  alw.U32(0x10, std::uint32_t(list.size()));
  alw.U16(0x14, 0x18);
  std::copy(list.begin(), list.end(), al.begin() + 0x18);
  attributes.insert(attributes.begin() + 1, al);
  std::size_t at = v0.U16(0x14);
  std::fill(r0.begin() + at, r0.end(), 0);
  for (const Bytes& a : attributes) {
    std::copy(a.begin(), a.end(), r0.begin() + at);
    at += a.size();
  }
  platform::LeWriter w0(r0.data(), r0.size());
  w0.U32(at, 0xFFFFFFFF);
  w0.U32(0x18, std::uint32_t(at + 8));
  ASSERT_LE(at + 8, 1024u);
  PutRecord(image, 0, r0);

  Bytes r16(1024, 0);
  std::copy(r0.begin(), r0.begin() + 0x38, r16.begin());  // header and update sequence array
  platform::LeWriter w16(r16.data(), r16.size());
  w16.U16(0x14, 0x38);
  w16.U16(0x16, 1);
  w16.U64(0x20, std::uint64_t(1) << 48);  // base: record 0, sequence 1
  w16.U32(0x2C, 16);
  w16.U32(0x38, 0x80);
  w16.U32(0x3C, 0x48);
  w16.U8(0x40, 1);
  w16.I64(0x48, split);
  w16.I64(0x50, split + count2 - 1);
  w16.U16(0x58, 0x40);
  const std::uint8_t pairs[] = {0x21, std::uint8_t(count2), std::uint8_t(lcn2), std::uint8_t(lcn2 >> 8), 0};
  std::copy(std::begin(pairs), std::end(pairs), r16.begin() + 0x38 + 0x40);
  w16.U32(0x38 + 0x48, 0xFFFFFFFF);
  w16.U32(0x18, 0x38 + 0x48 + 8);
  PutRecord(image, 16, r16);

  Pass p(std::move(image));
  p.Run();
  auto layout = p.fs->CurrentLayout();
  ASSERT_NE(layout, nullptr);
  ASSERT_EQ(layout->mftRuns.size(), 2u);
  EXPECT_EQ(layout->mftRuns[1].firstVcn, split);
  EXPECT_EQ(layout->mftRuns[1].lcn, lcn2);
  EXPECT_EQ(layout->mftRuns[1].clusterCount, count2);
  EXPECT_EQ(layout->recordCount, Manifest()["mft_record_count"].get<std::int64_t>());
  EXPECT_TRUE(p.ById(16).empty());  // the extension record is part of record 0
  for (std::int32_t record : {110, 116, 117}) {  // in the second run
    FoundObject* o = p.One(record);
    ASSERT_NE(o, nullptr) << record;
    EXPECT_EQ(HashOf(p.Read(*o)), (*ManifestObject(record))["sha256"].get<std::string>()) << record;
  }
  EXPECT_EQ(p.Objects().size(), expectedObjects);
}

TEST(FileSystemNtfs, DosNameFirstStillGivesTheWin32Name) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  // Record 91 holds a Win32 name and then a DOS name: put the DOS one first.
  Bytes r = FixedRecord(image, 91);
  const auto names = AttributeOffsets(r, 0x30);
  ASSERT_EQ(names.size(), 2u);
  const platform::LeView v(r.data(), r.size());
  const std::size_t a = names[0], b = names[1];
  ASSERT_EQ(a + v.U32(a + 4), b);  // side by side
  const std::size_t la = v.U32(a + 4), lb = v.U32(b + 4);
  Bytes first(r.begin() + a, r.begin() + a + la), second(r.begin() + b, r.begin() + b + lb);
  ASSERT_EQ(second[0x18 + 65], 2);  // the DOS name
  std::copy(second.begin(), second.end(), r.begin() + a);
  std::copy(first.begin(), first.end(), r.begin() + a + lb);
  PutRecord(image, 91, r);

  Pass p(std::move(image));
  p.Run();
  FoundObject* o = p.One(91);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Name(), u"Long name with DOS name.txt");
  EXPECT_EQ(o->parentId, 5);
  EXPECT_EQ(o->size, 300);
}

TEST(FileSystemNtfs, NameParentAndSizeComeFromOneFileNameAndTheData) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  // Record 85 has two links: "Report 2021 (link).pdf" in the root, then
  // "Report 2021.pdf" in /Documents (64), both POSIX. Make the second Win32, and give
  // the first a stale size far above the data's.
  Bytes r = FixedRecord(image, 85);
  const auto names = AttributeOffsets(r, 0x30);
  ASSERT_EQ(names.size(), 2u);
  const platform::LeView v(r.data(), r.size());
  const std::size_t value1 = names[0] + v.U16(names[0] + 0x14), value2 = names[1] + v.U16(names[1] + 0x14);
  platform::LeWriter w(r.data(), r.size());
  w.U8(value2 + 65, 1);
  w.I64(value1 + 48, 999999999);
  w.I64(value2 + 48, 999999999);
  PutRecord(image, 85, r);
  // A folder's $FILE_NAME with a negative size: the size is not known.
  Bytes folder = FixedRecord(image, 64);
  const std::size_t name = AttributeOffsets(folder, 0x30).at(0);
  platform::LeWriter(folder.data(), folder.size())
      .I64(name + platform::LeView(folder.data(), folder.size()).U16(name + 0x14) + 48, INT64_MIN);
  PutRecord(image, 64, folder);

  Pass p(std::move(image));
  p.Run();
  ASSERT_NE(p.One(64), nullptr);
  EXPECT_EQ(p.One(64)->size, -1);
  FoundObject* o = p.One(85);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Name(), u"Report 2021.pdf");
  EXPECT_EQ(o->parentId, 64);
  EXPECT_EQ(o->size, 4581);
  EXPECT_EQ(HashOf(p.Read(*o)), (*ManifestObject(85))["sha256"].get<std::string>());
}

namespace {

// Plants a copy of record `from`, renumbered `number`, at byte `at` of the image (in
// the clusters of the deleted /ballast.bin, free space); returns `at`.
std::int64_t Plant(Bytes& image, std::int64_t from, std::uint32_t number, std::int64_t at) {
  const std::int64_t original = RecordPosition(from);
  std::copy(image.begin() + original, image.begin() + original + kRecordSize, image.begin() + at);
  // The number lies in the first sector, away from the protected sector ends.
  platform::LeWriter(image.data() + at, kRecordSize).U32(0x2C, number);
  return at;
}

FoundObject Hit(std::int64_t offset) {
  FoundObject hit;
  hit.offset = offset;
  hit.typeId = 24;
  hit.flags = OBJ_DELETED | OBJ_RAW;
  hit.size = -1;
  return hit;
}

}  // namespace

TEST(FileSystemNtfs, ScanAtListsAFileRecordPlantedInFreeSpaceOnce) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  const std::int64_t planted = Plant(image, 79, 3000, 3500 * kClusterBytes);  // README.txt as record 3000
  const std::int64_t planted2 = Plant(image, 97, 3001, 3501 * kClusterBytes);  // and "deleted file.txt"
  Pass p(std::move(image));
  p.Run();
  const std::size_t before = p.Objects().size();

  p.fs->ScanAt(Hit(planted));
  p.fs->ScanAt(Hit(planted));  // twice, and from the hit before it: still once each
  p.fs->ScanAt(Hit(planted2));
  FoundObject* o = p.One(3000);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->Name(), u"README.txt");
  EXPECT_EQ(o->parentId, 5);
  EXPECT_FALSE(o->IsFolder());
  EXPECT_FALSE(o->flags.Any(OBJ_DELETED));
  EXPECT_EQ(o->size, 10000);
  EXPECT_EQ(HashOf(p.Read(*o)), (*ManifestObject(79))["sha256"].get<std::string>());
  FoundObject* d = p.One(3001);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->flags.Any(OBJ_DELETED));
  EXPECT_EQ(HashOf(p.Read(*d)), (*ManifestObject(97))["sha256"].get<std::string>());
  EXPECT_EQ(p.Objects().size(), before + 2);

  // A hit inside the table the walk went through adds nothing: those are listed.
  p.fs->ScanAt(Hit(RecordPosition(77)));
  p.fs->ScanAt(Hit(RecordPosition(110)));
  EXPECT_EQ(p.Objects().size(), before + 2);
  EXPECT_EQ(p.ById(77).size(), 1u);

  // AddRecord itself: a folder record is a folder, record 5 is never handed over.
  std::vector<std::uint8_t> bytes;
  ASSERT_GT(p.fs->ReadMftRecord(5, bytes), 0);
  EXPECT_FALSE(p.fs->AddRecord(bytes));
  ASSERT_GT(p.fs->ReadMftRecord(65, bytes), 0);
  platform::LeWriter(bytes.data(), bytes.size()).U32(0x2C, 4000);
  EXPECT_TRUE(p.fs->AddRecord(bytes));
  ASSERT_NE(p.One(4000), nullptr);
  EXPECT_TRUE(p.One(4000)->IsFolder());
  EXPECT_FALSE(p.fs->AddRecord(Bytes(1024, 0)));  // no FILE signature
  platform::LeWriter(bytes.data(), bytes.size()).U32(0x2C, 0x80000000);
  EXPECT_FALSE(p.fs->AddRecord(bytes));  // a number beyond the 32-bit ids
}

TEST(FileSystemNtfs, BytesPastTheInitializedSizeReadAsZeros) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  Bytes r = FixedRecord(image, 79);  // /README.txt, 10,000 bytes in 3 clusters
  const std::size_t data = AttributeOffsets(r, 0x80).at(0);
  platform::LeWriter(r.data(), r.size()).I64(data + 0x38, 5000);
  PutRecord(image, 79, r);
  Pass p(std::move(image));
  p.Run();
  FoundObject* o = p.One(79);
  ASSERT_NE(o, nullptr);
  const Bytes got = p.Read(*o);
  ASSERT_EQ(got.size(), 10000u);
  const Bytes& fixture = FixtureBytes();
  const std::int64_t at = o->offset;
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 5000, fixture.begin() + at));
  EXPECT_TRUE(std::all_of(got.begin() + 5000, got.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_FALSE(std::all_of(fixture.begin() + at + 5000, fixture.begin() + at + 10000,
                           [](std::uint8_t b) { return b == 0; }));  // the clusters hold more
}

TEST(FileSystemNtfs, AnEncryptedStreamIsNotTakenForTheFilesBytes) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  Bytes r = FixedRecord(image, 79);  // /README.txt, non-resident
  const std::size_t data = AttributeOffsets(r, 0x80).at(0);
  platform::LeWriter(r.data(), r.size()).U16(data + 0x0C, 0x4000);  // the stream's encrypted flag
  PutRecord(image, 79, r);
  Pass p(std::move(image));
  p.Run();
  FoundObject* o = p.One(79);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->size, 10000);  // listed as it is
  EXPECT_FALSE(p.volume->CanReadObjectData(*o));
  FoundObject* other = p.One(110);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(p.volume->CanReadObjectData(*other));
}

TEST(FileSystemNtfs, AStopDuringTheMftLoadIsHonoured) {
  Pass p(FixtureBytes());
  const std::uint64_t mft = Manifest()["mft_cluster"].get<std::uint64_t>() * kClusterBytes;
  // The user stops while record 0 is read.
  p.device->onRead = [&](std::uint64_t offset, std::size_t length) {
    if (offset <= mft && mft < offset + length) p.progress.running = 0;
  };
  p.Run();
  EXPECT_EQ(p.progress.running.load(), 0);  // the parser never sets the flag
  EXPECT_TRUE(p.Objects().empty());
  EXPECT_EQ(p.progress.total.load(), Manifest()["mft_record_count"].get<std::int64_t>() - 1);
}

namespace {

// Clears the running flag when the store has added `after` records.
class StopAfter : public INotifier {
 public:
  StopAfter(ScanProgress& progress, int after) : progress_(progress), left_(after) {}
  void Post(PostedMessage m) override {
    if (m.message == WM_FOUND_OBJECT && m.lParam == FOUND_ADDED && --left_ == 0) progress_.running = 0;
  }

 private:
  ScanProgress& progress_;
  std::atomic<int> left_;
};

}  // namespace

TEST(FileSystemNtfs, AStopDuringTheWalkEndsItAfterTheRecordInHand) {
  Pass p(FixtureBytes());
  StopAfter stop(p.progress, 20);
  SetNotifier(&stop);
  p.Run();
  SetNotifier(nullptr);
  EXPECT_EQ(p.progress.running.load(), 0);
  const auto objects = p.Objects();
  ASSERT_EQ(objects.size(), 20u);
  std::int32_t last = 0;
  for (FoundObject* o : objects) last = std::max(last, o->id);
  EXPECT_EQ(p.progress.current.load(), last);
}

TEST(FileSystemNtfs, BootFields) {
  // A boot sector as mkntfs writes it, then one field changed.
  Bytes boot(FixtureBytes().begin(), FixtureBytes().begin() + 512);
  struct Case {
    std::size_t offset;
    std::uint8_t value;
    bool ok;
    std::int32_t clusterBytes, recordSize;
  };
  const Case cases[] = {
      {0x0D, 0x08, true, 4096, 1024},     // as written
      {0x0D, 0x01, true, 512, 1024},
      {0x0D, 0x80, true, 65536, 1024},
      {0x0D, 0xF4, true, 512 << 12, 1024},  // 2^(256 - byte) sectors
      {0x0D, 0xF7, true, 512 << 9, 1024},
      {0x0D, 0xFF, true, 1024, 1024},
      {0x0D, 0x00, false, 0, 0},  // a cluster size of 0
      {0x0D, 0x03, false, 0, 0},
      {0x0D, 0xF3, false, 0, 0},  // 8,192 sectors: beyond the largest cluster
      {0x40, 0xF6, true, 4096, 1024},
      {0x40, 0xF4, true, 4096, 4096},  // mkntfs -s 4096 -c 65536
      {0x40, 0xF5, true, 4096, 2048},  // mkntfs -s 2048
      {0x40, 0x01, true, 4096, 4096},  // one cluster
      {0x40, 0x00, false, 0, 0},       // a record size of 0
      {0x40, 0x03, false, 0, 0},       // three clusters: no power of two
      {0x40, 0x20, false, 0, 0},       // 128 KiB
      {0x40, 0xF8, false, 0, 0},       // 256 bytes
      {0x0C, 0x00, false, 0, 0},       // 0 bytes per sector
      {0x0C, 0x01, false, 0, 0},       // 256
      {0x0C, 0x20, false, 0, 0},       // 8192
      {0x03, 'X', false, 0, 0},        // no "NTFS    " label
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << c.offset << " = 0x" << int(c.value));
    Bytes b = boot;
    b[c.offset] = c.value;
    CFileSystem_NTFS::Layout layout;
    std::u16string why;
    const bool ok = CFileSystem_NTFS::ReadBootFields(b, 0, layout, why);
    EXPECT_EQ(ok, c.ok) << platform::Utf16ToUtf8(why);
    if (ok) {
      EXPECT_EQ(layout.clusterBytes, c.clusterBytes);
      EXPECT_EQ(layout.recordSize, c.recordSize);
      EXPECT_EQ(layout.sectorsPerCluster, c.clusterBytes / 512);
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
  // The sizes the boot sector gives are capped by the device.
  CFileSystem_NTFS::Layout layout;
  std::u16string why;
  Bytes huge = boot;
  platform::LeWriter(huge.data(), huge.size()).I64(0x28, std::int64_t(1) << 50);
  ASSERT_TRUE(CFileSystem_NTFS::ReadBootFields(huge, 32768, layout, why));
  EXPECT_EQ(layout.totalSectors, 32768);
  EXPECT_EQ(layout.totalClusters, 4096);
  platform::LeWriter(huge.data(), huge.size()).I64(0x30, 5000);  // the $MFT beyond the device
  EXPECT_FALSE(CFileSystem_NTFS::ReadBootFields(huge, 32768, layout, why));
}

TEST(FileSystemNtfs, AVolumeWithAZeroRecordOrClusterSizeIsRefusedWithALogLine) {
  for (std::size_t offset : {std::size_t(0x40), std::size_t(0x0D)}) {
    Bytes image = FixtureBytes();
    image[offset] = 0;
    image[image.size() - 512 + offset] = 0;  // the backup copy at the last sector too
    Pass p(std::move(image));
    p.Run();
    EXPECT_TRUE(p.Objects().empty());
    EXPECT_TRUE(p.Logged(u"ERR: CFileSystem_NTFS: the boot sector gives a ")) << offset;
    EXPECT_TRUE(p.Logged(u"the volume is not analysed."));
    EXPECT_EQ(p.fs->CurrentLayout(), nullptr);
  }
}

TEST(FileSystemNtfs, HugeMftAndBitmapSizesAreCappedByTheVolume) {
  Bytes image = FixtureBytes();
  // $MFT and $Bitmap claim an exabyte of data.
  for (std::int64_t record : {0, 6}) {
    Bytes r = FixedRecord(image, record);
    const std::size_t data = AttributeOffsets(r, 0x80).at(0);
    platform::LeWriter w(r.data(), r.size());
    w.I64(data + 0x28, std::int64_t(1) << 60);
    w.I64(data + 0x30, std::int64_t(1) << 60);
    w.I64(data + 0x38, std::int64_t(1) << 60);
    PutRecord(image, record, r);
  }
  Pass p(std::move(image));
  p.Run();
  auto layout = p.fs->CurrentLayout();
  ASSERT_NE(layout, nullptr);
  EXPECT_LE(layout->recordCount * 1024, std::int64_t(16) << 20);
  EXPECT_LE(std::int64_t(p.volume->ClustersBitmap().ByteCount()), (layout->totalClusters + 63) / 64 * 8);
  EXPECT_NE(p.One(79), nullptr);  // the walk still lists the files, past the runs' end it finds nothing
}

TEST(FileSystemNtfs, RecordsOfTheSizeTheBootSectorGivesOnAVolumeOf4096ByteSectors) {
  if (std::system("command -v mkntfs >/dev/null 2>&1") != 0) GTEST_SKIP() << "mkntfs is not installed";
  test::TempDir dir;
  const std::string path = dir / "4k.img";
  {
    std::ofstream(path, std::ios::binary).close();
  }
  ASSERT_EQ(truncate(path.c_str(), 8 << 20), 0);
  const std::string cmd = "mkntfs -F -Q -q -s 4096 -c 4096 -L fourk '" + path + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  Pass p(ReadWholeFile(path));
  p.Run();
  auto layout = p.fs->CurrentLayout();
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->recordSize, 4096);
  EXPECT_EQ(layout->bytesPerSector, 4096);
  EXPECT_EQ(layout->clusterBytes, 4096);
  EXPECT_EQ(p.volume->Geometry().clusterBytes, 4096);
  EXPECT_EQ(p.volume->Geometry().sectorsPerCluster, 8);
  for (const char16_t* name : {u"$MFT", u"$MFTMirr", u"$LogFile", u"$Volume", u"$Bitmap", u"$Boot", u"$UpCase"}) {
    bool found = false;
    for (FoundObject* o : p.Objects()) found = found || o->Name() == name;
    EXPECT_TRUE(found) << platform::Utf16ToUtf8(name);
  }
  EXPECT_FALSE(p.Logged(u"skipped"));
  FoundObject* boot = p.One(7);
  ASSERT_NE(boot, nullptr);
  Bytes buffer(512);
  ASSERT_EQ(p.volume->ReadObjectData(*boot, buffer.data(), 0, 512), 512);
  const Bytes image = ReadWholeFile(path);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), image.begin()));
  EXPECT_EQ(p.One(6)->size * 8, (8 << 20) / 4096);  // $Bitmap: one bit per cluster
}

// ---- Several search workers at once ---------------------------------------------------------

TEST(FileSystemNtfsThreads, ScanAtFromSeveralWorkersListsEachRecordOnce) {
  Bytes image = FixtureBytes();
  ASSERT_FALSE(image.empty());
  // Four records in a cluster, groups of them two clusters apart: a hit's scan of ten
  // records reaches into the next group.
  std::vector<std::int64_t> positions;
  const std::int64_t sources[] = {79, 80, 86, 94, 97, 116, 88};
  for (int i = 0; i < 24; ++i)
    positions.push_back(Plant(image, sources[i % 7], std::uint32_t(5000 + i),
                              (3200 + i / 4 * 2) * kClusterBytes + (i % 4) * kRecordSize));
  Pass p(std::move(image));
  p.Run();
  const std::size_t before = p.Objects().size();
  std::vector<std::thread> workers;
  std::atomic<int> reads{0};
  for (int t = 0; t < 6; ++t) {
    workers.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round)
        for (std::size_t i = t % 3; i < positions.size(); i += 2) {
          p.fs->ScanAt(Hit(positions[i]));
          std::int64_t cookie = -1;
          if (FoundObject* o = p.volume->Store().FindById(std::int32_t(5000 + i), cookie)) {
            const FoundObject snapshot = p.volume->Store().Snapshot(*o);
            Bytes buffer(8192);
            if (p.volume->ReadObjectData(snapshot, buffer.data(), 0, 8192) > 0) ++reads;
          }
        }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(p.Objects().size(), before + positions.size());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    FoundObject* o = p.One(std::int32_t(5000 + i));
    ASSERT_NE(o, nullptr) << i;
    const nlohmann::json& m = *ManifestObject(sources[i % 7]);
    EXPECT_EQ(o->Name(), U16(m["name"].get<std::string>()));
    EXPECT_EQ(HashOf(p.Read(*o)), m["sha256"].get<std::string>()) << i;
  }
  EXPECT_GT(reads.load(), 0);
}

TEST(FileSystemNtfsThreads, ObjectDataIsReadWhileThePassRuns) {
  Pass p(FixtureBytes());
  std::atomic<bool> go{false}, done{false};
  std::atomic<int> good{0};
  // The views read while the $MFT loads: the reader starts when record 0 is read
  // and the load is held up a little, so the reads meet the load.
  const std::uint64_t mft = Manifest()["mft_cluster"].get<std::uint64_t>() * kClusterBytes;
  p.device->onRead = [&](std::uint64_t offset, std::size_t length) {
    if (offset <= mft && mft < offset + length && !go.exchange(true))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  std::thread reader([&] {
    while (!go.load()) std::this_thread::yield();
    FoundObject readme;  // /README.txt as the views would ask for it
    readme.id = 79;
    readme.size = 10000;
    Bytes buffer(10000);
    const std::string expected = (*ManifestObject(79))["sha256"].get<std::string>();
    while (!done.load()) {
      if (p.volume->ReadObjectData(readme, buffer.data(), 0, 10000) == 10000 && HashOf(buffer) == expected) ++good;
    }
  });
  p.Run();
  done = true;
  reader.join();
  EXPECT_NE(p.One(79), nullptr);
  FoundObject readme;
  readme.id = 79;
  Bytes buffer(10000);
  EXPECT_EQ(p.volume->ReadObjectData(readme, buffer.data(), 0, 10000), 10000);
  EXPECT_EQ(HashOf(buffer), (*ManifestObject(79))["sha256"].get<std::string>());
}

TEST(FileSystemNtfs, WithoutAnyBootSectorFoundRecordsAreListedAndOnlyResidentDataIsRead) {
  Bytes image = FixtureBytes();
  std::fill_n(image.begin(), 512, 0);                          // the boot sector
  std::fill_n(image.end() - 512, 512, 0);                      // and its copy at the last sector
  Pass p(std::move(image));
  p.volume->SetFileSystemTypeCode(7);  // an NTFS partition by its table
  p.Run();
  EXPECT_TRUE(p.Logged(u"no boot sector copy is readable"));
  EXPECT_EQ(p.fs->CurrentLayout(), nullptr);
  // What the sector pass hands over: every FILE record where it lies.
  for (std::int64_t n = 0; n < 120; ++n) {
    FoundObject hit;
    hit.typeId = 24;
    hit.offset = RecordPosition(n);
    if (hit.offset > 0) p.fs->ScanAt(hit);
  }
  const FoundObject* tiny = p.One(77);      // resident: its bytes are in its record
  const FoundObject* readme = p.One(79);    // non-resident: its clusters can't be found
  const FoundObject* summary = p.One(89);   // under its folder, whose record was found too
  ASSERT_NE(tiny, nullptr);
  ASSERT_NE(readme, nullptr);
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(tiny->Name(), u"tiny.txt");
  EXPECT_EQ(summary->parentId, 68);
  ASSERT_NE(p.One(68), nullptr);
  EXPECT_TRUE(p.One(68)->IsFolder());
  const auto* m = ManifestObject(77);
  Bytes data(std::size_t((*m)["size"].get<std::int64_t>()));
  EXPECT_EQ(p.volume->ReadObjectData(*tiny, data.data(), 0, std::uint32_t(data.size())), std::int64_t(data.size()));
  EXPECT_EQ(test::Sha256(data.data(), data.size()), (*m)["sha256"].get<std::string>());
  Bytes other(4096);
  EXPECT_EQ(p.volume->ReadObjectData(*readme, other.data(), 0, 4096), 0);
  EXPECT_TRUE(p.Logged(u"README.txt can't be read: no boot sector gives the cluster size"));
}

TEST(FileSystemNtfs, ADeletedFileWhoseFolderRecordWasReusedIsNotListedUnderTheNewFolder) {
  // /Documents (record 64) is reused: its sequence number moves from 1 to 3, as when
  // a new folder takes the record. Its deleted file Old invoice.pdf (99) still names
  // sequence 1, and so does a copy of that record put at 40, before the folder in
  // the table: both record orders.
  Bytes image = FixtureBytes();
  {
    Bytes folder = FixedRecord(image, 64);
    platform::LeWriter(folder.data(), folder.size()).U16(0x10, 3);
    PutRecord(image, 64, folder);
    Bytes file = FixedRecord(image, 99);
    platform::LeWriter(file.data(), file.size()).U32(0x2C, 40);
    PutRecord(image, 40, file);
  }
  Pass p(std::move(image));
  p.Run();
  const FoundObject* after = p.One(99);
  const FoundObject* before = p.One(40);
  ASSERT_NE(after, nullptr);
  ASSERT_NE(before, nullptr);
  EXPECT_NE(after->parentId, 64);
  EXPECT_EQ(before->parentId, after->parentId);  // one key for the stale (record, sequence)
  // The lost folder made for the key, and the reusing folder keeps its own place and
  // its live files.
  const FoundObject* lost = p.One(after->parentId);
  ASSERT_NE(lost, nullptr);
  EXPECT_EQ(lost->parentId, kIdLostFolders);
  const FoundObject* documents = p.One(64);
  ASSERT_NE(documents, nullptr);
  EXPECT_EQ(documents->Name(), u"Documents");
  EXPECT_EQ(documents->parentId, 5);
  EXPECT_EQ(p.One(86)->parentId, 64);  // Budget.xls, live
  // A folder deleted after its files is still theirs: its number moved on by one.
  EXPECT_EQ(p.One(94)->parentId, 74);
  EXPECT_EQ(p.One(96)->parentId, 75);
}

TEST(FileSystemNtfs, StaleReferencesByTheSequenceNumbers) {
  struct Case {
    std::uint16_t reference, sequence;
    bool inUse, stale;
  };
  for (const Case& c : std::vector<Case>{{1, 1, true, false},
                                         {1, 2, false, false},   // freed after the file
                                         {1, 2, true, true},     // freed and reused
                                         {1, 3, false, true},    // reused and freed again
                                         {0xFFFF, 1, false, false},  // the wrap skips 0
                                         {0, 9, true, false},    // no sequence to check
                                         {4, 0, true, false}})
    EXPECT_EQ(CFileSystem_NTFS::StaleReference(c.reference, c.sequence, c.inUse), c.stale)
        << c.reference << " " << c.sequence << " " << c.inUse;
}

TEST(FileSystemNtfs, AnUnreadableBootSectorGivesWayToItsCopyAtTheEndOrTheMiddle) {
  const std::int64_t sectors = std::int64_t(FixtureBytes().size() / 512);
  for (const std::int64_t copyAt : {sectors - 1, sectors / 2}) {
    SCOPED_TRACE(copyAt);
    Bytes image = FixtureBytes();
    const Bytes boot(image.begin(), image.begin() + 512);
    std::fill_n(image.begin(), 512, 0);
    std::fill_n(image.end() - 512, 512, 0);
    std::copy(boot.begin(), boot.end(), image.begin() + copyAt * 512);  // where older tools wrote it
    Pass p(std::move(image));
    p.Run();
    EXPECT_TRUE(p.Logged(platform::Format(u"its backup copy at sector %I64d is used", copyAt)));
    EXPECT_EQ(p.volume->BootCopySector(), copyAt);
    ASSERT_NE(p.One(89), nullptr);  // the volume is listed as from its own boot sector
    EXPECT_EQ(p.One(89)->parentId, 68);
  }
}
