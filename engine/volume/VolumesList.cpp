#include "engine/volume/VolumesList.h"

#include <algorithm>
#include <set>
#include <utility>

#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/Strings.h"
#include "engine/volume/DeviceWatcher.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/PartitionEntryType.h"
#include "engine/volume/Volume.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

std::atomic<int> g_liveQueries{0};

// What the query threads of one rebuild share with it: how many are still out and
// which have ended. It lives as long as the last of them.
struct QueryBatch {
  std::mutex mutex;
  std::condition_variable cv;
  std::size_t pending = 0;
  std::vector<char> done;
};

// The text of string 180 or 181 for a place: its "%c:" (a drive letter and its
// colon) becomes the device node or mount point.
std::u16string DeviceChangeText(std::uint32_t id, const std::string& place) {
  std::u16string format = GetLangString(id);
  std::size_t at = format.find(u"%c:");
  if (at != std::u16string::npos) {
    format.replace(at, 3, u"%s");
  } else if ((at = format.find(u"%c")) != std::u16string::npos) {
    format.replace(at, 2, u"%s");
  }
  return platform::Format(format, platform::Utf8ToUtf16(place));
}

// A partition the system lists takes its MBR entry's type byte as its type code
// (FAT and NTFS types only) unless its boot sector has named its file system
// already; the query's boot set-up replaces it by what the boot sector names.
// Read through the disk's volume.
void ApplyPartitionEntryType(CVolume& disk, CVolume& partition) {
  if (partition.GetKind() != CVolume::kLogicalDrive || partition.FileSystemTypeCode() != 0) return;
  const std::int64_t start = partition.Info().partitionStartOffset;
  if (start <= 0) return;
  const std::uint32_t diskSectorSize = disk.Info().logicalSectorSize;
  const std::uint8_t type = MbrEntryTypeAt(
      [&](std::uint64_t at, std::uint8_t* sector) {
        return at % CVolume::kSectorSize == 0 &&
               disk.ReadSectors(sector, std::int64_t(at / CVolume::kSectorSize), 1) == CVolume::kSectorSize;
      },
      std::uint64_t(start), diskSectorSize >= 512 ? diskSectorSize : 512);
  if (type != 0 && CVolume::GetFileSystemFamily(type) != 2) partition.SetFileSystemTypeCodeIfNone(type);
}

// The query of one volume of a rebuild. A disk, once queried, gives its
// partitions their entries' type bytes; a partition on a disk queried before (kept
// by the rebuild) reads its own. A partition never waits for its disk's query.
void QueryVolume(CVolume& volume) {
  if (volume.GetKind() == CVolume::kLogicalDrive) {
    if (std::shared_ptr<CVolume> disk = volume.GetParentVolume(); disk && disk->GetState() == CVolume::kReady)
      ApplyPartitionEntryType(*disk, volume);
  }
  volume.QueryInformation();
  if (volume.GetKind() == CVolume::kPhysicalDrive && volume.GetState() == CVolume::kReady) {
    const bool wasOpen = volume.IsOpen();
    for (const std::shared_ptr<CVolume>& child : volume.Children())
      if (child) ApplyPartitionEntryType(volume, *child);
    if (!wasOpen) volume.Close();  // as its query left it
  }
}

bool IsKeptKind(std::int32_t kind) {
  return kind == CVolume::kImageFile || kind == CVolume::kPartition || kind == CVolume::kFoundPartition;
}

}  // namespace

CVolumesList::CVolumesList() = default;

CVolumesList::~CVolumesList() {
  Shutdown();
  // Volumes go outside the lock: the last reference closes a device.
  std::vector<std::shared_ptr<CVolume>> old;
  std::vector<DeviceEntry> oldDevices;
  {
    std::lock_guard lock(mutex_);
    old.swap(volumes_);
    oldDevices.swap(devices_);
  }
}

void CVolumesList::Shutdown() {
  StopDeviceWatch();
  {
    std::lock_guard lock(threadMutex_);
    stopping_.store(true);
  }
  threadCv_.notify_all();
  std::thread refresh;
  {
    std::lock_guard lock(threadMutex_);
    refresh = std::move(refreshThread_);
  }
  if (refresh.joinable()) refresh.join();  // a rebuild sees the flag within its query wait
}

