// Partitions of a listed disk as logical drives, over a fake sysfs, proc and dev
// tree whose device nodes are plain image files: a disk image with an MBR of two
// fixture file systems, the first mounted, the second not (its boot sector's type
// labels wiped), and an extended partition's container. The mounted one keeps its
// mount point, the unmounted one is shown by its device node, the type byte of its
// table entry names its file system, and its file-system pass lists its named and
// deleted files. The table look-up itself: primary and logical entries, 4096-byte
// sectors, GPT, broken chains.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "AnalysisTestSupport.h"
#include "PartitionTestSupport.h"
#include "engine/volume/DriveEnumerator.h"
#include "engine/volume/PartitionEntryType.h"
#include "engine/volume/VolumesList.h"
#include "platform/Text.h"
#include "support/FakeBlockTree.h"
#include "support/Fixtures.h"

namespace {

using namespace std::chrono_literals;

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const char* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data, std::streamsize(size));
}

// The fake machine: disk sdc (a card) holding fat16 (type 6, mounted at
// /media/card) and fat12 (type 1, unmounted, labels wiped), each partition's node
// a copy of its bytes, and sdc4 the container of an empty extended partition.
class UnmountedPartitions : public test::ComputerFixture {
 protected:
  void SetUp() override {
    ComputerFixture::SetUp();
    pieces = {{"fat16", 0x06}, {"fat12", 0x01}};
    const std::string disk = tree.dev("sdc");
    ASSERT_TRUE(test::MakeFixtureDisk(disk, pieces));
    std::vector<char> bytes = ReadAll(disk);
    // The second file system's boot sector names no file system any more.
    std::memset(bytes.data() + pieces[1].start * 512 + 54, ' ', 8);
    // An empty extended partition after them: its container is no drive.
    const std::int64_t extended = pieces[1].start + pieces[1].sectors;
    platform::LeWriter entry(reinterpret_cast<std::uint8_t*>(bytes.data()) + 446 + 16 * 3, 16);
    entry.U8(4, 0x05);
    entry.U32(8, std::uint32_t(extended));
    entry.U32(12, 8);
    bytes.resize(std::size_t(extended + 8) * 512);
    WriteAll(disk, bytes.data(), bytes.size());
    tree.Disk("sdc", "8:32", bytes.size() / 512, true, "Card Reader");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const std::string name = "sdc" + std::to_string(i + 1);
      tree.Partition("sdc", name, "8:" + std::to_string(33 + i), int(i + 1), std::uint64_t(pieces[i].start),
                     std::uint64_t(pieces[i].sectors));
      WriteAll(tree.dev(name), bytes.data() + pieces[i].start * 512, std::size_t(pieces[i].sectors) * 512);
    }
    tree.Partition("sdc", "sdc4", "8:36", 4, std::uint64_t(extended), 2);
    WriteAll(tree.dev("sdc4"), bytes.data() + extended * 512, 1024);
    tree.Mountinfo("40 28 8:33 / /media/card rw - vfat /dev/sdc1 rw\n");
    computer->Volumes().SetSources(tree.Tree());
  }

  std::shared_ptr<CVolume> ByDevice(const std::string& name) {
    for (const auto& v : computer->Volumes().Volumes())
      if (platform::Utf16ToUtf8(v->Info().devicePath) == tree.dev(name)) return v;
    return nullptr;
  }

  test::FakeBlockTree tree;
  std::vector<test::FixtureDiskPiece> pieces;
};

class UnmountedPartitionsThreads : public UnmountedPartitions {};

}  // namespace

TEST_F(UnmountedPartitions, EveryPartitionIsALogicalDriveMountedOrNot) {
  const std::vector<DriveSource> sources = DriveEnumerator(tree.Tree()).Enumerate();
  ASSERT_EQ(sources.size(), 3u);  // the disk and two partitions; no container
  EXPECT_EQ(sources[0].kind, CVolume::kPhysicalDrive);
  EXPECT_EQ(sources[1].devNode, tree.dev("sdc1"));
  EXPECT_EQ(sources[1].mountPoint, "/media/card");
  EXPECT_EQ(sources[2].devNode, tree.dev("sdc2"));
  EXPECT_EQ(sources[2].mountPoint, "");
  EXPECT_EQ(sources[2].Place(), tree.dev("sdc2"));
  EXPECT_EQ(sources[2].startBytes, std::uint64_t(pieces[1].start) * 512);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ(sources[i].kind, CVolume::kLogicalDrive);
    EXPECT_TRUE(sources[i].isPartition);
    EXPECT_EQ(sources[i].parentDisk, sources[0].id);
    EXPECT_TRUE(sources[i].removable);
  }

  ASSERT_EQ(computer->Volumes().Refresh(false), 3);
  auto disk = ByDevice("sdc");
  auto mounted = ByDevice("sdc1");
  auto unmounted = ByDevice("sdc2");
  ASSERT_TRUE(disk && mounted && unmounted);
  EXPECT_EQ(platform::Utf16ToUtf8(mounted->GetDisplayName()).rfind("/media/card", 0), 0u);
  // Shown by its device node (and the label its boot sector keeps).
  EXPECT_EQ(platform::Utf16ToUtf8(unmounted->GetDisplayName()).rfind(tree.dev("sdc2"), 0), 0u)
      << platform::Utf16ToUtf8(unmounted->GetDisplayName());
  for (const auto& v : {mounted, unmounted}) {
    EXPECT_EQ(v->GetState(), CVolume::kReady);
    EXPECT_EQ(v->GetParentVolume(), disk);
    EXPECT_EQ(v->DeviceNode()->parentId, disk->DeviceNodeId());
  }
  // The labels name the first; the table's type byte the second.
  EXPECT_EQ(CVolume::GetFileSystemFamily(mounted->FileSystemTypeCode()), 0);
  EXPECT_EQ(unmounted->FileSystemTypeCode(), 0x01);
  EXPECT_EQ(unmounted->GetFileSystemName(), u"FAT12");

  // A walk of the disk's table finds the listed partitions as the same nodes.
  disk->ParsePartitionTable();
  for (const auto& v : computer->Volumes().Volumes()) EXPECT_NE(v->GetKind(), CVolume::kFoundPartition);
}

