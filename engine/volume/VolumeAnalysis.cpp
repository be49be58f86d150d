// CVolume's analysis: the program's one analysis thread, the passes, the
// search's hits, stopping, and clearing the found objects.

#include <algorithm>
#include <condition_variable>
#include <optional>
#include <thread>

#include "engine/fs/FreeClusterMap.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/ConfigFolderGuard.h"
#include "engine/volume/FileSystemFactory.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/Volume.h"
#include "platform/Format.h"

// ---- Analysis threads -------------------------------------------------------------------

namespace {

// The program's one analysis thread: the whole analysis or a pass alone. The slot
// keeps the thread's volume until the thread is joined, so the volume is never
// destroyed on its own thread.
struct AnalysisSlot {
  std::mutex mutex;
  std::condition_variable ended;
  std::thread thread;
  std::thread::id id;
  std::shared_ptr<CVolume> volume;
  bool alive = false;  // started and not yet at its end
  ~AnalysisSlot() {
    if (thread.joinable()) thread.join();
  }
};

AnalysisSlot& Slot() {
  static AnalysisSlot slot;
  return slot;
}

std::mutex g_hooksMutex;
CVolume::SectorPass g_sectorPass;
std::function<std::int64_t()> g_tickSource;

// Waits (at most `timeout`, or without bound) for the analysis thread to end, then
// joins it; false when it still runs. A thread never waits for itself.
bool JoinEnded(std::optional<std::chrono::milliseconds> timeout) {
  AnalysisSlot& s = Slot();
  std::shared_ptr<CVolume> old;
  std::unique_lock lock(s.mutex);
  if (s.alive && s.id == std::this_thread::get_id()) return false;
  auto ended = [&] { return !s.alive; };
  if (timeout) {
    if (!s.ended.wait_for(lock, *timeout, ended)) return false;
  } else {
    s.ended.wait(lock, ended);
  }
  if (s.thread.joinable()) s.thread.join();  // at its end: it only posts its last message
  old = std::move(s.volume);
  lock.unlock();
  return true;  // the volume goes here, outside the lock
}

}  // namespace

void CVolume::SetSectorPass(SectorPass pass) {
  std::lock_guard lock(g_hooksMutex);
  g_sectorPass = std::move(pass);
}

void CVolume::SetTickSource(std::function<std::int64_t()> nowMs) {
  std::lock_guard lock(g_hooksMutex);
  g_tickSource = std::move(nowMs);
}