int CVolumesList::Add(std::shared_ptr<CVolume> volume) {
  std::lock_guard lock(mutex_);
  if (volume) volumes_.push_back(std::move(volume));
  return static_cast<int>(volumes_.size());
}

int CVolumesList::GetCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(volumes_.size());
}

std::shared_ptr<CVolume> CVolumesList::GetAt(int index) const {
  {
    std::lock_guard lock(mutex_);
    if (index >= 0 && static_cast<std::size_t>(index) < volumes_.size()) return volumes_[std::size_t(index)];
  }
  Log().Error(u"CVolumesList::GetAt except");
  return nullptr;
}

std::vector<std::shared_ptr<CVolume>> CVolumesList::Volumes() const {
  std::lock_guard lock(mutex_);
  return volumes_;
}

std::shared_ptr<CVolume> CVolumesList::FindByNodeId(std::int32_t id) const {
  std::lock_guard lock(mutex_);
  for (const auto& v : volumes_)
    if (v->DeviceNodeId() == id) return v;
  return nullptr;
}

// ---- Sources ------------------------------------------------------------------------------

void CVolumesList::SetSources(platform::BlockDeviceTree tree) {
  std::lock_guard lock(configMutex_);
  tree_ = std::move(tree);
}

void CVolumesList::SetDeviceOpeners(OpenerFactory factory) {
  std::lock_guard lock(configMutex_);
  openers_ = std::move(factory);
}

void CVolumesList::SetQueryWait(std::chrono::milliseconds wait) {
  std::lock_guard lock(configMutex_);
  queryWait_ = wait;
}

void CVolumesList::SetIdSource(IdSource ids) {
  std::lock_guard lock(configMutex_);
  ids_ = std::move(ids);
}

int CVolumesList::LiveQueryThreads() { return g_liveQueries.load(); }

// ---- Rebuild ------------------------------------------------------------------------------

std::shared_ptr<CVolume> CVolumesList::MakeVolume(const DriveSource& s, const OpenerFactory& openers,
                                                  const IdSource& ids) {
  auto v = std::make_shared<CVolume>(s.kind);
  v->SetDevicePath(platform::Utf8ToUtf16(s.devNode));
  v->UpdateInfo([&](VolumeInfo& i) {
    if (s.kind == CVolume::kPhysicalDrive) {
      i.driveType = 3;
      i.letter = static_cast<char16_t>(u'0' + s.number);
      i.description = platform::Format(u"Drive %d", s.number);
    } else {
      i.rootPath = platform::Utf8ToUtf16(s.mountPoint);
      i.driveType = s.removable ? 2 : 3;  // removable or fixed, as the system names drive types
    }
    // What sysfs says already; the query completes it. A logical drive's start on
    // its disk is known from here on, so a walk of the disk's table recognises it
    // even when its query fails or comes late.
    i.deviceNumber = s.parentDisk.valid() ? s.parentDisk : s.id;
    if (s.kind == CVolume::kLogicalDrive && s.isPartition) i.partitionStartOffset = std::int64_t(s.startBytes);
    i.logicalSectorSize = s.logicalSectorSize;
    i.totalBytes = static_cast<std::int64_t>(std::min<std::uint64_t>(s.sizeBytes, INT64_MAX));
    i.geometry.totalSectors = i.totalBytes / CVolume::kSectorSize;
  });
  if (openers) {
    if (DeviceOpener opener = openers(s)) v->SetDeviceOpener(std::move(opener));
  }
  const std::u16string key = platform::Utf8ToUtf16(s.Key());
  std::int32_t id = 0;
  if (ids)
    id = ids(key);
  else if (g_Computer)
    id = g_Computer->ObjectIdFor(key);
  v->SetDeviceNodeId(id);
  v->SetState(CVolume::kQuerying);  // its fields are not valid before its query
  return v;
}

