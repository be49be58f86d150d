#include "engine/volume/LocalComputer.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/DeviceMatch.h"
#include "engine/volume/ImageJob.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

CLocalComputer* g_Computer = nullptr;

namespace {

// Ids that special nodes use: My Computer, the system category, Recycle Bin, the
// lost roots, and the categories of the built-in file-type groups (the type folders
// of a store carry them).
constexpr std::int32_t kReservedIds[] = {
    kIdMyComputer, -16, kIdRecycleBin, kIdLostFolders, kIdLostFiles,
    -48, -64, -80, -112, -115, -117, -120, -122, -128, -133, -144,
};

bool IsReservedId(std::int32_t id, const IFileTypeLookup* lookup) {
  if (std::find(std::begin(kReservedIds), std::end(kReservedIds), id) != std::end(kReservedIds)) return true;
  std::u16string group;
  return lookup && lookup->GroupName(id, group);  // a group of the user's own
}

// The parser code and name a found partition gets from its partition type.
std::int32_t PartitionCode(std::int32_t type, std::u16string& name) {
  switch (type) {
    case 1: case 17:
      name = u"FAT12";
      return 1;
    case 4: case 6: case 14: case 20: case 22: case 30:
      name = u"FAT16";
      return 4;
    case 7:
      name = u"NTFS";
      return 7;
    case 11: case 12: case 27: case 28:
      name = u"FAT32";
      return 11;
    default:
      name.clear();
      return 0;
  }
}

// Volumes that stand for something that can be read (not the tree's pseudo-volumes).
bool IsReadable(const CVolume& v) {
  switch (v.GetKind()) {
    case CVolume::kPhysicalDrive:
    case CVolume::kLogicalDrive:
    case CVolume::kPartition:
    case CVolume::kImageFile:
    case CVolume::kFoundPartition:
      return true;
    default:
      return false;
  }
}

}  // namespace

CLocalComputer::CLocalComputer() {
  myComputer_ = std::make_shared<CVolume>(0);
  myComputer_->SetDeviceNodeId(kIdMyComputer);
  recycleBin_ = std::make_shared<CVolume>(0);
  recycleBin_->SetDeviceNodeId(kIdRecycleBin);
  selected_ = scanned_ = analysed_ = myComputer_;
  filter_.Load();
  g_Log = &log_;
  g_Computer = this;
  SetPartitionSink(this);
}

CLocalComputer::~CLocalComputer() {
  // The recovery jobs stop and join their threads while the log is still ours (the
  // last reference runs the job's destructor).
  {
    std::shared_ptr<CRecovery> recovery, tryOpen;
    {
      std::lock_guard lock(mutex_);
      recovery.swap(recoveryJob_);
      tryOpen.swap(tryOpenJob_);
    }
  }
  // A kept start is dropped, and the thread that would carry it out joined.
  StopStarter();
  // The drive list's watch and refresh threads end first: a refresh asks this
  // object for node ids.
  volumes_.Shutdown();
  // At exit the analysis is stopped without asking, and its thread is joined
  // before anything it uses goes.
  std::shared_ptr<CVolume> scanned = ScannedVolume();
  if (scanned && scanned->HasAnalysisThread()) FinishAnalysis(scanned, true);
  Progress().running.store(0);
  CVolume::JoinAnalysisThreads();
  if (GetPartitionSink() == this) SetPartitionSink(nullptr);
  if (g_Computer == this) g_Computer = nullptr;
  if (g_Log == &log_) g_Log = nullptr;
}

ScanProgress& CLocalComputer::Progress() const { return GetScanProgress(); }

// ---- Ids ------------------------------------------------------------------------------

std::int32_t CLocalComputer::NewObjectId() {
  std::lock_guard lock(mutex_);
  const IFileTypeLookup* lookup = fileTypes_ ? fileTypes_.get() : GetFileTypeLookup();
  while (objectIdCounter_ > std::numeric_limits<std::int32_t>::min()) {
    const std::int32_t id = --objectIdCounter_;
    if (!IsReservedId(id, lookup)) return id;
  }
  return objectIdCounter_;  // 2^31 volumes in one run: never reached
}

