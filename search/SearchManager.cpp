#include "search/SearchManager.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/fs/FreeClusterMap.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "search/CompoundDocument.h"
#include "search/Searcher.h"
#include "search/StoreHitSink.h"

namespace {

constexpr std::int64_t kSector = 512;

// The process's first thread runs the user interface (and the tests): lowering it
// could never be undone without privilege.
bool OnMainThread() { return ::gettid() == ::getpid(); }

}  // namespace

CSearchManager::CSearchManager(std::shared_ptr<CVolume> volume, ScanProgress& progress, const AppSettings& settings,
                               const FileTypeDatabase& types, ISignatureHitSink* sink)
    : volume_(std::move(volume)),
      progress_(progress),
      threadsSetting_(settings.SearchThreads()),
      bufferSetting_(settings.SearchBufferSize()),
      index_(types),
      sink_(sink) {
  if (!sink_) {
    ownSink_ = std::make_unique<StoreHitSink>(volume_->Store());
    sink_ = ownSink_.get();
  }
  TakeGeometry();
}

CSearchManager::~CSearchManager() { DestroyWorkers(); }

bool CSearchManager::Running() const { return progress_.IsRunning(); }

std::int32_t CSearchManager::WorkerCount(std::int32_t setting) { return std::clamp(setting, 1, kMaxWorkers); }

std::size_t CSearchManager::BlockBytes(std::int32_t setting, std::int64_t clusterBytes, std::int32_t workers) {
  const std::int64_t cluster = std::max<std::int64_t>(clusterBytes, kSector);
  std::int64_t bytes = setting > 0 ? setting : AppSettings::kDefaultSearchBufferSize;
  const std::int64_t cap = std::int64_t(std::min(kMaxBlockBytes, kMaxBufferBytesTotal / std::size_t(WorkerCount(workers) + 1)));
  bytes = std::min(bytes, cap);
  // Whole clusters: a block that is not one would overlap the next (and find its
  // hits twice); one smaller than a cluster would never advance.
  bytes = bytes / cluster * cluster;
  return std::size_t(std::max(bytes, cluster));
}

void CSearchManager::LowerThreadPriority() { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19); }

void CSearchManager::TakeGeometry() {
  const VolumeGeometry g = volume_->Geometry();
  totalSectors_ = std::max<std::int64_t>(0, g.totalSectors);
  if (g.clusterBytes >= kSector && g.clusterBytes % kSector == 0) {
    clusterBytes_ = g.clusterBytes;
    totalClusters_ = std::max<std::int64_t>(0, g.totalClusters);
  } else {
    // No usable cluster size: search by sectors.
    clusterBytes_ = kSector;
    totalClusters_ = totalSectors_;
  }
  sectorsPerCluster_ = clusterBytes_ / kSector;
}

int CSearchManager::RunSearch() {
  try {
    busyMs_.store(0);
    if (!volume_->OpenDrive()) return -1;  // logged by the volume
    TakeGeometry();
    progress_.total.store(freeMap_ ? freeMap_->FreeClusters() : totalClusters_);
    Log().InfoId(139);

    const std::int32_t count = WorkerCount(threadsSetting_);
    blockBytes_ = BlockBytes(bufferSetting_, clusterBytes_, count);
    blockClusters_ = std::int64_t(blockBytes_) / clusterBytes_;
    spare_.buffer = SectorBuffer(blockBytes_);
    if (spare_.buffer.size() < blockBytes_) {
      Log().Error(u"CSearchManager.RunSearch: Can't allocate memory");
      return -1;
    }
    {
      std::lock_guard lock(handoff_);
      nextPosition_ = std::clamp<std::int64_t>(progress_.searchStart.load(), 0, totalClusters_);
      endPosition_ = totalClusters_;
      spareReady_ = false;
      workersRead_ = count >= 2;
    }
    {
      std::lock_guard lock(gate_);
      parsed_.clear();
      nextDelivery_ = std::clamp<std::int64_t>(progress_.searchStart.load(), 0, totalClusters_);
      coverStart_ = coverEnd_ = -1;
    }
    {
      std::lock_guard lock(walkedMutex_);
      walked_.clear();
    }
    progress_.current.store(ProgressAt(std::clamp<std::int64_t>(progress_.searchStart.load(), 0, totalClusters_)));
    for (std::int32_t i = 0; i < count; ++i) AddWorker();
    if (workers_.empty()) {
      Log().Error(u"CSearchManager.RunSearch: no search thread could be started");
      return -1;
    }
    if (!OnMainThread()) LowerThreadPriority();

    // Read the next block into the spare one while the workers parse theirs (and,
    // with several workers, read blocks of their own).
    while (Running()) {
      std::int64_t position;
      {
        std::lock_guard lock(handoff_);
        position = ClaimLocked();
      }
      if (position < 0) break;
      spare_.position = position;
      if (!ReadAndReport(spare_)) {
        std::vector<CSearcher::Hit> none;
        BlockParsed(position, none);
        continue;
      }
      if (!HandOverSpare()) break;
    }
    PostToUi(WM_SEARCH_PROGRESS, 0, 0);
    DestroyWorkers();
    {
      std::lock_guard lock(gate_);
      DeliverParsedLocked(true);
    }
    return 0;
  } catch (...) {
    Log().Error(u"CSearchManager.RunSearch.except");
    DestroyWorkers();
    std::lock_guard lock(gate_);
    DeliverParsedLocked(true);
    return -1;
  }
}

