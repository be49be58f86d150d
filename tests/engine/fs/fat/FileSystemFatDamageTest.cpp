// The FAT parser over volumes built from bytes: parameter blocks it must refuse,
// damaged chains and entries, long names that belong to another entry, a FAT32 root
// folder away from cluster 2, reused clusters, read faults and a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "FileSystemFatTestSupport.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "platform/FileTime.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/LogLines.h"

using test::FatImage;
using test::FatLayout;
using test::ShortEntry;

namespace {

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

FatLayout Fat16() { return FatLayout{}; }
FatLayout Fat12() {
  FatLayout l;
  l.bits = 12;
  l.sectorsPerFat = 3;  // 1,024 entries
  return l;
}
FatLayout Fat32(std::uint32_t rootCluster = 2) {
  FatLayout l;
  l.bits = 32;
  l.reserved = 4;
  l.sectorsPerFat = 8;  // 1,024 entries
  l.rootCluster = rootCluster;
  return l;
}

void FillCluster(FatImage& img, std::uint32_t cluster, std::uint8_t seed) {
  std::uint8_t* c = img.Cluster(cluster);
  for (std::size_t i = 0; i < img.ClusterBytes(); ++i) c[i] = std::uint8_t(seed + i * 7);
}

struct FatDamage : ::testing::Test {
  ProgramLog log;
  ScanProgress progress;
  std::shared_ptr<CVolume> volume;
  std::shared_ptr<MemoryBlockDevice> device;
  CFileSystem_FAT* fat = nullptr;

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
  }
  void TearDown() override {
    volume.reset();
    g_Log = nullptr;
  }
  void Run(FatImage& img) {
    volume = test::ImageVolume(img.Bytes(), &device);
    fat = test::RunFatPass(*volume, progress);
  }
  // The objects found, by name (device node and root record left out).
  std::multimap<std::string, FoundObject> Found() const {
    std::multimap<std::string, FoundObject> out;
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) {
      const FoundObject* r = view.At(i);
      if (r->IsDevice() || r->Name() == u".") continue;
      out.emplace(U8(r->Name()), *r);
    }
    return out;
  }
  std::string PathOf(const FoundObject& r) const {
    std::u16string folder;
    volume->GetObjectPath(r, folder);
    return U8(folder) + U8(r.Name());
  }
  // Lines logged since the last Mark().
  void Mark() { mark = log.Lines().size(); }
  bool Logged(std::u16string_view text) const {
    return test::LogHolds(log, text, mark);
  }
  std::size_t mark = 0;
  std::vector<std::uint8_t> Read(const FoundObject& r, std::int64_t position, std::uint32_t count,
                                 std::int64_t* got = nullptr) {
    std::vector<std::uint8_t> out(count, 0xAA);
    const std::int64_t n = volume->ReadObjectData(r, out.data(), position, count);
    if (got) *got = n;
    return out;
  }
};

// ---- Parameter block ----------------------------------------------------------------------

TEST_F(FatDamage, AnUnusableParameterBlockRefusesTheVolumeWithALogLine) {
  struct Field {
    std::size_t offset;
    int width;
    std::uint32_t value;
  };
  struct Patch {
    const char* what;
    FatLayout layout;
    std::vector<Field> fields;
  };
  const Patch cases[] = {
      {"bytes per sector 0", Fat16(), {{11, 2, 0}}},
      {"bytes per sector 256", Fat16(), {{11, 2, 256}}},
      {"bytes per sector 520", Fat16(), {{11, 2, 520}}},
      {"bytes per sector 8192", Fat16(), {{11, 2, 8192}}},
      {"sectors per cluster 0", Fat16(), {{13, 1, 0}}},
      {"sectors per cluster 3", Fat16(), {{13, 1, 3}}},
      {"reserved sectors 0", Fat16(), {{14, 2, 0}}},
      {"FAT count 0", Fat16(), {{16, 1, 0}}},
      {"root entries 0", Fat16(), {{17, 2, 0}}},
      {"sectors per FAT 0", Fat16(), {{22, 2, 0}}},
      {"tables beyond the parameter block's total", Fat16(), {{22, 2, 0xFFFF}}},
      {"total sectors below the data area", Fat16(), {{19, 2, 10}}},
      {"tables beyond the volume", Fat16(), {{19, 2, 0}, {32, 4, 0xFFFFFFFF}, {22, 2, 0xFFFF}}},
      {"FAT32 sectors per FAT 0", Fat32(), {{36, 4, 0}}},
      {"FAT32 tables beyond the volume", Fat32(), {{19, 2, 0}, {32, 4, 0xFFFFFFFF}, {36, 4, 0x7FFFFFFF}}},
      {"FAT32 root cluster 0", Fat32(), {{44, 4, 0}}},
      {"FAT32 root cluster 1", Fat32(), {{44, 4, 1}}},
      {"FAT32 root cluster beyond the clusters", Fat32(), {{44, 4, 0x0FFFFFF0}}},
      {"FAT12 bytes per sector 0", Fat12(), {{11, 2, 0}}},
  };
  for (const Patch& c : cases) {
    SCOPED_TRACE(c.what);
    Mark();
    FatImage img(c.layout);
    FatImage::Put(img.Root(), 0, {"FILE    TXT", 0x20, 3, 10});
    img.Chain({3});
    platform::LeWriter w(img.Bytes().data(), 512);
    for (const Field& f : c.fields) {
      if (f.width == 1) w.U8(f.offset, std::uint8_t(f.value));
      if (f.width == 2) w.U16(f.offset, std::uint16_t(f.value));
      if (f.width == 4) w.U32(f.offset, f.value);
    }
    Run(img);
    EXPECT_TRUE(Found().empty());
    EXPECT_TRUE(Logged(u"not usable")) << (log.Lines().empty() ? "" : U8(log.Lines().back()));
    std::uint8_t buffer[512];
    FoundObject probe;
    probe.firstCluster = 3;
    probe.size = 10;
    EXPECT_EQ(volume->ReadObjectData(probe, buffer, 0, 10), 0);
  }
  // The same volumes unpatched are read.
  for (const FatLayout& l : {Fat16(), Fat32(), Fat12()}) {
    FatImage img(l);
    FatImage::Put(img.Root(), 0, {"FILE    TXT", 0x20, 3, 10});
    img.Chain({3});
    Run(img);
    EXPECT_EQ(Found().count("FILE.TXT"), 1u) << l.bits;
  }
}