TEST_F(UnmountedPartitionsThreads, TheUnmountedPartitionsFileSystemPassListsItsNamedAndDeletedFiles) {
  ASSERT_EQ(computer->Volumes().Refresh(false), 3);
  auto v = ByDevice("sdc2");
  ASSERT_TRUE(v);
  const std::size_t before = ui.Count(WM_FILE_SYSTEM_PASS_DONE);
  ASSERT_TRUE(v->StartAnalyseFileSystem());
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return ui.Count(WM_FILE_SYSTEM_PASS_DONE) > before && !v->HasAnalysisThread(); }));
  computer->FinishAnalysis(v, false);

  std::set<std::string> listed;
  {
    const FoundObjectStore::ReadView view = v->Store().Read();
    for (std::size_t i = 0; i < view.Count(); ++i) listed.insert(platform::Utf16ToUtf8(std::u16string(view.At(i)->Name())));
  }
  int deleted = 0;
  int files = 0;
  const nlohmann::json manifest = test::FixtureManifest("fat12");
  for (const auto& o : manifest["objects"]) {
    // An empty file (first cluster 0) is not listed.
    if (o["type"] != "file" || o["first_cluster"] == 0) continue;
    ++files;
    deleted += o["state"] == "deleted";
    EXPECT_TRUE(listed.count(test::FatListedName(o))) << test::FatListedName(o);
  }
  EXPECT_GT(deleted, 0);
  EXPECT_GT(files, deleted);
}

TEST(MbrEntryType, TheEntryThatStartsThereGivesItsTypeByte) {
  struct Case {
    const char* what;
    std::size_t sectorSize;
    std::uint64_t startByte;
    std::uint8_t expected;
  };
  // Primary 0x0C at 2048 and 0x07 at 4096; an extended partition at 8192 holding
  // logical 0x06 at +63 and, by the chain, logical 0x0E at +1063.
  auto build = [](std::size_t sectorSize) {
    test::DiskBytes d(12000, sectorSize);
    d.Table(0, {{0x0C, 2048, 2048}, {0x07, 4096, 4096}, {0x0F, 8192, 3000}});
    d.Table(8192, {{0x06, 63, 900}, {0x05, 1000, 1000}});
    d.Table(9192, {{0x0E, 63, 900}});
    return d;
  };
  const Case cases[] = {
      {"first primary", 512, 2048u * 512, 0x0C},
      {"second primary", 512, 4096u * 512, 0x07},
      {"first logical", 512, (8192u + 63) * 512, 0x06},
      {"second logical, by the chain", 512, (9192u + 63) * 512, 0x0E},
      {"no entry starts there", 512, 3000u * 512, 0},
      {"the extended container is no partition", 512, 8192u * 512, 0},
      {"4096-byte sectors count the table's LBAs", 4096, 4096u * 4096, 0x07},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::DiskBytes d = build(c.sectorSize);
    auto read = [&](std::uint64_t at, std::uint8_t* sector) {
      if (at + 512 > d.bytes.size()) return false;
      std::memcpy(sector, d.bytes.data() + at, 512);
      return true;
    };
    EXPECT_EQ(MbrEntryTypeAt(read, c.startByte, unsigned(c.sectorSize)), c.expected);
  }

  // A GPT disk, a table without its signature, a chain that points to itself, a
  // disk that can't be read.
  test::DiskBytes gpt(100);
  gpt.Table(0, {{0xEE, 1, 99}});
  test::DiskBytes unsigned_(100);
  unsigned_.Table(0, {{0x0C, 2, 50}});
  unsigned_.bytes[510] = 0;
  test::DiskBytes loop(100);
  loop.Table(0, {{0x05, 10, 90}});
  loop.Table(10, {{0x06, 2, 5}, {0x05, 0 + 1, 5}});
  loop.Table(11, {{0x06, 2, 5}, {0x05, 0 + 1, 5}});  // links back to itself
  auto reader = [](test::DiskBytes& d) {
    return [&d](std::uint64_t at, std::uint8_t* sector) {
      if (at + 512 > d.bytes.size()) return false;
      std::memcpy(sector, d.bytes.data() + at, 512);
      return true;
    };
  };
  EXPECT_EQ(MbrEntryTypeAt(reader(gpt), 512, 512), 0);
  EXPECT_EQ(MbrEntryTypeAt(reader(unsigned_), 2 * 512, 512), 0);
  EXPECT_EQ(MbrEntryTypeAt(reader(loop), 12 * 512, 512), 0x06);
  EXPECT_EQ(MbrEntryTypeAt(reader(loop), 50 * 512, 512), 0);  // ends, found nothing
  EXPECT_EQ(MbrEntryTypeAt([](std::uint64_t, std::uint8_t*) { return false; }, 512, 512), 0);
}
