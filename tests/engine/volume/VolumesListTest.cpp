// The drive list on a fake sysfs and proc tree: what a refresh lists and in which
// order, what it keeps across refreshes, queries that never return, and device
// events fed from a socket pair.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <set>

#include "AnalysisTestSupport.h"
#include "PartitionTestSupport.h"
#include "engine/volume/DriveEnumerator.h"
#include "engine/volume/VolumesList.h"
#include "platform/Text.h"
#include "support/FakeBlockTree.h"

using namespace test;
using namespace std::string_literals;

namespace {

// Opening a device waits here until released.
struct OpenGate {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  void Release() {
    {
      std::lock_guard lock(mutex);
      open = true;
    }
    cv.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return open; });
  }
};

class DriveListBase : public ComputerFixture {
 protected:
  void SetUp() override {
    ComputerFixture::SetUp();
    list().SetSources(tree.Tree());
    list().SetQueryWait(20s);  // ends as soon as every query has
    list().SetDeviceOpeners([stuck = stuck, gate = gate](const DriveSource& s) -> CVolumesList::DeviceOpener {
      // A memory device of the source's size that says what sysfs says.
      DeviceInfo info;
      info.isBlockDevice = true;
      info.sizeBytes = s.sizeBytes;
      info.ownNumber = s.id;
      info.diskNumber = s.parentDisk.valid() ? s.parentDisk : s.id;
      info.partitionStart = s.startBytes;
      info.model = s.model;
      auto device = std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(s.sizeBytes), info);
      const bool hangs = stuck->count(s.name) > 0;
      return [device, hangs, gate](int&) -> std::shared_ptr<IBlockDevice> {
        if (hangs) gate->Wait();
        return device;
      };
    });
  }

  CVolumesList& list() { return computer->Volumes(); }
  std::string Dev(const std::string& name) const { return tree.dev(name); }

  // The list as kind:device:mount point, for comparing whole lists.
  std::vector<std::string> Listing() {
    std::vector<std::string> out;
    for (const auto& v : list().Volumes()) {
      const VolumeInfo i = v->Info();
      std::string dev = platform::Utf16ToUtf8(i.devicePath);
      if (dev.rfind(tree.root(), 0) == 0) dev = dev.substr(tree.root().size());
      out.push_back(std::to_string(v->GetKind()) + ":" + dev + ":" + platform::Utf16ToUtf8(i.rootPath));
    }
    return out;
  }
  std::shared_ptr<CVolume> ByPlace(const std::string& place) {
    for (const auto& v : list().Volumes()) {
      const VolumeInfo i = v->Info();
      if (platform::Utf16ToUtf8(i.rootPath) == place || platform::Utf16ToUtf8(i.devicePath) == Dev(place)) return v;
    }
    return nullptr;
  }

  // Two disks with a partition each, mounted.
  void TwoDisks() {
    tree.Disk("sda", "8:0", 4096, false, "Fixed Disk");
    tree.Write(tree.sys("devices/sda/diskseq"), "1");
    tree.Partition("sda", "sda1", "8:1", 1, 2048, 2048);
    tree.Disk("sdb", "8:16", 2048, true, "Card Reader");
    tree.Write(tree.sys("devices/sdb/diskseq"), "17");
    tree.Partition("sdb", "sdb1", "8:17", 1, 64, 1984);
    tree.Mountinfo(
        "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "40 28 8:17 / /media/card rw - vfat /dev/sdb1 rw\n");
  }

  std::shared_ptr<CVolume> ImageVolume() {
    auto image = std::make_shared<CVolume>(CVolume::kImageFile);
    auto device = std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(64 * 512));
    image->SetDevicePath(u"/images/card.dsk");
    image->SetDeviceOpener([device](int&) { return device; });
    image->SetDeviceNodeId(computer->NewObjectId());
    image->QueryInformation();
    list().Add(image);
    return image;
  }

  std::shared_ptr<CVolume> FoundPartitionOn(const std::shared_ptr<CVolume>& disk, std::int64_t offset) {
    FoundObject p;
    p.parentId = disk->DeviceNodeId();
    p.offset = offset;
    p.size = 64 * 512;
    p.typeId = 0x0C;
    return computer->AddPartitionVolume(p);
  }

  FakeBlockTree tree;
  std::shared_ptr<std::set<std::string>> stuck = std::make_shared<std::set<std::string>>();
  std::shared_ptr<OpenGate> gate = std::make_shared<OpenGate>();
};