TEST_F(FatDamage, SectorSizesUpTo4096AreConvertedToTheVolumesUnits) {
  for (std::uint32_t bps : {512u, 1024u, 2048u, 4096u}) {
    SCOPED_TRACE(bps);
    FatLayout l = Fat16();
    l.bytesPerSector = bps;
    l.totalSectors = 512;
    l.sectorsPerCluster = 2;
    FatImage img(l);
    const std::size_t slot = FatImage::Put(img.Root(), 0, {"DIR        ", 0x10, 3}, u"Folder");
    FatImage::Put(img.Root(), slot, {"TOP     BIN", 0x20, 5, std::uint32_t(img.ClusterBytes() + 10)});
    FatImage::Put(img.Cluster(3), 0, {"INNER   BIN", 0x20, 4, 100});
    img.Chain({3});
    img.Chain({4});
    img.Chain({5, 7});
    for (std::uint32_t c : {4u, 5u, 7u}) FillCluster(img, c, std::uint8_t(c));
    Run(img);
    const auto found = Found();
    ASSERT_EQ(found.count("INNER.BIN"), 1u);
    EXPECT_EQ(PathOf(found.find("INNER.BIN")->second), "Folder/INNER.BIN");
    const FoundObject& top = found.find("TOP.BIN")->second;
    EXPECT_EQ(top.offset, std::int64_t(img.ClusterOffset(5)));
    const auto data = Read(top, 0, std::uint32_t(img.ClusterBytes() + 10));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + img.ClusterBytes(), img.Cluster(5)));
    EXPECT_TRUE(std::equal(data.begin() + img.ClusterBytes(), data.end(), img.Cluster(7)));
    EXPECT_EQ(volume->Geometry().sectorsPerCluster, std::int32_t(2 * bps / 512));
    EXPECT_EQ(volume->Geometry().clusterBytes, std::int32_t(2 * bps));
  }
}

TEST_F(FatDamage, TheRootFolderSizeRoundsUpToWholeSectors) {
  FatLayout l = Fat16();
  l.rootEntries = 17;  // 544 bytes: two sectors
  FatImage img(l);
  FatImage::Put(img.Root(), 16, {"LAST    TXT", 0x20, 2, 512});  // in the second sector
  img.Chain({2});
  FillCluster(img, 2, 9);
  Run(img);
  const FatParameters p = fat->Parameters();
  EXPECT_EQ(p.rootDirBytes, 1024);
  EXPECT_EQ(p.dataStartSector, p.rootDirSector + 2);
  const auto found = Found();
  ASSERT_EQ(found.count("LAST.TXT"), 1u);
  const auto data = Read(found.find("LAST.TXT")->second, 0, 512);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), img.Cluster(2)));
}

// ---- FAT32 root away from cluster 2 ----------------------------------------------------------

TEST_F(FatDamage, AFat32RootAwayFromCluster2KeepsTheRootsIdForItself) {
  FatImage img(Fat32(5));
  std::size_t slot = FatImage::Put(img.Root(), 0, {"TWO        ", 0x10, 2}, u"Two");
  FatImage::Put(img.Root(), slot, {"TOP     TXT", 0x20, 3, 100});
  // The folder at cluster 2: its dot entries, then a file of two clusters.
  FatImage::Put(img.Cluster(2), 0, {".          ", 0x10, 2});
  FatImage::Put(img.Cluster(2), 1, {"..         ", 0x10, 0});
  FatImage::Put(img.Cluster(2), 2, {"INTWO   TXT", 0x20, 4, 600});
  FatImage::Put(img.Cluster(2), 3, {"BOGUS      ", 0x10, 5});  // a folder at the root's cluster
  img.Chain({2});
  img.Chain({3});
  img.Chain({4, 6});
  for (std::uint32_t c : {3u, 4u, 6u}) FillCluster(img, c, std::uint8_t(c * 3));
  Run(img);
  const auto found = Found();
  ASSERT_EQ(found.size(), 3u);
  const FoundObject& two = found.find("Two")->second;
  const FoundObject& top = found.find("TOP.TXT")->second;
  const FoundObject& inTwo = found.find("INTWO.TXT")->second;
  EXPECT_NE(two.id, 2);  // 2 is the root's
  EXPECT_EQ(two.firstCluster, 2);
  EXPECT_EQ(two.offset, std::int64_t(img.ClusterOffset(2)));
  EXPECT_EQ(two.parentId, 2);
  EXPECT_EQ(top.parentId, 2);
  EXPECT_EQ(inTwo.parentId, two.id);
  EXPECT_EQ(PathOf(top), "TOP.TXT");
  EXPECT_EQ(PathOf(inTwo), "Two/INTWO.TXT");
  const auto data = Read(inTwo, 0, 600);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 512, img.Cluster(4)));
  EXPECT_TRUE(std::equal(data.begin() + 512, data.end(), img.Cluster(6)));
}

