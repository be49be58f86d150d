// The computer object: device-node ids, image files and the partitions on them,
// found partitions recognised once, the destination check and image creation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>
#include <typeinfo>

#include "AnalysisTestSupport.h"
#include "engine/fs/fat/FileSystem_FAT.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/volume/ImageJob.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"

using namespace test;

namespace {

class LocalComputer : public ComputerFixture {};
class LocalComputerThreads : public ComputerFixture {};
class LocalComputerLoop : public ComputerFixture {};

struct TablePartition {
  std::int64_t offset;
  std::int64_t size;
  int type;
};

// The partitions of mbr.img as sfdisk dumped them, without the extended one.
std::vector<TablePartition> MbrPartitions() {
  std::ifstream dump(std::string(VANDREL_FIXTURE_SRC_DIR) + "/mbr.sfdisk");
  const std::regex line(R"(^\S+ : start=\s*(\d+), size=\s*(\d+), type=([0-9a-f]+))");
  std::vector<TablePartition> out;
  std::string text;
  while (std::getline(dump, text)) {
    std::smatch m;
    if (!std::regex_search(text, m, line)) continue;
    const int type = std::stoi(m[3].str(), nullptr, 16);
    if (type == 0x05 || type == 0x0F) continue;
    out.push_back({std::stoll(m[1].str()) * 512, std::stoll(m[2].str()) * 512, type});
  }
  return out;
}

std::vector<std::shared_ptr<CVolume>> FoundPartitions(CLocalComputer& computer) {
  std::vector<std::shared_ptr<CVolume>> out;
  for (const auto& v : computer.Volumes().Volumes())
    if (v->GetKind() == CVolume::kFoundPartition) out.push_back(v);
  return out;
}

// How many device nodes of the store stand for `volume`.
int NodesInStore(const CVolume& store, const CVolume& volume) {
  int n = 0;
  const auto view = store.Store().Read();
  for (std::size_t i = 0; i < view.Count(); ++i)
    if (view.At(i) == volume.DeviceNode().get()) ++n;
  return n;
}

std::shared_ptr<CVolume> OpenMbr(CLocalComputer& computer) {
  return computer.OpenImageFile(platform::Utf8ToUtf16(FixtureImage("mbr.img")));
}

class GroupLookup : public IFileTypeLookup {
 public:
  bool FindForObject(std::uint32_t, std::int16_t, std::u16string_view, bool, FileTypeFacts&) const override {
    return false;
  }
  bool FindByKey(std::uint32_t, FileTypeFacts&) const override { return false; }
  bool GroupName(std::int32_t id, std::u16string& out) const override {
    if (id != -35 && id != -36) return false;
    out = u"Own group";
    return true;
  }
};

}  // namespace

TEST_F(LocalComputer, IdsCountDownFromMinus31AndSkipEveryIdASpecialNodeOrCategoryUses) {
  computer->SetFileTypeDatabase(std::make_shared<GroupLookup>());  // a user group at -35 and -36
  const std::set<std::int32_t> reserved = {-12,  -16,  -17,  -18,  -19,  -35,  -36,  -48,  -64,
                                           -80,  -112, -115, -117, -120, -122, -128, -133, -144};
  std::vector<std::int32_t> ids;
  for (int i = 0; i < 200; ++i) ids.push_back(computer->NewObjectId());
  EXPECT_EQ(ids[0], -31);
  EXPECT_EQ(ids[1], -32);
  EXPECT_EQ(ids[4], -37);  // -35 and -36 skipped
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(reserved.count(ids[i]), 0u) << ids[i];
    if (i) {
      EXPECT_LT(ids[i], ids[i - 1]);
    }
  }
  // Every id below -31 that is not reserved is handed out, in order.
  std::int32_t expect = -31;
  for (std::int32_t id : ids) {
    while (reserved.count(expect)) --expect;
    EXPECT_EQ(id, expect);
    --expect;
  }
  // A device keeps its node's id for the run.
  const std::int32_t disk = computer->ObjectIdFor(u"/dev/sda");
  EXPECT_NE(computer->ObjectIdFor(u"/dev/sdb"), disk);
  EXPECT_EQ(computer->ObjectIdFor(u"/dev/sda"), disk);
  EXPECT_NE(computer->ObjectIdFor(u""), computer->ObjectIdFor(u""));
}