std::int32_t CLocalComputer::ObjectIdFor(const std::u16string& deviceKey) {
  if (deviceKey.empty()) return NewObjectId();
  {
    std::lock_guard lock(mutex_);
    auto it = deviceIds_.find(deviceKey);
    if (it != deviceIds_.end()) return it->second;
  }
  const std::int32_t id = NewObjectId();
  std::lock_guard lock(mutex_);
  // Another thread may have given the key its id meanwhile: the first one stays.
  return deviceIds_.emplace(deviceKey, id).first->second;
}

// ---- Analysis queue -------------------------------------------------------------------

bool CLocalComputer::IsScannedLocked(const CVolume* volume) const {
  return scanned_.get() == volume || Progress().Volume().get() == volume;
}

int CLocalComputer::StartAnalysis(const std::shared_ptr<CVolume>& volume) {
  if (!volume || volume->GetState() == CVolume::kAnalysing) return 0;
  int started = 0;
  std::lock_guard lock(mutex_);
  // The thread start looks at the running flag and sets it in one step: while a
  // scan runs the volume only waits in the queue. A kept start goes first.
  if (!pending_) {
    if (volume->StartAnalyseThread()) {
      selected_ = scanned_ = analysed_ = volume;
      started = 1;
    } else if (Progress().running.load() == 0 && !starterStop_.load()) {
      // No scan runs, but the last thread has not ended yet (a stopped one inside a
      // read, or one posting its end): the start is kept for when it has.
      pending_ = volume;
      if (!starterRunning_) {
        if (starter_.joinable()) starter_.join();  // it cleared the flag as its last step
        try {
          starter_ = std::thread([this] { StarterMain(); });
          starterRunning_ = true;
        } catch (...) {
          pending_.reset();
          Log().Error(u"CLocalComputer::StartAnalysis except");
        }
      }
    }
  }
  if (std::find(queue_.begin(), queue_.end(), volume) == queue_.end()) queue_.push_back(volume);
  return started;
}

void CLocalComputer::StarterMain() {
  constexpr std::chrono::milliseconds kPoll{50};
  while (!starterStop_.load()) {
    if (!CVolume::WaitForAnalysisEnd(kPoll)) continue;
    std::shared_ptr<CVolume> volume;
    {
      std::lock_guard lock(mutex_);
      volume = std::move(pending_);
      pending_.reset();
      if (!volume || starterStop_.load()) break;
      starting_ = volume;
    }
    StartAnalysis(volume);  // another scan may have begun meanwhile: then it waits in the queue
    std::lock_guard lock(mutex_);
    starting_.reset();
    if (!pending_) break;
  }
  std::lock_guard lock(mutex_);
  starterRunning_ = false;
}

void CLocalComputer::StopStarter() {
  std::thread starter;
  {
    std::lock_guard lock(mutex_);
    starterStop_.store(true);
    pending_.reset();
    starter = std::move(starter_);
  }
  if (starter.joinable()) starter.join();
}

std::shared_ptr<CVolume> CLocalComputer::StartPending() const {
  std::lock_guard lock(mutex_);
  return pending_;
}

void CLocalComputer::OnAnalyseDone(const std::shared_ptr<CVolume>& volume) {
  {
    std::lock_guard lock(mutex_);
    if (IsScannedLocked(volume.get())) Progress().running.store(0);
  }
  FinishAnalysis(volume, false);
}

int CLocalComputer::FinishAnalysis(const std::shared_ptr<CVolume>& volume, bool force) {
  if (!volume) return 0;
  // The stop comes first: it may ask, and No leaves everything as it was.
  if (!volume->StopAnalysis(force)) return 0;
  {
    std::lock_guard lock(mutex_);
    std::erase(queue_, volume);
    if (pending_ == volume) pending_.reset();  // a kept start is withdrawn
    if (IsScannedLocked(volume.get())) Progress().running.store(0);
  }
  volume->SetState(CVolume::kReady);
  volume->EndAnalysisThread();
  return 1;
}