int CVolumesList::RebuildList(bool report, const ReportScope& scope) {
  std::lock_guard rebuild(rebuildMutex_);
  platform::BlockDeviceTree tree;
  OpenerFactory openers;
  IdSource ids;
  std::chrono::milliseconds wait;
  {
    std::lock_guard lock(configMutex_);
    tree = tree_;
    openers = openers_;
    ids = ids_;
    wait = queryWait_;
  }
  const std::vector<DriveSource> sources = DriveEnumerator(tree).Enumerate();

  std::vector<DeviceEntry> old;
  {
    std::lock_guard lock(mutex_);
    old = devices_;
  }
  // Every device still present keeps its volume; the others are made anew.
  std::vector<DeviceEntry> next;
  std::vector<std::shared_ptr<CVolume>> fresh;
  for (const DriveSource& s : sources) {
    const std::string key = s.Key();
    auto kept = std::find_if(old.begin(), old.end(), [&](const DeviceEntry& e) { return e.source.Key() == key; });
    std::shared_ptr<CVolume> v;
    if (kept != old.end()) {
      v = kept->volume;
      if (s.kind == CVolume::kPhysicalDrive && kept->source.number != s.number) {
        // A disk before it went: it moves up in the numbering.
        const std::u16string oldName = platform::Format(u"Drive %d", kept->source.number);
        v->UpdateInfo([&](VolumeInfo& i) {
          i.letter = static_cast<char16_t>(u'0' + s.number);
          if (i.description == oldName) i.description = platform::Format(u"Drive %d", s.number);
        });
      }
    } else {
      v = MakeVolume(s, openers, ids);
      fresh.push_back(v);
    }
    next.push_back({v, s});
  }
  // A logical drive lies on the listed disk beneath it.
  for (const DeviceEntry& e : next) {
    if (e.source.kind != CVolume::kLogicalDrive || !e.source.parentDisk.valid()) continue;
    for (const DeviceEntry& d : next) {
      if (d.source.kind != CVolume::kPhysicalDrive || !(d.source.id == e.source.parentDisk)) continue;
      if (e.volume->GetParentVolume() != d.volume) {
        e.volume->SetParentVolume(d.volume);
        e.volume->SetDeviceNodeParent(d.volume->DeviceNodeId());
        d.volume->AddChild(e.volume);
      }
      break;
    }
  }

  if (stopping_.load()) return GetCount();
  // The swap. Image files and partitions keep their places after the devices, also
  // those opened while this rebuild ran; a partition goes with the drive it lies on.
  std::vector<std::shared_ptr<CVolume>> released;
  std::vector<DeviceEntry> releasedDevices;
  int count = 0;
  {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<CVolume>> list;
    std::set<std::int32_t> listedIds;
    for (const DeviceEntry& e : next) {
      list.push_back(e.volume);
      listedIds.insert(e.volume->DeviceNodeId());
    }
    for (const auto& v : volumes_) {
      if (!IsKeptKind(v->GetKind())) continue;
      if (v->IsPartition()) {
        const std::int32_t parent = v->DeviceNode()->parentId;
        if (parent != kIdMyComputer && !listedIds.count(parent)) continue;
      }
      list.push_back(v);
      listedIds.insert(v->DeviceNodeId());
    }
    released.swap(volumes_);
    volumes_ = std::move(list);
    releasedDevices.swap(devices_);
    devices_ = next;
    count = static_cast<int>(volumes_.size());
  }
  released.clear();  // outside the lock: a last reference closes its device
  releasedDevices.clear();
  refreshes_.fetch_add(1);

  RunQueries(fresh, wait);
  if (!stopping_.load()) Report(next, report, scope);
  return count;
}