TEST_F(LocalComputer, AHandleNamesTheVolumeWhoseStoreMadeIt) {
  auto image = OpenMbr(*computer);
  ASSERT_NE(image, nullptr);
  auto drive = MemoryVolume(std::vector<std::uint8_t>(4096));
  FoundObject file;
  file.id = 5;
  file.flags = OBJ_NAMED;
  file.SetName(u"a.txt");
  const struct {
    std::shared_ptr<CVolume> volume;
  } cases[] = {{image}, {drive}, {computer->MyComputer()}, {computer->RecycleBin()}};
  for (const auto& c : cases) {
    FoundObject* r = c.volume->Store().RegisterObject(file);
    ASSERT_NE(r, nullptr);
    const std::int64_t handle = c.volume->Store().HandleOf(r);
    EXPECT_EQ(computer->VolumeOfHandle(handle), c.volume);
    EXPECT_EQ(computer->VolumeOfStoreSerial(c.volume->Store().Serial()), c.volume);
  }
  // The analysed volume is found even when the list no longer holds it.
  auto gone = std::make_shared<CVolume>(CVolume::kImageFile);
  computer->SetAnalysedVolume(gone);
  FoundObject* r = gone->Store().RegisterObject(file);
  EXPECT_EQ(computer->VolumeOfHandle(gone->Store().HandleOf(r)), gone);
  // A cleared store's old handles name no volume; so do -1 and 0.
  const std::int64_t old = drive->Store().HandleOf(drive->Store().At(0));
  drive->Store().Clear();
  EXPECT_EQ(computer->VolumeOfHandle(old), nullptr);
  EXPECT_EQ(computer->VolumeOfHandle(-1), nullptr);
  EXPECT_EQ(computer->VolumeOfHandle(0), nullptr);
}

TEST_F(LocalComputer, OpenImageFileListsThePartitionsAsVolumesOnce) {
  const std::vector<TablePartition> table = MbrPartitions();
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(computer->OpenImageFile(u"/no/such/image.dsk"), nullptr);
  auto image = OpenMbr(*computer);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetKind(), CVolume::kImageFile);
  EXPECT_EQ(image->GetState(), CVolume::kReady);
  EXPECT_EQ(image->DeviceNodeId(), -31);  // the failed open took no id
  EXPECT_EQ(image->Info().driveType, 7);
  EXPECT_EQ(image->Info().totalBytes, 61865984);

  const auto parts = FoundPartitions(*computer);
  ASSERT_EQ(parts.size(), table.size());
  EXPECT_EQ(computer->Volumes().GetCount(), 6);
  const auto added = ui.Messages(WM_VOLUME_ADDED);
  ASSERT_EQ(added.size(), table.size());
  const std::int32_t codes[] = {1, 4, 11, 7, 4};
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& p = parts[i];
    const VolumeInfo info = p->Info();
    EXPECT_EQ(p->GetParentVolume(), image);
    EXPECT_EQ(p->DeviceNode()->parentId, image->DeviceNodeId());
    EXPECT_EQ(p->DeviceNodeId(), -32 - std::int32_t(i));
    EXPECT_EQ(info.geometry.baseOffset, table[i].offset);
    EXPECT_EQ(info.totalBytes, table[i].size);  // from the table
    EXPECT_EQ(p->FileSystemTypeCode(), codes[i]);
    EXPECT_EQ(p->GetState(), CVolume::kReady);
    EXPECT_EQ(NodesInStore(*image, *p), 1);
    EXPECT_EQ(added[i].wParam, p->DeviceNodeId());
    EXPECT_FALSE(p->DeviceNode()->flags.Any(OBJ_CARVED));
  }
  EXPECT_TRUE(Logged(u"Found FAT12 volume at: 1048576"));
  EXPECT_TRUE(Logged(u"Found NTFS volume at: 48234496"));

  // The table walked again, and a boot-sector hit of the signature pass on a known
  // partition: nothing new.
  EXPECT_EQ(image->ParsePartitionTable(), 0);
  FoundObject hit;
  hit.typeId = 7;
  hit.offset = table[3].offset;
  image->OnSignatureHit(hit);
  EXPECT_EQ(computer->Volumes().GetCount(), 6);
  EXPECT_TRUE(parts[3]->DeviceNode()->flags.Any(OBJ_CARVED));
  EXPECT_EQ(ui.Count(WM_VOLUME_ADDED), table.size());
}