class DriveList : public DriveListBase {};
class DriveListThreads : public DriveListBase {};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string Event(const std::string& action, const std::string& name) {
  std::string s = action + "@/devices/virtual/block/" + name;
  s.push_back('\0');
  for (const std::string& kv : {"ACTION=" + action, "SUBSYSTEM=block"s, "DEVNAME=" + name, "DEVTYPE=disk"s}) {
    s += kv;
    s.push_back('\0');
  }
  return s;
}

void Send(int fd, std::uint32_t sender, const std::string& payload) {
  std::string d(4, '\0');
  for (int i = 0; i < 4; ++i) d[std::size_t(i)] = char((sender >> (8 * i)) & 0xFF);
  d += payload;
  ASSERT_EQ(send(fd, d.data(), d.size(), 0), static_cast<ssize_t>(d.size()));
}

}  // namespace

TEST_F(DriveList, DisksThenLogicalDrivesThenKeptVolumesWithoutOpticalRamOrNetworkEntries) {
  TwoDisks();
  tree.Disk("nvme0n1", "259:0", 1024);  // no partition table: mounted as a whole
  tree.Disk("loop0", "7:0", 0);         // not attached
  tree.Disk("loop1", "7:1", 512);
  tree.Write(tree.sys("devices/loop1/loop/backing_file"), "/images/stick.img");
  tree.Disk("sr0", "11:0", 1024);
  tree.Write(tree.sys("devices/sr0/device/type"), "5");
  tree.Disk("hdc", "22:0", 1024);
  tree.Write(tree.sys("devices/hdc/device/media"), "cdrom");
  tree.Disk("ram0", "1:0", 1024);
  tree.Disk("zram0", "253:0", 1024);
  tree.Write(tree.sys("class/scsi_host/host0/proc_name"), "ahci");  // a SCSI port: not a drive of its own
  tree.Mountinfo(
      "22 28 0:21 / /proc rw - proc proc rw\n"
      "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 28 8:17 / /media/card rw - vfat /dev/sdb1 rw\n"
      "41 28 259:0 / /data rw - ext4 /dev/nvme0n1 rw\n"
      "42 28 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
      "43 28 22:0 / /media/dvd ro - udf /dev/hdc ro\n"
      "44 28 0:50 / /mnt/share rw - nfs4 server:/export rw\n"
      "45 28 0:51 / /tmp rw - tmpfs tmpfs rw\n"
      "46 28 8:1 /srv /srv/bind rw - ext4 /dev/sda1 rw\n");
  auto image = ImageVolume();  // opened before the first refresh

  EXPECT_EQ(list().Refresh(false), 8);
  EXPECT_EQ(Listing(), (std::vector<std::string>{
                           "1:/dev/loop1:", "1:/dev/nvme0n1:", "1:/dev/sda:", "1:/dev/sdb:",  //
                           "2:/dev/sda1:/", "2:/dev/nvme0n1:/data", "2:/dev/sdb1:/media/card",      //
                           "8:/images/card.dsk:"}));
  const auto volumes = list().Volumes();
  EXPECT_EQ(volumes.back(), image);
  for (int i = 0; i < 4; ++i) {
    const VolumeInfo info = volumes[std::size_t(i)]->Info();
    EXPECT_EQ(info.letter, char16_t(u'0' + i));
    EXPECT_EQ(info.driveType, 3);
    EXPECT_EQ(volumes[std::size_t(i)]->GetState(), CVolume::kReady);
  }
  EXPECT_EQ(volumes[0]->GetDisplayName(), u"Drive 0");
  EXPECT_EQ(volumes[2]->GetDisplayName(), u"Fixed Disk");  // the query's model replaces the number

  // Each logical drive lies on the disk beneath it; a whole-disk file system on the disk itself.
  const std::pair<int, int> onDisk[] = {{4, 2}, {5, 1}, {6, 3}};
  for (auto [logical, disk] : onDisk) {
    const auto& v = volumes[std::size_t(logical)];
    EXPECT_EQ(v->GetParentVolume(), volumes[std::size_t(disk)]) << logical;
    EXPECT_EQ(v->DeviceNode()->parentId, volumes[std::size_t(disk)]->DeviceNodeId());
    const auto children = volumes[std::size_t(disk)]->Children();
    EXPECT_NE(std::find(children.begin(), children.end(), v), children.end());
  }
  EXPECT_EQ(volumes[6]->Info().driveType, 2);  // on a removable disk
  EXPECT_EQ(volumes[4]->Info().partitionStartOffset, 2048 * 512);
  std::set<std::int32_t> ids;
  for (const auto& v : volumes) ids.insert(v->DeviceNodeId());
  EXPECT_EQ(ids.size(), volumes.size());
}