void CVolumesList::RunQueries(const std::vector<std::shared_ptr<CVolume>>& volumes, std::chrono::milliseconds wait) {
  if (volumes.empty()) return;
  auto batch = std::make_shared<QueryBatch>();
  batch->done.assign(volumes.size(), 0);
  std::vector<std::thread> threads(volumes.size());
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    {
      std::lock_guard lock(batch->mutex);
      ++batch->pending;
    }
    g_liveQueries.fetch_add(1);
    try {
      threads[i] = std::thread([volume = volumes[i], batch, i]() mutable {
        QueryVolume(*volume);
        {
          std::lock_guard lock(batch->mutex);
          --batch->pending;
          batch->done[i] = 1;
        }
        batch->cv.notify_all();
        volume.reset();  // the thread's own reference goes before it counts as ended
        batch.reset();
        g_liveQueries.fetch_sub(1);
      });
    } catch (...) {
      g_liveQueries.fetch_sub(1);
      {
        std::lock_guard lock(batch->mutex);
        --batch->pending;
        batch->done[i] = 1;
      }
      Log().Error(u"CVolumesList::Refresh except");
      volumes[i]->SetState(CVolume::kNotReady);
    }
  }
  // All of them together, up to the wait; the list's end cuts it short.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::vector<char> done;
  {
    std::unique_lock lock(batch->mutex);
    while (batch->pending > 0 && !stopping_.load()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) break;
      batch->cv.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(50)));
    }
    done = batch->done;
  }
  // Threads that ended are joined; one still inside the kernel is left to end by
  // itself, holding its volume, which stays in state -1 until then.
  for (std::size_t i = 0; i < threads.size(); ++i) {
    if (!threads[i].joinable()) continue;
    if (done[i])
      threads[i].join();
    else
      threads[i].detach();
  }
}

void CVolumesList::Report(const std::vector<DeviceEntry>& devices, bool report, const ReportScope& scope) {
  std::vector<Reported> now;
  for (const DeviceEntry& e : devices) {
    std::string disk;
    for (const DeviceEntry& d : devices)
      if (e.source.parentDisk.valid() && d.source.kind == CVolume::kPhysicalDrive && d.source.id == e.source.parentDisk)
        disk = d.source.name;
    now.push_back({e.source.Key(), e.source.Place(), e.source.name, disk});
  }
  // A change is the events' when they name the device or the disk it lies on.
  auto named = [&](const Reported& r) {
    return scope.all || scope.names.count(r.name) > 0 || (!r.disk.empty() && scope.names.count(r.disk) > 0);
  };
  std::vector<std::u16string> lines;
  bool arrived = false;
  {
    std::lock_guard lock(reportMutex_);
    if (!haveBaseline_) {
      // The first listing: what is there was not connected just now.
      reported_ = std::move(now);
      haveBaseline_ = true;
      return;
    }
    if (!report) return;  // what changed is reported by the next device change
    auto in = [](const std::vector<Reported>& set, const std::string& key) {
      return std::any_of(set.begin(), set.end(), [&](const Reported& r) { return r.key == key; });
    };
    for (const Reported& r : reported_)
      if (!in(now, r.key) && named(r)) lines.push_back(DeviceChangeText(181, r.place));
    for (const Reported& r : now) {
      if (in(reported_, r.key) || !named(r)) continue;
      lines.push_back(DeviceChangeText(180, r.place));
      arrived = true;
    }
    reported_ = std::move(now);
  }
  if (lines.empty()) return;
  for (const std::u16string& line : lines) Log().Info(line);
  PostToUi(WM_DEVICE_CHANGED, arrived ? kDeviceArrival : kDeviceRemoveComplete, 0);
}

bool CVolumesList::HasUnreportedChanges() const {
  platform::BlockDeviceTree tree;
  {
    std::lock_guard lock(configMutex_);
    tree = tree_;
  }
  std::multiset<std::string> now;
  for (const DriveSource& s : DriveEnumerator(tree).Enumerate()) now.insert(s.Key());
  std::lock_guard lock(reportMutex_);
  if (!haveBaseline_) return false;
  std::multiset<std::string> last;
  for (const Reported& r : reported_) last.insert(r.key);
  return now != last;
}

// ---- Refresh thread -------------------------------------------------------------------------

int CVolumesList::Refresh(bool background) {
  try {
    if (background) return RequestRefresh(false) ? 1 : 0;
    return RebuildList(false);
  } catch (...) {
    Log().Error(u"CVolumesList::Refresh except");
    return 0;
  }
}

std::uint64_t CVolumesList::StartRefresh() {
  try {
    return RequestRefresh(false);
  } catch (...) {
    Log().Error(u"CVolumesList::Refresh except");
    return 0;
  }
}