std::int64_t CVolume::NowMs() {
  std::function<std::int64_t()> source;
  {
    std::lock_guard lock(g_hooksMutex);
    source = g_tickSource;
  }
  if (source) return source();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool CVolume::WaitForAnalysisEnd(std::chrono::milliseconds timeout) { return JoinEnded(timeout); }

void CVolume::JoinAnalysisThreads() { JoinEnded(std::nullopt); }

bool CVolume::IsOnAnalysisThread() const {
  AnalysisSlot& s = Slot();
  std::lock_guard lock(s.mutex);
  return s.alive && s.volume.get() == this && s.id == std::this_thread::get_id();
}

bool CVolume::HasAnalysisThread() const {
  AnalysisSlot& s = Slot();
  std::lock_guard lock(s.mutex);
  return s.alive && s.volume.get() == this;
}

bool CVolume::StartThread(ThreadKind kind, std::int32_t sectorPassMode, bool freeClustersOnly) {
  std::shared_ptr<CVolume> self;
  try {
    self = shared_from_this();
  } catch (const std::bad_weak_ptr&) {
    return false;  // only a shared volume can run a thread
  }
  ScanProgress& progress = GetScanProgress();
  AnalysisSlot& s = Slot();
  std::shared_ptr<CVolume> previous;
  std::unique_lock lock(s.mutex);
  // The running flag is looked at and set under the slot's lock: a start never sets
  // the flag while a thread (one that was stopped, say) still runs.
  if (s.alive) return false;
  if (kind == ThreadKind::Analysis && progress.running.load() != 0) return false;
  if (s.thread.joinable()) s.thread.join();
  previous = std::move(s.volume);

  threadKind_.store(kind);
  sectorPassMode_.store(sectorPassMode);  // an analysis searches for lost files
  freeClustersOnly_.store(freeClustersOnly);  // and reads every sector
  working_.store(true);
  stopRequested_.store(false);
  aborted_.store(false);
  const std::int32_t runningBefore = progress.running.exchange(1);
  if (kind != ThreadKind::Analysis) {
    progress.current.store(0);
    progress.total.store(Geometry().totalClusters);
  }
  if (kind != ThreadKind::SectorPass) progress.SetVolume(self);
  try {
    s.thread = std::thread([self, kind] { self->ThreadMain(kind); });
  } catch (...) {
    working_.store(false);
    progress.running.store(runningBefore);
    Log().Error(u"The analysis thread of %s could not be started", GetDisplayName());
    return false;
  }
  s.id = s.thread.get_id();
  s.volume = std::move(self);
  s.alive = true;
  return true;
}

bool CVolume::StartAnalyseThread() { return StartThread(ThreadKind::Analysis, kLostFileSearch); }

bool CVolume::StartAnalyseFileSystem() {
  if (!StartThread(ThreadKind::FileSystemPass, GetSectorPassMode())) return false;
  if (g_Computer) g_Computer->SetScannedVolume(shared_from_this());
  return true;
}

bool CVolume::StartAnalyseSectors(std::int32_t mode, bool freeClustersOnly) {
  if (!StartThread(ThreadKind::SectorPass, mode, freeClustersOnly && mode == kLostFileSearch)) return false;
  if (g_Computer) g_Computer->SetScannedVolume(shared_from_this());
  return true;
}

void CVolume::ThreadMain(ThreadKind kind) {
  // A stop is seen by every read, retry and salvaged sector of the passes.
  const ReadStop stop([] { return !GetScanProgress().IsRunning(); });
  // Nothing of the program's own is written onto this volume while it is read.
  const ConfigFolderGuard guard(*this);
  switch (kind) {
    case ThreadKind::Analysis:
      Analyse();
      break;
    case ThreadKind::FileSystemPass:
      SetState(kAnalysing);
      try {
        AnalyseFileSystem();
      } catch (...) {
        Log().Error(u"AnalyseFileSystem.FatalError");
      }
      SetState(kReady);
      break;
    case ThreadKind::SectorPass:
      SetState(kAnalysing);  // the finish of the starter sets it back
      try {
        AnalyseSectors();
      } catch (...) {
        Log().Error(u"AnalyseSectors.FatalError");
      }
      break;
    case ThreadKind::None:
      break;
  }
  working_.store(false);
  if (kind == ThreadKind::Analysis) {
    if (aborted_.load())
      Log().InfoId(57113);
    else
      Log().InfoId(57123, GetDisplayName());
  }
  const std::int32_t nodeId = DeviceNodeId();
  {
    AnalysisSlot& s = Slot();
    std::lock_guard lock(s.mutex);
    s.alive = false;
  }
  Slot().ended.notify_all();
  // The last thing the thread does: whoever starts the next analysis joins it.
  if (kind == ThreadKind::Analysis) PostToUi(WM_ANALYSIS_DONE, nodeId, 0);
}

void CVolume::EndWithoutComputer() {
  ScanProgress& progress = GetScanProgress();
  const std::shared_ptr<CVolume> scanned = progress.Volume();
  if (!scanned || scanned.get() == this) progress.running.store(0);
  SetState(kReady);
}

void CVolume::Analyse() {
  ScanProgress& progress = GetScanProgress();
  bool opened = false;
  try {
    TakeSettings(Settings());
    Log().InfoId(57111, GetDisplayName());
    if (OpenDrive()) {
      opened = true;
      SetState(kAnalysing);
      BootSetup();
      // A stop before the pass leaves the store as it was.
      if (progress.IsRunning()) AnalyseFileSystem();
      if (Settings().SignaturePass() == 1 && progress.IsRunning()) AnalyseSectors();
    }
  } catch (...) {
    Log().Error(u"Analyse.FatalError");
  }
  // Whatever happened, the analysis ends: the running flag is cleared and the end is
  // posted, so the queue goes on.
  aborted_.store(!opened || stopRequested_.load() || !progress.IsRunning());
  working_.store(false);
  std::shared_ptr<CVolume> self;
  try {
    self = shared_from_this();
  } catch (const std::bad_weak_ptr&) {
  }
  if (g_Computer && self)
    g_Computer->OnAnalyseDone(self);
  else
    EndWithoutComputer();
}

void CVolume::PassEnded(ThreadKind pass, std::uint32_t message) {
  // A pass that is its thread's last is over before its message arrives: finishing
  // it from the message asks no confirmation.
  if (threadKind_.load() == pass) working_.store(false);
  PostToUi(message, 0, 0);
}

void CVolume::AnalyseFileSystem() {
  ScanProgress& progress = GetScanProgress();
  const AppSettings settings = Settings().Snapshot();
  TakeSettings(settings);
  fsCounters_.folders.store(0);
  fsCounters_.files.store(0);
  const std::int64_t start = NowMs();
  progress.current.store(0);
  progress.total.store(Geometry().totalClusters);
  progress.passMarker.store(1);
  progress.BeginUnreadableCount(this);
  progress.owner.store(g_Computer);

  Log().SendStatus(57211);
  Log().InfoId(57212);

  ResetStore();
  // The bitmap tells what this pass finds in use; an earlier pass's says nothing.
  bitmap_.Create(0, false);

  const std::int32_t code = FileSystemTypeCode();
  std::int32_t openState = 0;
  {
    std::shared_lock lock(fsMutex_);
    if (fs_) openState = fs_->openState;
  }
  std::unique_ptr<CFileSystem> parser = MakeFileSystem(code, *this, progress);
  if (!parser) {
    Log().InfoId(57214);
  } else {
    const std::int32_t rootId = CFileSystem::RootFolderIdFor(code);
    parser->openState = openState;
    parser->root.id = rootId;
    parser->root.parentId = DeviceNodeId();
    store_.SetRootFolderId(rootId);
    store_.RegisterObject(parser->root);
    SetFileSystem(std::move(parser));
    try {
      FileSystem()->Analyse();
    } catch (...) {
      Log().Error(u"AnalyseFileSystem.FatalError");
    }
  }

  const std::int64_t elapsed = std::max<std::int64_t>(0, NowMs() - start);
  PassEnded(ThreadKind::FileSystemPass, WM_FILE_SYSTEM_PASS_DONE);
  Log().InfoId(135, elapsed / 60000, (elapsed / 1000) % 60);
  Log().InfoId(136, fsCounters_.folders.load(), fsCounters_.files.load());
}

void CVolume::AnalyseSectors() {
  ScanProgress& progress = GetScanProgress();
  const AppSettings settings = Settings().Snapshot();
  TakeSettings(settings);
  sectorCounters_.folders.store(0);
  sectorCounters_.files.store(0);
  progress.BeginUnreadableCount(this);
  // The running flag is the starter's: set for a pass alone, and never set again
  // here, where a stop may just have cleared it.
  progress.owner.store(g_Computer);
  if (g_Computer) {
    try {
      g_Computer->SetScannedVolume(shared_from_this());
    } catch (const std::bad_weak_ptr&) {
    }
  }

  Log().SendStatus(57311);
  Log().InfoId(57313);
  store_.EnableOffsetIndex(1);
  const std::int64_t start = NowMs();

  SectorPass pass;
  {
    std::lock_guard lock(g_hooksMutex);
    pass = g_sectorPass;
  }
  if (pass) {
    try {
      pass(*this, progress, settings);
    } catch (...) {
      Log().Error(u"AnalyseSectors.FatalError");
    }
  }

  const std::int64_t elapsed = std::max<std::int64_t>(0, NowMs() - start);
  PassEnded(ThreadKind::SectorPass, WM_SECTOR_PASS_DONE);
  Log().InfoId(136, sectorCounters_.folders.load(), sectorCounters_.files.load());
  Log().InfoId(135, elapsed / 60000, (elapsed / 1000) % 60);
  Close();
}

void CVolume::OnSignatureHit(const FoundObject& hit) {
  try {
    switch (hit.typeId) {
      case 1: case 4: case 7: case 11: {
        // A boot sector: a partition (or this volume's own first sector). A backup copy
        // stands for the volume it belongs to, at that volume's start.
        FoundObject partition = hit;
        std::int64_t bytes = 0;
        partition.offset = BootSectorVolumeStart(hit.offset, &bytes);
        if (partition.offset != hit.offset && bytes > 0) partition.size = bytes;
        partition.parentId = DeviceNodeId();
        if (IPartitionSink* sink = GetPartitionSink()) sink->AddPartitionVolume(partition);
        return;
      }
      default:
        break;
    }
    if (sectorPassMode_.load() == kPartitionSearch) return;
    if (hit.typeId == 24 || hit.typeId == 25) {
      std::shared_lock lock(fsMutex_);
      if (fs_) fs_->ScanAt(hit);
      return;
    }
    if (hit.typeId <= 29) return;

    // A record the hit merged into was in the store before; a new one lies past
    // what the store held (other threads may have added after it as well).
    const std::size_t before = store_.Count();
    FoundObject* r = store_.AddCarvedObject(hit);
    if (!r) return;
    const FoundObject record = store_.Snapshot(*r);
    if (record.IsFolder()) {
      sectorCounters_.folders.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    bool added = false;
    {
      const FoundObjectStore::ReadView view = store_.Read();
      for (std::size_t i = before, n = view.Count(); i < n && !added; ++i) added = view.At(i) == r;
    }
    if (added) sectorCounters_.files.fetch_add(1, std::memory_order_relaxed);
    if (logFoundNames_.load(std::memory_order_relaxed)) Log().InfoId(134, record.Name());
  } catch (...) {
    Log().Error(u"CVolume::OnSignatureHit except");
  }
}

int CVolume::StopAnalysis(bool force) {
  try {
    if (IsOnAnalysisThread()) return 1;  // the thread's own finish neither asks nor waits
    ScanProgress& progress = GetScanProgress();
    const bool ours = HasAnalysisThread();
    if (ours && !force && working_.load() && progress.IsRunning() && Settings().ConfirmScanAbort() == 1) {
      Question q;
      q.kind = QuestionKind::Confirm;
      q.text = GetLangString(170);
      q.caption = GetLangString(157);
      q.buttons = Buttons::YesNo;
      q.icon = MessageIcon::Question;
      q.detail = GetDisplayName();
      // A scan that ends while the question is open needs no answer any more.
      if (AskUser(q, [this] { return working_.load(); }).answer != Answer::Yes) return 0;
    }
    if (!ours) return 1;
    stopRequested_.store(true);
    progress.running.store(0);
    AnalysisSlot& s = Slot();
    std::unique_lock lock(s.mutex);
    // A thread that has not ended by then ends by itself and posts its end.
    s.ended.wait_for(lock, kStopWait, [&] { return !(s.alive && s.volume.get() == this); });
    return 1;
  } catch (...) {
    Log().Error(u"CVolume::StopAnalysis except");
    return 1;
  }
}

void CVolume::ResetStore() {
  store_.Clear();
  store_.RegisterObject(deviceNode_);
  // Partitions found on this volume stay below its node.
  for (const auto& child : Children())
    if (child->GetKind() == kFoundPartition && child->DeviceNode()->parentId == DeviceNodeId())
      store_.RegisterObject(child->DeviceNode());
}

std::unique_ptr<CFreeClusterMap> CVolume::MakeFreeClusterMap() const {
  const VolumeGeometry g = Geometry();
  const std::int64_t totalSectors = std::max<std::int64_t>(0, g.totalSectors);
  CFileSystem::ClusterLayout layout;
  bool laidOut = false;
  {
    std::shared_lock lock(fsMutex_);
    laidOut = fs_ && fs_->BitmapLayout(layout);
  }
  if (laidOut && bitmap_.GetData() && bitmap_.BitCount() > 0)
    return std::make_unique<CFreeClusterMap>(bitmap_, layout, totalSectors);
  const std::int64_t units = g.clusterBytes >= 512 && g.clusterBytes % 512 == 0 ? g.clusterBytes / 512 : 1;
  return std::make_unique<CFreeClusterMap>(totalSectors, units);
}

namespace {

std::mutex g_storeUsersMutex;
std::vector<std::pair<int, CVolume::StoreUser>> g_storeUsers;
int g_nextStoreUser = 1;

}  // namespace

int CVolume::AddStoreUser(StoreUser user) {
  std::lock_guard lock(g_storeUsersMutex);
  const int id = g_nextStoreUser++;
  g_storeUsers.emplace_back(id, std::move(user));
  return id;
}

void CVolume::RemoveStoreUser(int id) {
  std::lock_guard lock(g_storeUsersMutex);
  std::erase_if(g_storeUsers, [id](const auto& entry) { return entry.first == id; });
}

CVolume::ClearResult CVolume::ClearFoundObjects() {
  if (HasAnalysisThread()) {
    ShowUserMessage(platform::Format(u"%s is being analysed. Stop the analysis, then choose the drive again.",
                                     GetDisplayName()),
                    u"Warning!", MessageIcon::Warning);
    return ClearResult::kRefusedPass;
  }
  std::vector<StoreUser> users;
  {
    std::lock_guard lock(g_storeUsersMutex);
    for (const auto& entry : g_storeUsers) users.push_back(entry.second);
  }
  for (const StoreUser& user : users) {
    const std::u16string refusal = user.refusal ? user.refusal(*this) : std::u16string();
    if (!refusal.empty()) {
      ShowUserMessage(refusal, u"Warning!", MessageIcon::Warning);
      return ClearResult::kRefusedInUse;
    }
  }
  for (const StoreUser& user : users)
    if (user.release) user.release(*this);
  ResetStore();
  bitmap_.Create(0, false);
  fsCounters_.folders.store(0);
  fsCounters_.files.store(0);
  sectorCounters_.folders.store(0);
  sectorCounters_.files.store(0);
  return ClearResult::kCleared;
}

void CVolume::EndAnalysisThread() {
  // On the analysis thread itself the thread routine ends after the finish.
  SetState(kReady);
}