TEST_F(DriveList, ARefreshKeepsTheSameDevicesAsTheSameObjectsAndIds) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  const auto first = list().Volumes();
  ASSERT_EQ(list().Refresh(false), 4);
  EXPECT_EQ(list().Volumes(), first);
  const auto sda = first[0];
  const std::int32_t sdaId = sda->DeviceNodeId();

  // Another stick that takes over the name and numbers of the one unplugged is not
  // the same device; nor is a card of another size in the same reader, nor (where
  // the kernel has no diskseq) a disk of another model.
  struct Case {
    const char* what;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"another diskseq", [&] { tree.Write(tree.sys("devices/sdb/diskseq"), "18"); }},
      {"another size", [&] { tree.Write(tree.sys("devices/sdb/size"), "4096"); }},
      {"another model, no diskseq",
       [&] {
         std::filesystem::remove(tree.sys("devices/sdb/diskseq"));
         tree.Write(tree.sys("devices/sdb/device/model"), "Other Stick");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = list().Volumes();
    c.change();
    ASSERT_EQ(list().Refresh(false), 4);
    const auto after = list().Volumes();
    EXPECT_EQ(after[0], sda);
    EXPECT_EQ(after[0]->DeviceNodeId(), sdaId);
    EXPECT_EQ(after[2], before[2]);  // "/" on sda1
    EXPECT_NE(after[1], before[1]);  // sdb
    EXPECT_NE(after[1]->DeviceNodeId(), before[1]->DeviceNodeId());
    EXPECT_NE(after[3], before[3]);  // its file system lies on the new disk
    EXPECT_EQ(after[3]->GetParentVolume(), after[1]);
  }
}

TEST_F(DriveList, ALogicalDriveWhoseQueryFailedOrCameLateIsNotFoundAgainAsAPartition) {
  // The disk's table names the partition that is mounted as the logical drive.
  test::DiskBytes mbr(4096);
  mbr.Table(0, {{0x83, 2048, 2048}});
  TwoDisks();
  for (const bool late : {false, true}) {
    SCOPED_TRACE(late ? "the query comes late" : "the query fails");
    // Mounted elsewhere the second time: a new logical drive, queried anew.
    const std::string place = late ? "/mnt/late" : "/";
    tree.Mountinfo("28 1 8:1 / " + place + " rw - ext4 /dev/sda1 rw\n");
    auto release = std::make_shared<OpenGate>();
    list().SetQueryWait(late ? 300ms : 20s);
    list().SetDeviceOpeners([&, release](const DriveSource& s) -> CVolumesList::DeviceOpener {
      if (s.name == "sda") {
        DeviceInfo info;
        info.isBlockDevice = true;
        info.sizeBytes = s.sizeBytes;
        info.ownNumber = info.diskNumber = s.id;
        auto device = std::make_shared<MemoryBlockDevice>(mbr.bytes, info);
        return [device](int&) { return device; };
      }
      return [late, release](int& error) -> std::shared_ptr<IBlockDevice> {
        if (late) release->Wait();
        error = EIO;
        return nullptr;
      };
    });
    list().Refresh(false);
    auto disk = ByPlace("sda");
    auto drive = ByPlace(place);
    ASSERT_TRUE(disk && drive);
    EXPECT_NE(drive->GetState(), CVolume::kReady);
    // Known from the drive list before any query: the walk recognises it.
    EXPECT_EQ(drive->Info().partitionStartOffset, 2048 * 512);
    EXPECT_EQ(disk->ParsePartitionTable(), 0);
    for (const auto& v : list().Volumes()) EXPECT_NE(v->GetKind(), CVolume::kFoundPartition);
    release->Release();
    WaitFor([] { return CVolumesList::LiveQueryThreads() == 0; });
  }
}