void CSearchManager::BlockParsed(std::int64_t position, std::vector<CSearcher::Hit>& hits) {
  std::lock_guard lock(gate_);
  std::vector<CSearcher::Hit>& slot = parsed_[position];
  slot.swap(hits);
  hits.clear();
  DeliverParsedLocked(false);
}

void CSearchManager::DeliverParsedLocked(bool all) {
  while (!parsed_.empty()) {
    auto it = parsed_.begin();
    if (!all && it->first > nextDelivery_) return;
    for (const CSearcher::Hit& hit : it->second) DeliverInOrder(hit);
    nextDelivery_ = std::max(nextDelivery_, it->first + blockClusters_);
    parsed_.erase(it);
  }
}

void CSearchManager::DeliverInOrder(const CSearcher::Hit& hit) {
  const FoundObject& r = hit.record;
  // Boot sectors and file-system structures go on: the volume decides about them.
  if (r.typeId > 29 && r.offset > coverStart_ && r.offset < coverEnd_) {
    innerHits_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  DeliverHit(r);
  if (hit.walked && r.offset + r.size > coverEnd_) {
    coverStart_ = r.offset;
    coverEnd_ = r.offset + r.size;
  }
}

void CSearchManager::NoteWalked(std::int64_t start, std::int64_t end) {
  constexpr std::size_t kKept = 4096;
  std::lock_guard lock(walkedMutex_);
  std::int64_t& e = walked_[start];
  e = std::max(e, end);
  if (walked_.size() > kKept) walked_.erase(walked_.begin());
}

bool CSearchManager::InsideWalked(std::int64_t offset) {
  std::lock_guard lock(walkedMutex_);
  auto it = walked_.lower_bound(offset);
  if (it == walked_.begin()) return false;
  --it;
  return offset < it->second;
}

std::int64_t CSearchManager::ClaimLocked() {
  if (nextPosition_ >= endPosition_) return -1;
  const std::int64_t position = nextPosition_;
  nextPosition_ += blockClusters_;
  return position;
}

bool CSearchManager::ReadAndReport(CSearcher::Block& block) {
  const auto began = std::chrono::steady_clock::now();
  const std::int64_t bytes = ReadBlock(block);
  busyMs_.fetch_add(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count());
  if (!Running()) return false;
  std::int64_t reached;
  if (bytes == 0) {
    if (block.position * sectorsPerCluster_ >= totalSectors_) {
      // Past the sectors the volume has: nothing more to read.
      std::lock_guard lock(handoff_);
      endPosition_ = std::min(endPosition_, block.position);
      return false;
    }
    // No sector of the block could be read (logged): the rest of the volume is
    // still searched.
    reached = block.position + blockClusters_;
  } else {
    reached = block.position + block.runs.back().end / sectorsPerCluster_;
  }
  // Blocks may end out of order: the position only moves forward.
  reached = ProgressAt(std::min(totalClusters_, reached));
  std::int64_t current = progress_.current.load();
  while (current < reached && !progress_.current.compare_exchange_weak(current, reached)) {
  }
  PostToUi(WM_SEARCH_PROGRESS, 0, 0);
  return bytes != 0;
}

std::int64_t CSearchManager::ProgressAt(std::int64_t cluster) const {
  return freeMap_ ? freeMap_->FreeClustersBefore(cluster * sectorsPerCluster_) : cluster;
}

bool CSearchManager::HandOverSpare() {
  std::unique_lock lock(handoff_);
  spareReady_ = true;
  work_.notify_one();
  while (spareReady_ && Running()) taken_.wait_for(lock, kIdleWait);
  if (!spareReady_) return true;
  spareReady_ = false;  // stopped: the block is left unparsed
  return false;
}

int CSearchManager::AddWorker() {
  if (workers_.size() >= std::size_t(kMaxWorkers)) return 0;
  try {
    const std::size_t bytes = blockBytes_;
    auto worker = std::make_unique<CSearcher>(*this, std::int32_t(workers_.size()), bytes);
    if (worker->CurrentBlock().buffer.size() < bytes) {
      Log().Error(u"CSearchManager.AddWorker: Can't allocate memory");
      return 0;
    }
    if (!worker->Start()) {
      Log().Error(u"CSearchManager.AddWorker: Can't start thread");
      return 0;
    }
    workers_.push_back(std::move(worker));
    return 1;
  } catch (...) {
    Log().Error(u"CSearchManager.AddWorker: Can't start thread");
    return 0;
  }
}

void CSearchManager::DestroyWorkers() {
  {
    std::lock_guard lock(handoff_);
    for (const auto& w : workers_) w->stop_ = true;
  }
  work_.notify_all();
  workers_.clear();  // each joins its thread after the block in hand
}

std::int64_t CSearchManager::ReadBlock(CSearcher::Block& block) {
  std::vector<CSearcher::ReadRun>& runs = block.runs;
  runs.clear();
  const std::int64_t firstSector = block.position * sectorsPerCluster_;
  if (firstSector < 0 || firstSector >= totalSectors_) return 0;
  const std::int64_t count =
      std::min<std::int64_t>(std::int64_t(block.buffer.size()) / kSector, totalSectors_ - firstSector);

  // What to read: the whole block, or only its free sectors.
  std::vector<CFreeClusterMap::Run> wanted;
  if (freeMap_) {
    freeMap_->FreeRuns(firstSector, firstSector + count, wanted);
    if (wanted.empty()) return 0;  // nothing free here: nothing to read
  } else {
    wanted.push_back({firstSector, firstSector + count});
  }
  auto addRun = [&runs](std::int64_t first, std::int64_t end) {
    if (!runs.empty() && runs.back().end == first)
      runs.back().end = end;
    else
      runs.push_back({first, end});
  };

  SectorBuffer& buffer = block.buffer;
  for (const CFreeClusterMap::Run& w : wanted) {
    if (!Running()) break;
    const std::int64_t rel = w.first - firstSector;
    const std::int64_t n = w.end - w.first;
    // Each run is read into its place in the block's buffer; what of it fails is
    // salvaged sector by sector, and the search goes on at the next readable sector.
    // Unreadable sectors stay zero and are not parsed.
    volume_->SalvageSectors(buffer.data() + rel * kSector, w.first, n, u"CSearchManager.ReadBlock: Can't read sector at: %I64d",
                            [&](std::int64_t a, std::int64_t b) { addRun(rel + a, rel + b); });
  }
  std::int64_t sectors = 0;
  for (const CSearcher::ReadRun& r : runs) sectors += r.end - r.first;
  if (sectors == 0)
    Log().Error(u"CSearchManager.ReadBlock: Can't read sectors %I64d to %I64d, block skipped", firstSector,
                firstSector + count - 1);
  return sectors * kSector;
}

void CSearchManager::DeliverHit(const FoundObject& record) {
  std::lock_guard lock(hitMutex_);
  try {
    sink_->OnSignatureHit(record);
  } catch (...) {
  }
}

std::int32_t CSearchManager::ProbeCompoundDocument(const CSearcher& worker, FoundObject& record,
                                                   std::size_t unitOffset) {
  const SectorBuffer& buffer = worker.CurrentBlock().buffer;
  if (unitOffset >= buffer.size()) {
    record.size = -1;
    return 500;
  }
  const std::size_t n = std::min<std::size_t>(kUnitSize, buffer.size() - unitOffset);
  return ProbeCompoundDocument(platform::Bytes(buffer.data() + unitOffset, n), record);
}

std::int32_t CSearchManager::ProbeCompoundDocument(platform::Bytes unit, FoundObject& record) {
  try {
    CompoundDocumentHeader header;
    if (!ReadCompoundDocumentHeader(unit, header)) {
      record.size = -1;
      return 500;
    }
    record.size = header.size;
    if (record.offset < 0 || record.offset % kSector != 0 ||
        header.directoryOffset > std::numeric_limits<std::int64_t>::max() - record.offset)
      return 500;
    const std::int64_t first = (record.offset + header.directoryOffset) / kSector;
    if (first >= totalSectors_) return 500;
    const std::int64_t count = std::min<std::int64_t>(kCompoundDirectoryBytes / kSector, totalSectors_ - first);
    std::vector<std::uint8_t> directory(std::size_t(count * kSector));
    const std::int64_t got = volume_->ReadSectors(directory.data(), first, count);
    if (got < std::int64_t(kCompoundEntryBytes)) return 500;
    const std::int32_t id = CompoundDocumentSubtype(platform::Bytes(directory.data(), std::size_t(got)));
    if (id == 500) return 500;
    const std::uint32_t key = index_.CompoundSubtypeKey(id);
    if (key == 0) return 500;  // no row stands for it ("BodyText")
    record.typeKey = key;
    return id;
  } catch (...) {
    return 500;
  }
}