TEST_F(LocalComputer, AKnownPartitionOrDriveIsRecognisedAndANewOneSizedByItsTable) {
  auto disk = MemoryVolume(std::vector<std::uint8_t>(8 << 20));
  // A logical drive on the disk whose partition starts at 1 MiB.
  auto drive = std::make_shared<CVolume>(CVolume::kLogicalDrive);
  drive->SetDeviceNodeId(computer->NewObjectId());
  drive->SetDeviceNodeParent(disk->DeviceNodeId());
  drive->SetParentVolume(disk);
  drive->UpdateInfo([](VolumeInfo& i) { i.partitionStartOffset = 1 << 20; });
  computer->Volumes().Add(drive);

  FoundObject p;
  p.parentId = disk->DeviceNodeId();
  p.typeId = 6;
  p.offset = 1 << 20;
  EXPECT_EQ(computer->AddPartitionVolume(p), drive);
  EXPECT_TRUE(drive->DeviceNode()->flags.Any(OBJ_CARVED));
  p.offset = 0;  // the disk's own first sector
  EXPECT_EQ(computer->AddPartitionVolume(p), disk);
  EXPECT_TRUE(disk->DeviceNode()->flags.Any(OBJ_CARVED));
  p.parentId = -999;
  EXPECT_EQ(computer->AddPartitionVolume(p), nullptr);
  EXPECT_EQ(computer->Volumes().GetCount(), 2);

  // A new partition, and one found inside it: each base is its parent's base plus
  // its offset; the size is the table's, not what is left of the parent.
  p.parentId = disk->DeviceNodeId();
  p.offset = 2 << 20;
  p.size = 3 << 20;
  p.typeId = 0x83;  // no file system the engine reads
  auto outer = computer->AddPartitionVolume(p);
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->Geometry().baseOffset, 2 << 20);
  EXPECT_EQ(outer->Info().totalBytes, 3 << 20);
  EXPECT_EQ(outer->FileSystemTypeCode(), 0);
  EXPECT_TRUE(Logged(u"Found  volume at: 2097152"));
  p.parentId = outer->DeviceNodeId();
  p.offset = 512 * 1024;
  p.size = 1 << 20;
  p.typeId = 0x0C;
  auto inner = computer->AddPartitionVolume(p);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Geometry().baseOffset, (2 << 20) + 512 * 1024);
  EXPECT_EQ(inner->Info().totalBytes, 1 << 20);
  EXPECT_EQ(inner->FileSystemTypeCode(), 11);
  EXPECT_EQ(inner->GetPath(), disk->GetPath());
  EXPECT_EQ(NodesInStore(*outer, *inner), 1);
  // Found again on the same parent at the same offset: the same volume.
  EXPECT_EQ(computer->AddPartitionVolume(p), inner);
  EXPECT_EQ(computer->Volumes().GetCount(), 4);
}

TEST_F(LocalComputerThreads, AfterOpeningAndTwoAnalysesEveryPartitionIsListedOnce) {
  auto image = OpenMbr(*computer);
  ASSERT_NE(image, nullptr);
  for (int round = 1; round <= 2; ++round) {
    ASSERT_EQ(computer->StartAnalysis(image), 1);
    ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(std::size_t(round)); }));
  }
  CVolume::JoinAnalysisThreads();
  const auto parts = FoundPartitions(*computer);
  EXPECT_EQ(parts.size(), 5u);
  EXPECT_EQ(computer->Volumes().GetCount(), 6);
  EXPECT_EQ(ui.Count(WM_VOLUME_ADDED), 5u);
  // The analyses cleared the image's store; its partitions stay below its node.
  for (const auto& p : parts) EXPECT_EQ(NodesInStore(*image, *p), 1) << p->Geometry().baseOffset;
  EXPECT_EQ(LogCount(u"Analysis of mbr.img completed"), 2u);
}