// ---- Clusters and chains -------------------------------------------------------------------

TEST_F(FatDamage, TheHighClusterWordIsIgnoredOnFat16AndMaskedOnFat32) {
  struct Case {
    FatLayout layout;
    std::uint16_t high;
    bool listed;
  };
  const Case cases[] = {
      {Fat16(), 0xBEEF, true},  // FAT12/16 have no high word
      {Fat12(), 0xFFFF, true},
      {Fat32(), 0xF000, true},  // the top four bits are not part of the number
      {Fat32(), 0x8000, true},
      {Fat32(), 0x0001, false},  // cluster 0x10007: outside the volume
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout.bits * 100000 + c.high);
    FatImage img(c.layout);
    auto e = FatImage::Short({"FILE    TXT", 0x20, 7, 100});
    platform::LeWriter(e.data(), 32).U16(20, c.high);
    std::memcpy(img.Root(), e.data(), 32);
    img.Chain({7});
    FillCluster(img, 7, 1);
    Run(img);
    const auto found = Found();
    ASSERT_EQ(found.count("FILE.TXT"), c.listed ? 1u : 0u);
    if (!c.listed) continue;
    const FoundObject& r = found.find("FILE.TXT")->second;
    EXPECT_EQ(r.id, 7);
    EXPECT_EQ(r.firstCluster, 7);
    const auto data = Read(r, 0, 100);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), img.Cluster(7)));
  }
}

TEST_F(FatDamage, ClusterNumbersOutsideTheVolumeAreNotFollowed) {
  FatImage img(Fat16());
  const std::uint32_t count = 1024 - 13;  // the data area's clusters
  std::size_t slot = 0;
  for (const ShortEntry& e : {ShortEntry{"ONE     TXT", 0x20, 1, 10}, ShortEntry{"PAST    TXT", 0x20, count + 2, 10},
                              ShortEntry{"LAST    TXT", 0x20, count + 1, 10}, ShortEntry{"BADNEXT BIN", 0x20, 3, 1536},
                              ShortEntry{"OUTSIDE    ", 0x10, 0xFFF0}})
    slot = FatImage::Put(img.Root(), slot, e);
  img.Chain({count + 1});
  img.SetFat(3, 4);
  img.SetFat(4, 0xFFF7);  // a bad-cluster mark ends the chain
  Run(img);
  EXPECT_EQ(fat->Parameters().clusterCount, count);
  const auto found = Found();
  EXPECT_EQ(found.count("ONE.TXT"), 0u);
  EXPECT_EQ(found.count("PAST.TXT"), 0u);
  EXPECT_EQ(found.count("OUTSIDE"), 0u);
  EXPECT_EQ(found.count("LAST.TXT"), 1u);
  std::int64_t got = 0;
  Read(found.find("BADNEXT.BIN")->second, 0, 1536, &got);
  EXPECT_EQ(got, 1024);
  EXPECT_EQ(volume->ClustersBitmap().BitCount(), (std::uint64_t(count) + 2 + 7) / 8 * 8);
  EXPECT_NE(volume->ClustersBitmap().GetBit(count + 1), 0);
}