std::shared_ptr<CVolume> CLocalComputer::ContinueQueue() {
  if (Settings().AutoContinueQueue() != 1) return nullptr;
  std::shared_ptr<CVolume> first;
  {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return nullptr;
    first = queue_.front();
    // A kept start of it is on its way: the starter thread begins it as the start
    // that was asked for directly, and emptying its store here would run beside the
    // pass that thread begins (the pass empties the store itself).
    if (first == pending_ || first == starting_) return nullptr;
  }
  // Started already (by the starter thread): nothing to continue.
  if (first->HasAnalysisThread()) return nullptr;
  // Its file-system pass empties the volume's store: not while a recovery or "try
  // to open" copies from it. That is refused, saying why, and the volume waits in
  // the queue (QueueWaitsForStore); a find over it is stopped first.
  if (first->GetState() != CVolume::kAnalysing && first->ClearFoundObjects() != CVolume::ClearResult::kCleared) {
    queueWaitsForStore_.store(true);
    return nullptr;
  }
  queueWaitsForStore_.store(false);
  return StartAnalysis(first) ? first : nullptr;
}

std::vector<std::shared_ptr<CVolume>> CLocalComputer::Queue() const {
  std::lock_guard lock(mutex_);
  return queue_;
}

bool CLocalComputer::IsQueued(const std::shared_ptr<CVolume>& volume) const {
  std::lock_guard lock(mutex_);
  return std::find(queue_.begin(), queue_.end(), volume) != queue_.end();
}

// ---- Volumes ----------------------------------------------------------------------------

bool CLocalComputer::StartDriveWatch() {
  if (watchStarted_.exchange(true)) return false;
  return volumes_.StartDeviceWatch();
}

bool CLocalComputer::StartDriveWatch(std::unique_ptr<platform::IDatagramSource> source,
                                     std::chrono::milliseconds recheck, int burstMs) {
  if (watchStarted_.exchange(true)) return false;
  return volumes_.StartDeviceWatch(std::move(source), recheck, burstMs);
}

std::shared_ptr<CVolume> CLocalComputer::OpenImageFile(const std::u16string& path) {
  try {
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(path);
    if (!volume->OpenDrive()) return nullptr;  // read-only; the failure is logged
    volume->SetDeviceNodeId(NewObjectId());
    volumes_.Add(volume);
    volume->BootSetup();  // the size from the file; a partition table is walked
    volume->SetState(CVolume::kReady);
    return volume;
  } catch (...) {
    Log().Error(u"CLocalComputer::OpenImageFile except");
    return nullptr;
  }
}