TEST_F(LocalComputerThreads, ThePartitionsAnalysedOneAfterTheOtherThroughTheQueue) {
  auto image = OpenMbr(*computer);
  ASSERT_NE(image, nullptr);
  const auto parts = FoundPartitions(*computer);
  ASSERT_EQ(parts.size(), 5u);
  int started = 0;
  for (const auto& p : parts) started += computer->StartAnalysis(p);
  EXPECT_EQ(started, 1);  // the others wait
  EXPECT_EQ(computer->Queue().size(), 5u);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(5); }));
  CVolume::JoinAnalysisThreads();

  const std::int32_t rootIds[] = {0, 0, 2, 5, 0};
  std::vector<std::int64_t> order;
  for (const auto& m : ui.Messages(WM_ANALYSIS_DONE)) order.push_back(m.wParam);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& p = parts[i];
    EXPECT_EQ(order[i], p->DeviceNodeId());  // in the order they were asked for
    EXPECT_EQ(p->GetState(), CVolume::kReady);
    EXPECT_EQ(p->Store().RootFolderId(), rootIds[i]);
    FoundObject* root = p->Store().FindFolderById(rootIds[i]);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parentId, p->DeviceNodeId());
    EXPECT_EQ(p->FileSystem()->root.id, rootIds[i]);
    if (p->GetFileSystemFamily() == 0) {
      EXPECT_EQ(typeid(*p->FileSystem()), typeid(CFileSystem_FAT));
    }
    EXPECT_EQ(LogCount(platform::Format(u"Analysis of Volume at: %I64d completed", p->Geometry().baseOffset)), 1u);
  }
  EXPECT_FALSE(Logged(u"No file system detected"));
  // The file systems are new and empty: the FAT ones list nothing, the NTFS one its
  // own system files.
  for (std::size_t i : {0, 1, 2, 4}) EXPECT_EQ(parts[i]->FileSystemPassCounters().files.load(), 0) << i;
  bool mft = false;
  {
    const auto view = parts[3]->Store().Read();
    for (std::size_t r = 0; r < view.Count(); ++r) mft = mft || view.At(r)->Name() == u"$MFT";
  }
  EXPECT_TRUE(mft);
}

TEST_F(LocalComputerThreads, ThePartitionsOfADiskAnalysedThroughTheQueueListTheirFiles) {
  // A disk made of the single-file-system fixtures, each a partition of its own
  // behind an MBR, so that every file each holds is known from its manifest.
  std::vector<FixtureDiskPiece> pieces = {{"fat12", 0x01}, {"fat16", 0x06}, {"ntfs", 0x07}};
  TempDir dir;
  const std::string diskPath = dir / "disk.img";
  ASSERT_TRUE(MakeFixtureDisk(diskPath, pieces));
  auto image = computer->OpenImageFile(platform::Utf8ToUtf16(diskPath));
  ASSERT_NE(image, nullptr);
  const auto parts = FoundPartitions(*computer);
  ASSERT_EQ(parts.size(), pieces.size());
  for (const auto& p : parts) computer->StartAnalysis(p);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(pieces.size()); }, 60s));
  CVolume::JoinAnalysisThreads();

  std::vector<std::string> notBuilt;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(pieces[i].name);
    const auto& v = parts[i];
    EXPECT_EQ(v->Geometry().baseOffset, pieces[i].start * 512);
    if (typeid(*v->FileSystem()) == typeid(CFileSystem)) {
      notBuilt.push_back(pieces[i].name);
      continue;
    }
    // Every live file and folder is listed under its own path.
    std::set<std::pair<std::string, bool>> listed;
    {
      std::vector<FoundObject> records;
      {
        const auto view = v->Store().Read();
        for (std::size_t r = 0; r < view.Count(); ++r) records.push_back(*view.At(r));
      }
      for (const FoundObject& r : records) {
        if (r.IsDevice() || r.flags.Any(OBJ_DELETED)) continue;
        std::u16string folder;
        v->GetObjectPath(r, folder);
        listed.emplace("/" + platform::Utf16ToUtf8(folder + std::u16string(r.Name())), r.IsFolder());
      }
    }
    const nlohmann::json manifest = FixtureManifest(pieces[i].name);
    int live = 0;
    for (const auto& o : manifest["objects"]) {
      if (o["state"].get<std::string>() != "live") continue;
      const bool fat = v->GetFileSystemFamily() == 0;
      if (fat && o["first_cluster"].get<std::int64_t>() == 0) continue;  // FAT lists no empty file
      ++live;
      const std::string path = ListedPath(o, fat);
      const bool folder = o["type"].get<std::string>() == "folder";
      bool found = listed.count({path, folder}) > 0;
      if (!fat && o.contains("hard_links"))  // a file of several names is listed under one of them
        for (const auto& link : o["hard_links"]) found = found || listed.count({link.get<std::string>(), folder});
      EXPECT_TRUE(found) << path;
    }
    EXPECT_GT(live, 10);
    EXPECT_GE(v->FileSystemPassCounters().files.load() + v->FileSystemPassCounters().folders.load(), live);
  }
  if (!notBuilt.empty()) GTEST_SKIP() << "no parser built in yet for " << notBuilt[0];
}