TEST_F(FatDamage, LoopingAndHugeFolderChainsAreCut) {
  // A folder whose chain runs back into itself, and one that is its own sub-folder.
  {
    FatImage img(Fat16());
    FatImage::Put(img.Root(), 0, {"LOOP       ", 0x10, 3});
    FatImage::Put(img.Cluster(3), 0, {"A       TXT", 0x20, 10, 1});
    FatImage::Put(img.Cluster(3), 1, {"SELF       ", 0x10, 3});
    FatImage::Put(img.Cluster(4), 0, {"B       TXT", 0x20, 11, 1});
    img.SetFat(3, 4);
    img.SetFat(4, 3);
    img.Chain({10});
    img.Chain({11});
    Run(img);
    const auto found = Found();
    EXPECT_EQ(found.count("A.TXT"), 1u);
    EXPECT_EQ(found.count("B.TXT"), 1u);
    EXPECT_EQ(found.count("SELF"), 1u);
    EXPECT_EQ(found.size(), 4u);
  }
  // A live file whose chain loops reads what the chain holds and no more.
  {
    FatImage img(Fat16());
    FatImage::Put(img.Root(), 0, {"LOOPED  BIN", 0x20, 5, 4 * 512});
    img.SetFat(5, 6);
    img.SetFat(6, 5);
    FillCluster(img, 5, 1);
    FillCluster(img, 6, 2);
    Run(img);
    const auto found = Found();
    std::int64_t got = 0;
    const auto data = Read(found.find("LOOPED.BIN")->second, 0, 4 * 512, &got);
    EXPECT_EQ(got, 2 * 512);
    EXPECT_TRUE(std::all_of(data.begin() + 1024, data.end(), [](std::uint8_t b) { return b == 0; }));
  }
  // A folder chain longer than a folder may be: 2 MiB of entries are read, no more.
  {
    FatLayout l = Fat16();
    l.sectorsPerFat = 20;  // 5,120 entries
    l.totalSectors = 4200 + 1 + 40 + 4;
    FatImage img(l);
    FatImage::Put(img.Root(), 0, {"BIG        ", 0x10, 3});
    std::vector<std::uint32_t> chain;
    for (std::uint32_t c = 3; c < 3 + 4100; ++c) chain.push_back(c);
    img.Chain(chain);
    FatImage::Put(img.Cluster(3 + 4095), 0, {"INSIDE  TXT", 0x20, 0, 0});
    FatImage::Put(img.Cluster(3 + 4095), 1, {"INSIDE  BIN", 0x20, 4103, 1});
    FatImage::Put(img.Cluster(3 + 4096), 0, {"BEYOND  BIN", 0x20, 4104, 1});
    img.Chain({4103});
    img.Chain({4104});
    Run(img);
    const auto found = Found();
    EXPECT_EQ(found.count("INSIDE.BIN"), 1u);
    EXPECT_EQ(found.count("BEYOND.BIN"), 0u);
  }
}

TEST_F(FatDamage, ADeletedFolderWhoseClusterWasReusedIsReadAsThatClusterAlone) {
  FatImage img(Fat16());
  std::size_t slot = FatImage::Put(img.Root(), 0, {"OLD        ", 0x10, 6}, u"Old folder", true);
  FatImage::Put(img.Root(), slot, {"NEW     BIN", 0x20, 6, 1024});
  img.Chain({6, 7});
  std::memset(img.Cluster(6), 'N', 512);  // file data: no valid entry
  FatImage::Put(img.Cluster(7), 0, {"GHOST   TXT", 0x20, 20, 10});  // file data that looks like one
  img.Chain({20});
  Run(img);
  const auto found = Found();
  EXPECT_EQ(found.count("Old folder"), 1u);
  EXPECT_EQ(found.count("NEW.BIN"), 1u);
  EXPECT_EQ(found.count("GHOST.TXT"), 0u);
}

TEST_F(FatDamage, ALiveFolderThatStartsWhereADeletedOneDidIsReadWhole) {
  // The deleted folder first, the live one first, and the live one found only after
  // the shared cluster was read as the deleted folder's.
  enum Order { DeletedFirst, LiveFirst, LiveDeeper };
  for (Order order : {DeletedFirst, LiveFirst, LiveDeeper}) {
    SCOPED_TRACE(order);
    FatImage img(Fat16());
    const ShortEntry oldDir{"OLDDIR     ", 0x10, 8};
    const ShortEntry newDir{"NEWDIR     ", 0x10, 8};
    std::size_t slot = 0;
    if (order == DeletedFirst) {
      slot = FatImage::Put(img.Root(), slot, oldDir, {}, true);
      FatImage::Put(img.Root(), slot, newDir);
    } else if (order == LiveFirst) {
      slot = FatImage::Put(img.Root(), slot, newDir);
      FatImage::Put(img.Root(), slot, oldDir, {}, true);
    } else {
      slot = FatImage::Put(img.Root(), slot, oldDir, {}, true);
      FatImage::Put(img.Root(), slot, {"SUB        ", 0x10, 3});
      FatImage::Put(img.Cluster(3), 0, newDir);
      img.Chain({3});
    }
    img.Chain({8, 9});
    FatImage::Put(img.Cluster(8), 0, {"FIRST   TXT", 0x20, 21, 1});
    FatImage::Put(img.Cluster(9), 0, {"SECOND  TXT", 0x20, 22, 1});
    img.Chain({21});
    img.Chain({22});
    Run(img);
    const auto found = Found();
    EXPECT_EQ(found.count("FIRST.TXT"), 1u);
    EXPECT_EQ(found.count("SECOND.TXT"), 1u);
    EXPECT_EQ(found.find("SECOND.TXT")->second.parentId, 8);
  }
}