std::shared_ptr<CVolume> CLocalComputer::AddPartitionVolume(const FoundObject& partition) {
  try {
    std::shared_ptr<CVolume> parent = volumes_.FindByNodeId(partition.parentId);
    if (!parent) return nullptr;
    const std::int64_t offset = partition.offset;
    if (offset < 0) return nullptr;
    // A boot sector at the volume's own start is the volume itself.
    if (offset == 0) {
      parent->DeviceNode()->flags.Set(OBJ_CARVED);
      return parent;
    }
    const VolumeInfo parentInfo = parent->Info();
    const std::int64_t base = parentInfo.geometry.baseOffset;
    if (offset > std::numeric_limits<std::int64_t>::max() - base) return nullptr;
    std::u16string name;
    const std::int32_t code = PartitionCode(partition.typeId & 0xFF, name);
    const std::int32_t parentNode = parent->DeviceNodeId();

    // Recognising a known partition and making a new one is one step under the
    // list's lock: the walk of an open and of an analysis, and several search
    // workers, may meet the same partition.
    auto known = [&](CVolume& v) {
      if (&v == parent.get()) return false;
      if (v.GetParentVolume() != parent && v.DeviceNode()->parentId != parentNode) return false;
      switch (v.GetKind()) {
        case CVolume::kFoundPartition:
          return v.Geometry().baseOffset == base + offset;
        case CVolume::kLogicalDrive:
        case CVolume::kPartition:
          return v.Info().partitionStartOffset == offset;
        default:
          return false;
      }
    };
    auto make = [&]() -> std::shared_ptr<CVolume> {
      auto n = std::make_shared<CVolume>(CVolume::kFoundPartition);
      n->SetDeviceNodeId(NewObjectId());
      n->SetDeviceNodeParent(parentNode);
      n->SetParentVolume(parent);
      n->SetFileSystemTypeCode(code);
      n->SetState(CVolume::kQuerying);  // its fields are not valid before its set-up
      n->UpdateInfo([&](VolumeInfo& i) {
        i.driveType = parentInfo.driveType;
        i.device = parentInfo.device;
        i.deviceNumber = parentInfo.deviceNumber;
        i.logicalSectorSize = parentInfo.logicalSectorSize;
        i.partitionStartOffset = offset;  // the walk knows it by this
        i.geometry.baseOffset = base + offset;
        if (partition.size > 0) {  // the table's size
          i.totalBytes = partition.size;
          i.geometry.totalSectors = partition.size / CVolume::kSectorSize;
        }
      });
      parent->AddChild(n);
      return n;
    };
    bool added = false;
    std::shared_ptr<CVolume> volume = volumes_.FindOrAdd(known, make, added);
    if (!volume) return nullptr;
    if (!added) {
      volume->DeviceNode()->flags.Set(OBJ_CARVED);
      return volume;
    }

    Log().InfoId(179, name, offset);
    volume->BootSetup();
    if (volume->Info().totalBytes <= 0) {
      // A boot-sector hit without a size the boot sector gives: what is left of the
      // parent.
      const std::int64_t rest = std::max<std::int64_t>(0, parentInfo.totalBytes - offset);
      volume->UpdateInfo([&](VolumeInfo& i) {
        i.totalBytes = rest;
        i.geometry.totalSectors = rest / CVolume::kSectorSize;
        i.geometry.totalClusters = i.geometry.totalSectors / std::max(1, i.geometry.sectorsPerCluster);
      });
    }
    parent->Store().RegisterObject(volume->DeviceNode());
    volume->SetState(CVolume::kReady);
    PostToUi(WM_VOLUME_ADDED, volume->DeviceNodeId(), 0);
    return volume;
  } catch (...) {
    Log().Error(u"CLocalComputer::AddPartitionVolume except");
    return nullptr;
  }
}

std::vector<std::shared_ptr<CVolume>> CLocalComputer::AnalysedVolumesForCheck() const {
  std::vector<std::shared_ptr<CVolume>> out;
  auto add = [&](const std::shared_ptr<CVolume>& v) {
    if (v && IsReadable(*v) && std::find(out.begin(), out.end(), v) == out.end()) out.push_back(v);
  };
  add(Progress().Volume());
  std::lock_guard lock(mutex_);
  add(scanned_);
  add(analysed_);
  for (const auto& v : queue_) add(v);
  return out;
}

int CLocalComputer::CheckDestinationFolder(const std::u16string* path, bool quiet) {
  const std::u16string folder = path ? *path : Settings().DestinationFolder();
  const std::string folder8 = platform::Utf16ToUtf8(folder);
  const std::u16string caption = u"Error";
  platform::BlockDeviceTree tree;
  {
    std::lock_guard lock(mutex_);
    if (tree_) tree = *tree_;
  }
  bool unknown = false;
  for (const std::shared_ptr<CVolume>& volume : AnalysedVolumesForCheck()) {
    switch (MatchDestination(folder8, *volume, tree)) {
      case DeviceMatch::Different:
        break;
      case DeviceMatch::Same:
        if (!quiet)
          ShowUserMessage(u"The distination folder is on the same drive with the source. You should change the "
                          u"destination location for recovered files.",
                          caption, MessageIcon::Error);
        return 0;
      case DeviceMatch::Unknown:
        unknown = true;
        break;
    }
  }
  if (unknown) {
    if (quiet) return 0;
    Question q;
    q.kind = QuestionKind::DestinationUnknown;
    q.text = u"The drive of the destination folder can't be told apart from the source drive. Use this folder "
             u"anyway?";
    q.caption = GetLangString(157);
    q.buttons = Buttons::YesNo;
    q.icon = MessageIcon::Warning;
    q.detail = folder;
    if (AskUser(q).answer != Answer::Yes) return 0;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder8, ec);
  if (!ec && std::filesystem::is_directory(folder8, ec) && !ec) return 1;
  if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
  if (!quiet) {
    const std::u16string text = platform::Format(u"\nCan't create folder:\n\"%s\"\n\nError code: %d", folder, ec.value());
    Log().Error(u"%s", text);
    ShowUserMessage(text, caption, MessageIcon::Error);
  }
  return 0;
}