TEST_F(LocalComputerThreads, APartitionFoundByManyWorkersAtOnceIsMadeOnce) {
  auto disk = MemoryVolume(std::vector<std::uint8_t>(8 << 20));
  std::vector<std::thread> workers;
  std::atomic<bool> go{false};
  for (int w = 0; w < 6; ++w) {
    workers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 1; i <= 8; ++i) {
        FoundObject boot;
        boot.typeId = 11;
        boot.offset = std::int64_t(i) << 19;
        disk->OnSignatureHit(boot);
      }
    });
  }
  go.store(true);
  for (auto& t : workers) t.join();
  const auto parts = FoundPartitions(*computer);
  EXPECT_EQ(parts.size(), 8u);
  EXPECT_EQ(ui.Count(WM_VOLUME_ADDED), 8u);
  std::set<std::int64_t> bases;
  std::set<std::int32_t> ids;
  for (const auto& p : parts) {
    bases.insert(p->Geometry().baseOffset);
    ids.insert(p->DeviceNodeId());
    EXPECT_EQ(NodesInStore(*disk, *p), 1);
    EXPECT_TRUE(p->DeviceNode()->flags.Any(OBJ_CARVED));  // found again by the other workers
  }
  EXPECT_EQ(bases.size(), 8u);
  EXPECT_EQ(ids.size(), 8u);
}

TEST_F(LocalComputerThreads, StartCreateImageRunsTheImageWriter) {
  TempDir dir;
  std::ofstream(dir / "source.dsk") << std::string(10000 * 512, 'Z');
  auto source = computer->OpenImageFile(platform::Utf8ToUtf16(dir / "source.dsk"));
  ASSERT_NE(source, nullptr);
  ImageJob job;
  job.source = source;
  job.imagePath = platform::Utf8ToUtf16(dir / "copy.dsk");
  ASSERT_TRUE(computer->StartCreateImage(job));
  job.Join();
  EXPECT_EQ(job.status.load(), 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "copy.dsk"), 10000u * 512);
  EXPECT_EQ(ui.Count(WM_IMAGE_DONE), 1u);
}

TEST_F(LocalComputer, ADestinationIsCreatedWholeOrRefusedWithItsMessage) {
  TempDir dir;
  std::ofstream(dir / "image.dsk") << std::string(4096, '\0');
  auto image = computer->OpenImageFile(platform::Utf8ToUtf16(dir / "image.dsk"));
  ASSERT_NE(image, nullptr);
  computer->SetScannedVolume(image);

  // Beside an analysed image: allowed, and every missing folder is made.
  const std::u16string nested = platform::Utf8ToUtf16(dir / "recovered/2024/photos");
  EXPECT_EQ(computer->CheckDestinationFolder(&nested, false), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "recovered/2024/photos"));
  EXPECT_EQ(computer->CheckDestinationFolder(&nested, true), 1);  // already there

  // The settings' folder when no path is given.
  settings.SetDestinationFolder(platform::Utf8ToUtf16(dir / "from settings"));
  EXPECT_EQ(computer->CheckDestinationFolder(nullptr, true), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "from settings"));

  // A file in the way: quiet says nothing; otherwise the error is logged and shown.
  std::ofstream(dir / "blocker") << "x";
  const std::u16string blocked = platform::Utf8ToUtf16(dir / "blocker/sub");
  EXPECT_EQ(computer->CheckDestinationFolder(&blocked, true), 0);
  EXPECT_TRUE(answers.Messages().empty());
  EXPECT_FALSE(Logged(u"Can't create folder"));
  EXPECT_EQ(computer->CheckDestinationFolder(&blocked, false), 0);
  ASSERT_EQ(answers.Messages().size(), 1u);
  EXPECT_NE(answers.Messages()[0].find(u"\nCan't create folder:\n\"" + blocked + u"\"\n\nError code: "),
            std::u16string::npos);
  EXPECT_TRUE(Logged(u"Can't create folder:"));
}

TEST_F(LocalComputer, ADestinationWhoseDeviceCantBeToldIsAskedAbout) {
  TempDir dir;
  auto gone = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  gone->SetDevicePath(u"/dev/no-such-disk");
  gone->SetDeviceNodeId(computer->NewObjectId());
  computer->Volumes().Add(gone);
  computer->SetScannedVolume(gone);
  const std::u16string folder = platform::Utf8ToUtf16(dir / "out");

  EXPECT_EQ(computer->CheckDestinationFolder(&folder, true), 0);  // quiet: refused, nothing asked
  EXPECT_TRUE(answers.Asked().empty());
  answers.Script(QuestionKind::DestinationUnknown, Answer::No);
  EXPECT_EQ(computer->CheckDestinationFolder(&folder, false), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
  answers.Script(QuestionKind::DestinationUnknown, Answer::Yes);
  EXPECT_EQ(computer->CheckDestinationFolder(&folder, false), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));
  ASSERT_EQ(answers.Asked().size(), 2u);
  EXPECT_EQ(answers.Asked()[0].kind, QuestionKind::DestinationUnknown);
  EXPECT_EQ(answers.Asked()[0].detail, folder);
}