TEST_F(FatDamage, SizesNoVolumeCanHoldAreBoundedByTheVolumeAndAnIntactChain) {
  // A FAT12 volume of 160 KiB (320 sectors, clusters of one sector).
  FatLayout l = Fat12();
  l.totalSectors = 320;
  l.sectorsPerFat = 1;
  FatImage img(l);
  const std::int64_t volumeBytes = 320 * 512;
  std::size_t slot = 0;
  // Two live entries that claim 4 GiB - 1 with intact chains of 3 clusters.
  slot = FatImage::Put(img.Root(), slot, {"HUGE1   BIN", 0x20, 3, 0xFFFFFFFF});
  slot = FatImage::Put(img.Root(), slot, {"HUGE2   BIN", 0x20, 6, 0xFFFFFFFF});
  img.Chain({3, 4, 5});
  img.Chain({6, 7, 8});
  // A deleted one: no chain, read on from its first cluster to the volume's end.
  slot = FatImage::Put(img.Root(), slot, {"GONE    BIN", 0x20, 20, 0xFFFFFFFF}, {}, true);
  // A 3-cluster chain that loops and claims 50 MiB, one that leaves the table, and
  // one that runs into a free cluster.
  slot = FatImage::Put(img.Root(), slot, {"LOOP    BIN", 0x20, 30, 50 * 1024 * 1024});
  img.SetFat(30, 31);
  img.SetFat(31, 32);
  img.SetFat(32, 30);
  slot = FatImage::Put(img.Root(), slot, {"LEAVES  BIN", 0x20, 40, 10 * 1024 * 1024});
  img.SetFat(40, 0xF00);
  slot = FatImage::Put(img.Root(), slot, {"FREED   BIN", 0x20, 50, 10 * 1024 * 1024});
  img.SetFat(50, 51);
  // And a file of a true size whose chain is longer: its own size stands.
  slot = FatImage::Put(img.Root(), slot, {"SMALL   TXT", 0x20, 60, 700});
  img.Chain({60, 61, 62});
  Run(img);
  const auto found = Found();
  ASSERT_EQ(found.size(), 7u);
  auto start = [&](std::uint32_t cluster) { return std::int64_t(img.ClusterOffset(cluster)); };
  struct Case {
    const char* name;
    std::int64_t readable;
    const char16_t* logged;  // the line naming a broken chain, once
  } cases[] = {
      {"HUGE1.BIN", 3 * 512, nullptr},
      {"HUGE2.BIN", 3 * 512, nullptr},
      {"_ONE.BIN", volumeBytes - start(20), nullptr},
      {"LOOP.BIN", volumeBytes - start(30), u"the cluster chain of 'LOOP.BIN' from cluster 30 loops back into itself after 3 clusters"},
      {"LEAVES.BIN", volumeBytes - start(40), u"the cluster chain of 'LEAVES.BIN' from cluster 40 leaves the table after 1 clusters"},
      {"FREED.BIN", volumeBytes - start(50), u"the cluster chain of 'FREED.BIN' from cluster 50 runs into a free cluster after 2 clusters"},
      {"SMALL.TXT", 700, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(found.count(c.name), 1u);
    const FoundObject& o = found.find(c.name)->second;
    Mark();
    EXPECT_EQ(volume->ReadableSize(o), c.readable);
    EXPECT_EQ(volume->ReadableSize(o), c.readable);
    if (c.logged) {
      std::size_t n = 0;
      for (const auto& line : log.Lines()) n += line.find(c.logged) != std::u16string::npos;
      EXPECT_EQ(n, 1u);  // once, however often it is asked
    }
    // What is shown stays the entry's own.
    EXPECT_GE(o.size, c.readable);
  }
  // A record beyond the volume gives nothing; one that runs past it is cut.
  FoundObject raw;
  raw.flags = OBJ_RAW | OBJ_CARVED;
  raw.offset = volumeBytes + 512;
  raw.size = 4096;
  EXPECT_EQ(volume->ReadableSize(raw), 0);
  raw.offset = volumeBytes - 1000;
  EXPECT_EQ(volume->ReadableSize(raw), 1000);
}

TEST_F(FatDamage, FilesInADeletedFolderAreListedOnADeletedPathAndReadWhole) {
  // The folder's entry is deleted and its clusters freed, and with them the chains
  // of the files in it, whose own entries carry no deleted mark.
  FatImage img(Fat16());
  FatImage::Put(img.Root(), 0, {"ALBUM      ", 0x10, 5}, u"Album", true);
  std::size_t slot = FatImage::Put(img.Cluster(5), 0, {"PHOTO   JPG", 0x20, 10, 3 * 512 - 100});
  slot = FatImage::Put(img.Cluster(5), slot, {"SUB        ", 0x10, 6});
  FatImage::Put(img.Cluster(6), 0, {"NOTE    TXT", 0x20, 20, 2 * 512});
  // One whose chain the table still holds (the folder alone was removed): read
  // through it.
  FatImage::Put(img.Cluster(5), slot, {"CHAIN   BIN", 0x20, 50, 2 * 512});
  img.Chain({50, 60});
  FillCluster(img, 50, 51);
  FillCluster(img, 60, 61);
  FillCluster(img, 10, 11);
  FillCluster(img, 11, 12);
  FillCluster(img, 12, 13);
  FillCluster(img, 20, 21);
  FillCluster(img, 21, 22);
  // A live file elsewhere whose chain is intact keeps following it.
  FatImage::Put(img.Root(), 2, {"LIVE    BIN", 0x20, 30, 2 * 512});
  img.Chain({30, 40});
  FillCluster(img, 30, 31);
  FillCluster(img, 40, 41);
  Run(img);
  const auto found = Found();
  struct Case {
    const char* name;
    std::uint32_t first;  // contiguous from here, or the chain below
    std::vector<std::uint32_t> clusters;
    bool deletedPath;
  } cases[] = {
      {"PHOTO.JPG", 10, {10, 11, 12}, true},
      {"SUB", 6, {}, true},
      {"NOTE.TXT", 20, {20, 21}, true},
      {"CHAIN.BIN", 50, {50, 60}, true},
      {"LIVE.BIN", 30, {30, 40}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(found.count(c.name), 1u);
    const FoundObject& o = found.find(c.name)->second;
    EXPECT_EQ(o.flags.Any(OBJ_DELETED), c.deletedPath);  // deleted with its folder
    EXPECT_EQ(o.flags.Any(OBJ_DELETED_PATH), c.deletedPath);
    if (c.clusters.empty()) continue;
    std::vector<std::uint8_t> expected;
    for (std::uint32_t cl : c.clusters) expected.insert(expected.end(), img.Cluster(cl), img.Cluster(cl) + 512);
    expected.resize(std::size_t(o.size));
    std::int64_t got = 0;
    EXPECT_EQ(Read(o, 0, std::uint32_t(o.size), &got), expected);
    EXPECT_EQ(got, o.size);
    EXPECT_EQ(volume->ReadableSize(o), o.size);
    // Where the data lies says the same as the read.
    const auto runs = volume->GetObjectDataRuns(o).ToVector();
    const bool chained = c.clusters.size() > 1 && c.clusters[1] != c.clusters[0] + 1;
    if (!chained) {
      EXPECT_EQ(runs, (std::vector<ObjectRun>{{std::int64_t(img.ClusterOffset(c.first)), o.size, false}}));
    } else {
      EXPECT_EQ(runs.size(), 2u);
    }
  }
  EXPECT_EQ(PathOf(found.find("NOTE.TXT")->second), "Album/SUB/NOTE.TXT");
  EXPECT_TRUE(found.find("Album")->second.flags.Any(OBJ_DELETED));
}

// ---- Entries and names ---------------------------------------------------------------------

TEST_F(FatDamage, EntriesAndTheirNames) {
  struct Case {
    const char* what;
    std::vector<std::array<std::uint8_t, 32>> entries;  // as stored, in order
    std::string expected;  // the name listed, or empty when nothing is
    bool deleted;
  };
  auto sfn = [](const char* name11, std::uint8_t caseFlags = 0, bool deleted = false) {
    auto e = FatImage::Short({name11, 0x20, 9, 10, (41 << 9) | (6 << 5) | 15, (12 << 11) | (30 << 5), caseFlags});
    if (deleted) e[0] = 0xE5;
    return e;
  };
  auto with = [](std::vector<std::array<std::uint8_t, 32>> lfn, std::array<std::uint8_t, 32> s) {
    lfn.push_back(s);
    return lfn;
  };
  auto join = [](std::vector<std::array<std::uint8_t, 32>> a, const std::vector<std::array<std::uint8_t, 32>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  auto deletedAll = [](std::vector<std::array<std::uint8_t, 32>> v) {
    for (auto& e : v) e[0] = 0xE5;
    return v;
  };
  const auto longSfn = sfn("LONGNA~1TXT");
  const std::uint8_t sum = FatImage::Checksum(longSfn.data());
  const std::u16string name255(255, u'x');
  const std::u16string name273(273, u'y');
  // A deleted long name whose check byte needs a first byte of 'a', which no short
  // name starts with: it belongs to something else.
  auto wrongFirst = longSfn;
  wrongFirst[0] = 'a';
  const std::uint8_t staleSum = FatImage::Checksum(wrongFirst.data());
  // Another deleted file's long-name entry in front of a deleted long name.
  auto other = FatImage::Long(u"Another file name.txt", 0x5A);

  const Case cases[] = {
      {"8.3 only", {sfn("README  TXT")}, "README.TXT", false},
      {"no extension", {sfn("MAKEFILE   ")}, "MAKEFILE", false},
      {"a blank inside the name", {sfn("MY FILE TXT")}, "MY FILE.TXT", false},
      {"case flags", {sfn("NOTES   TXT", 0x18)}, "notes.txt", false},
      {"case flag of the name only", {sfn("NOTES   TXT", 0x08)}, "notes.TXT", false},
      {"Windows-1252", {sfn("\xC4RGER   TXT")}, "\xC3\x84RGER.TXT", false},
      {"0x05 stands for 0xE5 in a live name", {sfn("\x05LPREIS TXT")}, "\xC3\xA5LPREIS.TXT", false},
      {"deleted 8.3", {sfn("EXAMPLE TXT", 0, true)}, "_XAMPLE.TXT", true},
      {"long name", with(FatImage::Long(u"Long name.txt", sum), longSfn), "Long name.txt", false},
      {"non-ASCII long name", with(FatImage::Long(u"\u65E5\u672C.txt", sum), longSfn), "\xE6\x97\xA5\xE6\x9C\xAC.txt",
       false},
      {"255 characters: 20 entries", with(FatImage::Long(name255, sum), longSfn), std::string(255, 'x'), false},
      {"21 entries are too many", with(FatImage::Long(name273, sum), longSfn), "LONGNA~1.TXT", false},
      {"a stale long name of another short name", with(FatImage::Long(u"Stale name.txt", sum ^ 1), longSfn),
       "LONGNA~1.TXT", false},
      {"a deleted long name in front of a live entry", with(deletedAll(FatImage::Long(u"Old name.txt", sum)), longSfn),
       "LONGNA~1.TXT", false},
      {"deleted long name", deletedAll(with(FatImage::Long(u"Gone name.txt", sum), longSfn)), "Gone name.txt", true},
      {"deleted long name after another deleted one",
       deletedAll(with(join(other, FatImage::Long(u"Deleted long name.txt", sum)), longSfn)), "Deleted long name.txt",
       true},
      {"a deleted long name of another short name",
       deletedAll(with(FatImage::Long(u"Stale name.txt", staleSum), longSfn)), "_ONGNA~1.TXT", true},
      {"a live long name in front of a deleted entry", with(FatImage::Long(u"Live name.txt", sum), sfn("LONGNA~1TXT", 0, true)),
       "_ONGNA~1.TXT", true},
      {"lower-case 8.3 bytes", {sfn("lower   txt")}, "", false},
      {"a character no short name holds", {sfn("A*B     TXT")}, "", false},
      {"a slash, written by other systems", {sfn("A/B     TXT")}, "A/B.TXT", false},
      {"a control character", {sfn("A\x01" "B     TXT")}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FatImage img(Fat16());
    for (std::size_t i = 0; i < c.entries.size(); ++i) std::memcpy(img.Root() + 32 * (i + 1), c.entries[i].data(), 32);
    img.Chain({9});
    Run(img);
    const auto found = Found();
    if (c.expected.empty()) {
      EXPECT_TRUE(found.empty()) << found.begin()->first;
      continue;
    }
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.begin()->first, c.expected);
    EXPECT_EQ(found.begin()->second.flags.Any(OBJ_DELETED), c.deleted);
  }
}

TEST_F(FatDamage, EntriesThatFailTheValidityTestAreSkipped) {
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Case cases[] = {
      {"creation tenths of 200", 13, 200},
      {"attribute 0x40", 11, 0x40},
      {"volume label", 11, 0x08},
      {"first byte 0", 0, 0x00},
      {"first byte blank", 0, 0x20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FatImage img(Fat16());
    auto e = FatImage::Short({"FILE    TXT", 0x20, 9, 10});
    e[c.offset] = c.value;
    std::memcpy(img.Root(), e.data(), 32);
    FatImage::Put(img.Root(), 1, {"NEXT    TXT", 0x20, 10, 10});  // the entries after it are read
    img.Chain({9});
    img.Chain({10});
    Run(img);
    const auto found = Found();
    EXPECT_EQ(found.count("FILE.TXT"), 0u);
    EXPECT_EQ(found.count("NEXT.TXT"), 1u);
  }
}

TEST_F(FatDamage, DosTimesAreLocalAndBadFieldsGiveNoTime) {
  FatImage img(Fat16());
  ShortEntry summer{"SUMMER  TXT", 0x20, 9, 10};  // 2021-06-15 12:30:00 summer time
  ShortEntry winter{"WINTER  TXT", 0x20, 10, 10, (41 << 9) | (1 << 5) | 15, (12 << 11) | (30 << 5) | 5};
  ShortEntry badMonth{"BADMONTHTXT", 0x20, 11, 10, (41 << 9) | (13 << 5) | 15, 0};
  ShortEntry badDay{"BADDAY  TXT", 0x20, 12, 10, (41 << 9) | (2 << 5) | 30, 0};
  ShortEntry badHour{"BADHOUR TXT", 0x20, 13, 10, (41 << 9) | (1 << 5) | 1, 24 << 11};
  std::size_t slot = 0;
  for (const ShortEntry& e : {summer, winter, badMonth, badDay, badHour}) slot = FatImage::Put(img.Root(), slot, e);
  for (std::uint32_t c = 9; c <= 13; ++c) img.Chain({c});
  Run(img);
  const auto found = Found();
  // 12:30 CEST is 10:30 UTC; 12:30:10 CET is 11:30:10 UTC.
  EXPECT_EQ(found.find("SUMMER.TXT")->second.modified, platform::FileTimeFromUnix(1623753000));
  EXPECT_EQ(found.find("WINTER.TXT")->second.modified, platform::FileTimeFromUnix(1610710210));
  // An access date is local midnight.
  EXPECT_EQ(found.find("WINTER.TXT")->second.accessed, platform::FileTimeFromUnix(1610665200));
  for (const char* name : {"BADMONTH.TXT", "BADDAY.TXT", "BADHOUR.TXT"}) {
    ASSERT_EQ(found.count(name), 1u) << name;
    EXPECT_EQ(found.find(name)->second.modified, 0) << name;
  }
}

// ---- Read faults -------------------------------------------------------------------------------

TEST_F(FatDamage, ReadFaultsAreLogged) {
  FatImage img(Fat16());
  FatImage::Put(img.Root(), 0, {"FILE    BIN", 0x20, 3, 1024});
  img.Chain({3, 5});
  FillCluster(img, 3, 1);
  FillCluster(img, 5, 2);
  const std::int64_t fileSector = std::int64_t(img.ClusterOffset(5) / 512);
  {
    // The table: logged, and the pass goes on (the chain looks free now).
    auto bytes = img.Bytes();
    volume = test::ImageVolume(bytes, &device);
    device->InjectFault(1, MemoryBlockDevice::Fault::Error);
    fat = test::RunFatPass(*volume, progress);
    EXPECT_TRUE(Logged(u"FAT of test.img not read at sector 1"));
    EXPECT_EQ(Found().count("FILE.BIN"), 1u);
  }
  {
    // The root folder of a FAT16 volume.
    Mark();
    volume = test::ImageVolume(img.Bytes(), &device);
    device->InjectFault(1 + 8, MemoryBlockDevice::Fault::Error);
    fat = test::RunFatPass(*volume, progress);
    EXPECT_TRUE(Logged(u"FAT Root directory not read!"));
    EXPECT_TRUE(Found().empty());
  }
  {
    // A file's second cluster: the first one's bytes, then zeros where the sector
    // can't be read, logged by its number.
    Mark();
    Run(img);
    device->InjectFault(std::uint64_t(fileSector), MemoryBlockDevice::Fault::Error);
    std::int64_t got = -1;
    CVolume::UnreadableSectors unreadable;
    const auto data = Read(Found().find("FILE.BIN")->second, 0, 1024, &got);
    EXPECT_EQ(got, 1024);
    EXPECT_EQ(unreadable.Count(), 1);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 512, img.Cluster(3)));
    EXPECT_TRUE(std::all_of(data.begin() + 512, data.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(Logged(u"CFileSystem_FAT.FileRead: Can't read sector at: " + platform::Utf8ToUtf16(std::to_string(fileSector))));
  }
}

// ---- Stops ---------------------------------------------------------------------------------------

// Clears the running flag when the store reports its n-th object.
class StopAfter : public INotifier {
 public:
  StopAfter(ScanProgress& progress, int n) : progress_(progress), left_(n) { SetNotifier(this); }
  ~StopAfter() override { SetNotifier(nullptr); }
  void Post(PostedMessage m) override {
    if (m.message == WM_FOUND_OBJECT && m.lParam == 1 && --left_ == 0) progress_.running.store(0);
  }

 private:
  ScanProgress& progress_;
  int left_;
};

TEST_F(FatDamage, AStopDuringTheWalkEndsIt) {
  for (int n : {1, 3, 12}) {
    volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("fat32.img")));
    volume->SetDeviceNodeId(-31);
    volume->QueryInformation();
    volume->BootSetup();
    StopAfter stop(progress, n);
    test::RunFatPass(*volume, progress);
    EXPECT_EQ(volume->FileSystemPassCounters().folders.load() + volume->FileSystemPassCounters().files.load(), n);
  }
}

TEST_F(FatDamage, AStopBeforeTheTableIsReadEndsThePassAndKeepsNoTable) {
  volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("fat32.img")));
  volume->SetDeviceNodeId(-31);
  volume->QueryInformation();
  volume->BootSetup();
  auto parser = std::make_unique<CFileSystem_FAT>(*volume, progress);
  CFileSystem_FAT* fat = parser.get();
  volume->SetFileSystem(std::move(parser));
  progress.running.store(0);
  fat->Analyse();
  EXPECT_EQ(volume->FileSystemPassCounters().folders.load() + volume->FileSystemPassCounters().files.load(), 0);
  EXPECT_EQ(volume->ClustersBitmap().Find(0, true), -1);  // the pass ended before the table was used
  // The pass run again in full finds the whole table, not a part kept from before.
  test::RunFatPass(*volume, progress);
  EXPECT_GE(volume->FileSystemPassCounters().files.load(), 30);
  EXPECT_NE(volume->ClustersBitmap().Find(0, true), -1);
}