bool CLocalComputer::StartCreateImage(ImageJob& job) { return job.Start(); }

// ---- Recovery jobs ----------------------------------------------------------------------

bool CLocalComputer::InstallRecoveryJobs(std::shared_ptr<CRecovery> recovery, std::shared_ptr<CRecovery> tryOpen) {
  std::lock_guard lock(mutex_);
  if (recoveryJob_ || !recovery || !tryOpen) return false;
  recoveryJob_ = std::move(recovery);
  tryOpenJob_ = std::move(tryOpen);
  return true;
}

std::shared_ptr<CRecovery> CLocalComputer::RecoveryJob() const {
  std::lock_guard lock(mutex_);
  return recoveryJob_;
}

std::shared_ptr<CRecovery> CLocalComputer::TryOpenJob() const {
  std::lock_guard lock(mutex_);
  return tryOpenJob_;
}

// ---- Current volumes --------------------------------------------------------------------

std::shared_ptr<CVolume> CLocalComputer::SelectedVolume() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

void CLocalComputer::SetSelectedVolume(std::shared_ptr<CVolume> volume) {
  std::lock_guard lock(mutex_);
  selected_ = std::move(volume);
}

bool CLocalComputer::IsVolumeSelected() const {
  std::lock_guard lock(mutex_);
  return selected_ && selected_ != myComputer_ && selected_ != recycleBin_ && IsReadable(*selected_);
}

std::shared_ptr<CVolume> CLocalComputer::ScannedVolume() const {
  std::lock_guard lock(mutex_);
  return scanned_;
}

void CLocalComputer::SetScannedVolume(std::shared_ptr<CVolume> volume) {
  std::lock_guard lock(mutex_);
  scanned_ = std::move(volume);
}

std::shared_ptr<CVolume> CLocalComputer::AnalysedVolume() const {
  std::lock_guard lock(mutex_);
  return analysed_;
}

void CLocalComputer::SetAnalysedVolume(std::shared_ptr<CVolume> volume) {
  std::lock_guard lock(mutex_);
  analysed_ = std::move(volume);
}

std::shared_ptr<CVolume> CLocalComputer::VolumeOfHandle(std::int64_t handle) const {
  return VolumeOfStoreSerial(FoundObjectStore::SerialOfHandle(handle));
}

std::shared_ptr<CVolume> CLocalComputer::VolumeOfStoreSerial(std::uint32_t serial) const {
  if (serial == 0) return nullptr;
  std::vector<std::shared_ptr<CVolume>> candidates;
  {
    std::lock_guard lock(mutex_);
    candidates = {analysed_, scanned_, selected_, myComputer_, recycleBin_};
  }
  for (const auto& v : candidates)
    if (v && v->Store().Serial() == serial) return v;
  for (const auto& v : volumes_.Volumes())
    if (v && v->Store().Serial() == serial) return v;
  return nullptr;
}

void CLocalComputer::SetFileTypeDatabase(std::shared_ptr<IFileTypeLookup> database) {
  std::lock_guard lock(mutex_);
  fileTypes_ = std::move(database);
}

void CLocalComputer::SetBlockDeviceTree(platform::BlockDeviceTree tree) {
  std::lock_guard lock(mutex_);
  tree_ = std::move(tree);
}