namespace {

// Runs a command; its exit status, with its first line of output in `out`.
int RunCommand(const std::string& command, std::string* out = nullptr) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buffer[512];
  std::string text;
  while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
  const int status = pclose(pipe);
  if (out) *out = text.substr(0, text.find('\n'));
  return status;
}

// A copy of a fixture image on a loop device, mounted read-only; both undone at the
// end.
struct LoopMount {
  std::string device;
  std::string mountPoint;
  bool mounted = false;
  ~LoopMount() {
    if (mounted) RunCommand("umount '" + mountPoint + "'");
    if (!device.empty()) RunCommand("losetup -d '" + device + "'");
  }
};

}  // namespace

TEST_F(LocalComputerLoop, ADestinationOnAnAnalysedDiskIsRefused) {
  if (geteuid() != 0 || access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "loop devices need root";
  TempDir dir;
  std::error_code ec;
  std::filesystem::copy_file(FixtureImage("ntfs.img"), dir / "disk.img", ec);
  ASSERT_FALSE(ec) << ec.message();
  std::filesystem::create_directory(dir / "mnt");
  LoopMount loop;
  if (RunCommand("losetup -f --show -r '" + dir / "disk.img" + "'", &loop.device) != 0 || loop.device.empty())
    GTEST_SKIP() << "no loop device could be attached";
  loop.mountPoint = dir / "mnt";
  if (RunCommand("ntfs-3g -o ro '" + loop.device + "' '" + loop.mountPoint + "'") != 0)
    GTEST_SKIP() << "the image could not be mounted (ntfs-3g, fuse)";
  loop.mounted = true;

  // The loop device stands in for a disk that was analysed.
  auto disk = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  disk->SetDevicePath(platform::Utf8ToUtf16(loop.device));
  disk->SetDeviceNodeId(computer->NewObjectId());
  disk->QueryInformation();
  computer->Volumes().Add(disk);
  ASSERT_EQ(computer->StartAnalysis(disk), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();

  const std::u16string onDisk = platform::Utf8ToUtf16(loop.mountPoint + "/Recovered/new");
  EXPECT_EQ(computer->CheckDestinationFolder(&onDisk, true), 0);
  EXPECT_TRUE(answers.Messages().empty());
  EXPECT_EQ(computer->CheckDestinationFolder(&onDisk, false), 0);
  ASSERT_EQ(answers.Messages().size(), 1u);
  EXPECT_EQ(answers.Messages()[0],
            u"The distination folder is on the same drive with the source. You should change the destination "
            u"location for recovered files.");
  EXPECT_FALSE(std::filesystem::exists(loop.mountPoint + "/Recovered"));
  EXPECT_TRUE(answers.Asked().empty());

  // Elsewhere: a nested new folder is made.
  const std::u16string elsewhere = platform::Utf8ToUtf16(dir / "elsewhere/a/b");
  EXPECT_EQ(computer->CheckDestinationFolder(&elsewhere, false), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "elsewhere/a/b"));
}

TEST_F(LocalComputer, MyComputerAndRecycleBinCountAsNoVolumeSelected) {
  EXPECT_EQ(computer->SelectedVolume(), computer->MyComputer());  // where it starts
  EXPECT_FALSE(computer->IsVolumeSelected());
  computer->SetSelectedVolume(computer->RecycleBin());
  EXPECT_FALSE(computer->IsVolumeSelected());
  computer->SetSelectedVolume(nullptr);
  EXPECT_FALSE(computer->IsVolumeSelected());
  for (std::int32_t kind : {CVolume::kPhysicalDrive, CVolume::kLogicalDrive, CVolume::kPartition, CVolume::kImageFile,
                            CVolume::kFoundPartition}) {
    SCOPED_TRACE(kind);
    computer->SetSelectedVolume(std::make_shared<CVolume>(kind));
    EXPECT_TRUE(computer->IsVolumeSelected());
  }
}