TEST(FileSystemFatThreads, StopsAndReadsFromOtherThreads) {
  ProgramLog log;
  g_Log = &log;
  auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
  volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("fat32.img")));
  volume->SetDeviceNodeId(-31);
  volume->QueryInformation();
  volume->BootSetup();
  ScanProgress progress;
  // A stop from another thread while the pass runs.
  {
    std::thread pass([&] { test::RunFatPass(*volume, progress); });
    progress.running.store(0);
    pass.join();
  }
  // A whole pass, then two threads read the fragmented file at once.
  test::RunFatPass(*volume, progress);
  const auto manifest = test::FixtureManifest("fat32");
  std::string sha;
  for (const auto& o : manifest["objects"])
    if (o["path"] == "/frag/Fragmented file.bin") sha = o["sha256"].get<std::string>();
  FoundObject frag;
  {
    const auto view = volume->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i)
      if (view.At(i)->Name() == u"Fragmented file.bin") frag = volume->Store().Snapshot(*view.At(i));
  }
  ASSERT_GT(frag.size, 0);
  auto reader = [&](std::uint32_t chunk, std::string& out) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::uint8_t> data(std::size_t(frag.size));
      for (std::int64_t at = 0; at < frag.size; at += chunk)
        volume->ReadObjectData(frag, data.data() + at, at, std::uint32_t(std::min<std::int64_t>(chunk, frag.size - at)));
      out = test::Sha256(data.data(), data.size());
      if (out != sha) return;
    }
  };
  std::string a, b;
  std::thread t1(reader, 512u, std::ref(a));
  std::thread t2(reader, 1000u, std::ref(b));
  t1.join();
  t2.join();
  EXPECT_EQ(a, sha);
  EXPECT_EQ(b, sha);
  volume.reset();
  g_Log = nullptr;
}

}  // namespace