bool CVolumesList::RefreshDone(std::uint64_t ticket) const {
  std::lock_guard lock(threadMutex_);
  return ticket == 0 || completed_ >= ticket || stopping_.load();
}

int CVolumesList::RefreshAndWait() {
  if (const std::uint64_t generation = RequestRefresh(false)) WaitForRefresh(generation, kRefreshWait, false);
  return 0;
}

int CVolumesList::OnDeviceChange(const std::vector<platform::Uevent>& events) {
  // A refresh reads the whole tree; the log lines are of what it finds changed
  // among the devices the events name.
  if (const std::uint64_t generation = RequestRefresh(true, &events)) WaitForRefresh(generation, kRefreshWait, true);
  return 0;
}

std::uint64_t CVolumesList::RequestRefresh(bool report, const std::vector<platform::Uevent>* events) {
  std::lock_guard lock(threadMutex_);
  if (stopping_.load()) return 0;
  const std::uint64_t generation = ++requested_;
  if (report) {
    reportWanted_ = true;
    if (!events || events->empty()) reportScope_.all = true;
    if (events)
      for (const platform::Uevent& e : *events)
        if (!e.devName.empty()) reportScope_.names.insert(e.devName);
  }
  if (!threadRunning_) {
    // The last refresh thread has cleared the flag as its last step: it is joined
    // before the next one starts.
    if (refreshThread_.joinable()) refreshThread_.join();
    try {
      refreshThread_ = std::thread([this] { RefreshThreadMain(); });
      threadRunning_ = true;
    } catch (...) {
      Log().Error(u"CVolumesList::Refresh except");
      return 0;
    }
  }
  return generation;
}

bool CVolumesList::WaitForRefresh(std::uint64_t generation, std::chrono::milliseconds timeout, bool forDeviceChange) {
  std::unique_lock lock(threadMutex_);
  threadCv_.wait_for(lock, timeout, [&] {
    return completed_ >= generation || stopping_.load() || (forDeviceChange && watchStopping_.load());
  });
  return completed_ >= generation;
}

void CVolumesList::RefreshThreadMain() {
  std::unique_lock lock(threadMutex_);
  while (!stopping_.load() && completed_ < requested_) {
    const std::uint64_t target = requested_;
    const bool report = std::exchange(reportWanted_, false);
    const ReportScope scope = std::exchange(reportScope_, ReportScope{});
    lock.unlock();
    try {
      RebuildList(report, scope);
    } catch (...) {
      Log().Error(u"CVolumesList::RefreshThread except");
    }
    lock.lock();
    completed_ = target;
    threadCv_.notify_all();
  }
  threadRunning_ = false;
  threadCv_.notify_all();
}

// ---- Device watch ---------------------------------------------------------------------------

bool CVolumesList::StartDeviceWatch() {
  return StartDeviceWatch(platform::OpenKernelUeventSource(), kRecheckInterval, 250);
}

bool CVolumesList::StartDeviceWatch(std::unique_ptr<platform::IDatagramSource> source,
                                    std::chrono::milliseconds recheck, int burstMs) {
  std::lock_guard lock(watchMutex_);
  if (watcher_ || stopping_.load()) return false;
  watchStopping_.store(false);
  auto watcher = std::make_unique<DeviceWatcher>(*this);
  if (!watcher->Start(std::move(source), recheck, burstMs)) return false;
  watcher_ = std::move(watcher);
  return true;
}

void CVolumesList::StopDeviceWatch() {
  std::lock_guard lock(watchMutex_);
  if (!watcher_) return;
  {
    // A device change waiting for its refresh stops waiting.
    std::lock_guard t(threadMutex_);
    watchStopping_.store(true);
  }
  threadCv_.notify_all();
  watcher_->Stop();
  watcher_.reset();
}

char16_t DriveLetterFromUnitMask(std::uint32_t mask) {
  for (int i = 0; i < 26; ++i, mask >>= 1)
    if (mask & 1) return static_cast<char16_t>(u'A' + i);
  return 0;
}