TEST_F(DriveList, ImageFilesAndFoundPartitionsKeepTheirPlacesAfterTheDevices) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  auto sda = ByPlace("sda");
  auto sdb = ByPlace("sdb");
  ASSERT_TRUE(sda && sdb);
  auto onSdb = FoundPartitionOn(sdb, 32 * 512);
  auto image = ImageVolume();
  auto onSda = FoundPartitionOn(sda, 1024 * 512);
  auto onImage = FoundPartitionOn(image, 8 * 512);
  ASSERT_TRUE(onSdb && onSda && onImage);
  EXPECT_EQ(list().GetCount(), 8);

  ASSERT_EQ(list().Refresh(false), 8);
  auto volumes = list().Volumes();
  EXPECT_EQ(std::vector(volumes.begin() + 4, volumes.end()),
            (std::vector<std::shared_ptr<CVolume>>{onSdb, image, onSda, onImage}));

  // The disk goes: its partition goes with it, the rest stay in their order.
  tree.Unplug("sdb");
  tree.Mountinfo("28 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  ASSERT_EQ(list().Refresh(false), 5);
  volumes = list().Volumes();
  EXPECT_EQ(std::vector(volumes.begin() + 2, volumes.end()),
            (std::vector<std::shared_ptr<CVolume>>{image, onSda, onImage}));
}

TEST_F(DriveList, ARemovedVolumeInUseStaysValidAndIsFreedWithItsLastUser) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  std::shared_ptr<CVolume> inUse = ByPlace("/media/card");  // as an analysis would hold it
  ASSERT_TRUE(inUse);
  std::weak_ptr<CVolume> disk = inUse->GetParentVolume();
  std::weak_ptr<CVolume> watch = inUse;
  ASSERT_FALSE(disk.expired());

  tree.Unplug("sdb");
  tree.Mountinfo("28 1 8:1 / / rw - ext4 /dev/sda1 rw\n");
  ASSERT_EQ(list().Refresh(false), 2);
  EXPECT_EQ(ByPlace("/media/card"), nullptr);
  EXPECT_TRUE(disk.expired());  // nothing used the disk itself
  // Still whole: its fields, its node, its device.
  EXPECT_EQ(platform::Utf16ToUtf8(inUse->Info().rootPath), "/media/card");
  EXPECT_EQ(inUse->DeviceNode()->volume, inUse.get());
  std::vector<std::uint8_t> sector(512, 0xEE);
  EXPECT_EQ(inUse->ReadSectors(sector.data(), 0, 1), 512);
  inUse.reset();
  EXPECT_TRUE(watch.expired());
}

TEST(DriveLetters, LowestSetBitOfTheFirst26) {
  const std::pair<std::uint32_t, char16_t> cases[] = {
      {0x1, u'A'}, {0x4, u'C'}, {0x6, u'B'}, {0x20, u'F'}, {1u << 25, u'Z'}, {0, 0}, {1u << 26, 0},
      {(1u << 26) | (1u << 3), u'D'}};
  for (auto [mask, letter] : cases) EXPECT_EQ(DriveLetterFromUnitMask(mask), letter) << mask;
}

TEST_F(DriveListThreads, AQueryThatNeverReturnsLeavesTheEntryQueryingAndTeardownFree) {
  TwoDisks();
  stuck->insert("sdb");
  list().SetQueryWait(200ms);
  const int before = CVolumesList::LiveQueryThreads();
  ASSERT_EQ(list().Refresh(false), 4);  // returns after its wait
  auto sdb = ByPlace("sdb");
  ASSERT_TRUE(sdb);
  EXPECT_EQ(sdb->GetState(), CVolume::kQuerying);
  EXPECT_EQ(ByPlace("sda")->GetState(), CVolume::kReady);
  EXPECT_EQ(CVolumesList::LiveQueryThreads(), before + 1);

  // A second refresh keeps the entry as it is and starts no second query of it.
  ASSERT_EQ(list().Refresh(false), 4);
  EXPECT_EQ(ByPlace("sdb"), sdb);
  EXPECT_EQ(sdb->GetState(), CVolume::kQuerying);
  EXPECT_EQ(CVolumesList::LiveQueryThreads(), before + 1);

  // The list's end does not wait for it; the thread keeps its volume.
  std::weak_ptr<CVolume> watch = sdb;
  sdb.reset();
  auto teardown = std::async(std::launch::async, [&] { computer.reset(); });
  ASSERT_EQ(teardown.wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(watch.expired());

  // Once the kernel lets go the query ends and the last reference goes with it.
  gate->Release();
  ASSERT_TRUE(WaitFor([&] { return CVolumesList::LiveQueryThreads() == before; }));
  EXPECT_TRUE(watch.expired());
}

TEST_F(DriveListThreads, KernelEventsRefreshOnceABurstAndOthersAreDropped) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  ASSERT_TRUE(list().StartDeviceWatch(platform::MakePrefixedSocketSource(fds[0]), 0ms, 200));
  const std::uint64_t refreshes = list().RefreshCount();

  // A stick arrives; a message about it from anyone but the kernel changes nothing.
  tree.Disk("sdc", "8:32", 1024, true);
  tree.Write(tree.sys("devices/sdc/diskseq"), "20");
  tree.Partition("sdc", "sdc1", "8:33", 1, 64, 960);
  Send(fds[1], 4321, Event("add", "sdc"));
  std::this_thread::sleep_for(800ms);  // well past the burst gap
  EXPECT_EQ(list().RefreshCount(), refreshes);

  // The kernel's burst for it: one refresh, one log line, one message.
  Send(fds[1], 0, Event("add", "sdc"));
  Send(fds[1], 0, Event("add", "sdc1"));
  Send(fds[1], 0, Event("change", "sdc"));
  ASSERT_TRUE(WaitFor([&] { return ui.Count(WM_DEVICE_CHANGED) == 1; }));
  EXPECT_EQ(list().RefreshCount(), refreshes + 1);
  EXPECT_EQ(ui.Messages(WM_DEVICE_CHANGED)[0].wParam, kDeviceArrival);
  EXPECT_TRUE(Logged(platform::Utf8ToUtf16("Volume " + Dev("sdc") + " Medium connected!")));
  ASSERT_NE(ByPlace("sdc"), nullptr);

  // The stick is pulled out: the removal refreshes too.
  tree.Unplug("sdc");
  Send(fds[1], 0, Event("remove", "sdc1"));
  Send(fds[1], 0, Event("remove", "sdc"));
  ASSERT_TRUE(WaitFor([&] { return ui.Count(WM_DEVICE_CHANGED) == 2; }));
  EXPECT_EQ(ui.Messages(WM_DEVICE_CHANGED)[1].wParam, kDeviceRemoveComplete);
  EXPECT_TRUE(Logged(platform::Utf8ToUtf16("Drive " + Dev("sdc") + " Medium removed!")));
  EXPECT_EQ(ByPlace("sdc"), nullptr);
  EXPECT_EQ(list().GetCount(), 4);

  list().StopDeviceWatch();  // the reading thread ends although the other end is open
  close(fds[1]);
}

// Another program's loop device that nothing lists (no file behind it) logs
// nothing, even when a change of another device waits unreported; the events of a
// listed device log it, and only it.
TEST_F(DriveListThreads, EventsOfDevicesNothingListsLogNothing) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  ASSERT_TRUE(list().StartDeviceWatch(platform::MakePrefixedSocketSource(fds[0]), 0ms, 100));
  const std::size_t lines = computer->GetLog().Lines().size();
  const std::uint64_t refreshes = list().RefreshCount();

  // sdb's card is mounted elsewhere meanwhile (no event), and loop7 comes and goes.
  tree.Mountinfo(
      "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 28 8:17 / /media/other rw - vfat /dev/sdb1 rw\n");
  tree.Disk("loop7", "7:7", 0);
  Send(fds[1], 0, Event("add", "loop7"));
  Send(fds[1], 0, Event("change", "loop7"));
  ASSERT_TRUE(WaitFor([&] { return list().RefreshCount() > refreshes; }));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(computer->GetLog().Lines().size(), lines);
  EXPECT_EQ(ui.Count(WM_DEVICE_CHANGED), 0u);

  // A stick's own events log the stick.
  tree.Disk("sdc", "8:32", 1024, true);
  tree.Partition("sdc", "sdc1", "8:33", 1, 64, 960);
  Send(fds[1], 0, Event("add", "sdc"));
  Send(fds[1], 0, Event("add", "sdc1"));
  ASSERT_TRUE(WaitFor([&] { return ui.Count(WM_DEVICE_CHANGED) == 1; }));
  EXPECT_TRUE(Logged(platform::Utf8ToUtf16("Volume " + Dev("sdc") + " Medium connected!")));
  EXPECT_TRUE(Logged(platform::Utf8ToUtf16("Volume " + Dev("sdc1") + " Medium connected!")));
  EXPECT_FALSE(Logged(u"/media/other"));
  EXPECT_FALSE(Logged(u"loop7"));
  list().StopDeviceWatch();
  close(fds[1]);
}

TEST_F(DriveListThreads, TheRecheckFindsWhatNoKernelEventToldOf) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  // No event source at all, as in a network namespace of its own.
  ASSERT_TRUE(list().StartDeviceWatch(nullptr, 50ms, 200));
  EXPECT_FALSE(list().HasUnreportedChanges());

  // A mount sends no event.
  tree.Partition("sda", "sda2", "8:2", 2, 3072, 1024);
  tree.Mountinfo(
      "28 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 28 8:17 / /media/card rw - vfat /dev/sdb1 rw\n"
      "41 28 8:2 / /media/My\\040Photos rw - vfat /dev/sda2 rw\n");
  ASSERT_TRUE(WaitFor([&] { return ui.Count(WM_DEVICE_CHANGED) == 1; }));
  EXPECT_TRUE(Logged(u"Volume /media/My Photos Medium connected!"));
  auto photos = ByPlace("/media/My Photos");
  ASSERT_NE(photos, nullptr);
  EXPECT_EQ(photos->GetParentVolume(), ByPlace("sda"));
  list().StopDeviceWatch();
  EXPECT_EQ(ui.Count(WM_DEVICE_CHANGED), 1u);
}

TEST_F(DriveListThreads, ARefreshTicketIsDoneOnlyAfterTheRebuildThatBeganAfterIt) {
  TwoDisks();
  stuck->insert("sdb");
  const std::uint64_t ticket = list().StartRefresh();
  ASSERT_NE(ticket, 0u);
  // The rebuild waits for sdb's query, held by the gate: the ticket is not done.
  ASSERT_TRUE(WaitFor([&] { return list().RefreshCount() >= 1; }));
  EXPECT_FALSE(list().RefreshDone(ticket));
  // A second request made meanwhile is done only after a rebuild of its own.
  const std::uint64_t second = list().StartRefresh();
  EXPECT_GT(second, ticket);
  gate->Release();
  ASSERT_TRUE(WaitFor([&] { return list().RefreshDone(second); }));
  EXPECT_TRUE(list().RefreshDone(ticket));
  EXPECT_GE(list().RefreshCount(), 2u);
  EXPECT_EQ(list().GetCount(), 4);

  // A list that has ended takes no request; nothing is left to wait for.
  list().Shutdown();
  EXPECT_EQ(list().StartRefresh(), 0u);
  EXPECT_TRUE(list().RefreshDone(0));
}

TEST_F(DriveListThreads, TheDeviceWatchStartsOncePerRunAndPostsDeviceChanges) {
  TwoDisks();
  ASSERT_EQ(list().Refresh(false), 4);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
  ASSERT_TRUE(computer->StartDriveWatch(platform::MakePrefixedSocketSource(fds[0]), 0ms, 50));
  // The second window that lists drives starts nothing, nor does one after a stop.
  int other[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, other), 0);
  EXPECT_FALSE(computer->StartDriveWatch(platform::MakePrefixedSocketSource(other[0]), 0ms, 50));
  EXPECT_FALSE(computer->StartDriveWatch());

  tree.Disk("sdc", "8:32", 1024, true);
  tree.Write(tree.sys("devices/sdc/diskseq"), "20");
  Send(fds[1], 0, Event("add", "sdc"));
  ASSERT_TRUE(WaitFor([&] { return ui.Count(WM_DEVICE_CHANGED) == 1; }));
  EXPECT_EQ(ui.Messages(WM_DEVICE_CHANGED)[0].wParam, kDeviceArrival);
  EXPECT_NE(ByPlace("sdc"), nullptr);

  list().StopDeviceWatch();
  EXPECT_FALSE(computer->StartDriveWatch(nullptr, 50ms, 50));
  close(fds[1]);
  close(other[1]);
}
