#include "search/Searcher.h"

#include <algorithm>
#include <new>

#include "engine/records/ProgramLog.h"
#include "engine/store/FoundObject.h"
#include "engine/volume/Volume.h"
#include "search/FormatReader.h"
#include "search/FormatWalk.h"
#include "search/HeaderCheck.h"
#include "search/SearchManager.h"

CSearcher::CSearcher(CSearchManager& manager, std::int32_t index, std::size_t bufferBytes)
    : manager_(manager), index_(index), bufferBytes_(bufferBytes) {
  block_.buffer = SectorBuffer(bufferBytes);
  scan_.candidates.reserve(manager_.Index().size());
}

CSearcher::~CSearcher() {
  {
    std::lock_guard lock(manager_.handoff_);
    stop_ = true;
  }
  manager_.work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool CSearcher::Start() {
  try {
    thread_ = std::thread([this] { ThreadLoop(); });
    return true;
  } catch (...) {
    return false;
  }
}

void CSearcher::ThreadLoop() {
  CSearchManager::LowerThreadPriority();
  CSearchManager& m = manager_;
  std::unique_lock lock(m.handoff_);
  for (;;) {
    // A block the manager has read comes first; without one a worker of several
    // reads the next block itself.
    std::int64_t claimed = -1;
    m.work_.wait(lock, [&] {
      if (stop_ || m.spareReady_) return true;
      if (m.workersRead_ && m.Running()) claimed = m.ClaimLocked();
      return claimed >= 0;
    });
    if (stop_ && claimed < 0) break;
    bool parse = true;
    if (claimed < 0) {
      std::swap(block_, m.spare_);
      m.spareReady_ = false;
      m.taken_.notify_one();
      lock.unlock();
    } else {
      lock.unlock();
      block_.position = claimed;
      block_.runs.clear();
      parse = m.ReadAndReport(block_);
    }
    blockHits_.clear();
    if (parse) {
      try {
        ParseBlock();
      } catch (...) {
        Log().Error(u"CSearcher.ParseBlock.except");
      }
    }
    HandInBlock();
    lock.lock();
  }
}

void CSearcher::ParseBlock() {
  const std::uint8_t* data = block_.buffer.data();  // taken after the read: a time-out renews it
  const SignatureIndex& index = manager_.Index();
  auto keepGoing = [this] { return manager_.Running(); };
  constexpr std::size_t kUnit = CSearchManager::kUnitSize;
  for (const ReadRun& run : block_.runs) {
    // The units' bytes up to the end of the run they lie in: no test sees a byte
    // that was not read from the volume.
    const platform::Bytes bytes(data + std::size_t(run.first) * kUnit, std::size_t(run.end - run.first) * kUnit);
    index.PrepareRun(bytes, scan_);
    for (std::int64_t unit = run.first; unit < run.end; ++unit) {
      if (!manager_.Running()) return;
      const std::size_t at = std::size_t(unit - run.first) * kUnit;
      unitHits_.clear();
      index.MatchUnit(bytes, at, scan_, keepGoing, [&](std::size_t entry) { unitHits_.push_back(entry); });
      if (!unitHits_.empty()) TakeUnitHits(unit, bytes.subspan(at));
    }
  }
}

void CSearcher::HandInBlock() {
  try {
    manager_.BlockParsed(block_.position, blockHits_);
  } catch (...) {
    Log().Error(u"CSearcher.HandInBlock.except");
  }
  blockHits_.clear();
}

void CSearcher::TakeUnitHits(std::int64_t unit, platform::Bytes candidate) {
  const SignatureIndex& index = manager_.Index();
  const std::int64_t offset = block_.position * manager_.ClusterBytes() + unit * CSearchManager::kUnitSize;
  const std::int64_t readable = manager_.VolumeBytes() - offset;
  CVolume* volume = manager_.Volume().get();
  auto reader = [&](std::int64_t limit) {
    return FormatReader(
        candidate, readable, limit,
        [volume, offset](std::int64_t position, std::uint8_t* out, std::size_t length) -> std::int64_t {
          return volume->ReadSectors(out, (offset + position) / CSearchManager::kUnitSize,
                                     std::int64_t(length) / CSearchManager::kUnitSize);
        },
        [this] { return manager_.Running(); }, walkScratch_);
  };
  // Inside a file walked before (by this worker, or another): the hits there are
  // not files of their own; they go on unwalked and the manager drops them.
  const bool inner = (offset > walkedStart_ && offset < walkedEnd_) || manager_.InsideWalked(offset);

  constexpr std::size_t kKinds = std::size_t(FormatKind::Gzip) + 1;
  FormatEnd walked[kKinds];
  bool tried[kKinds] = {};
  std::size_t keep = 0;
  for (std::size_t i = 0; i < unitHits_.size(); ++i) {
    const std::int32_t typeId = index[unitHits_[i]].typeId;
    FormatReader header = reader(std::int64_t(1) << 20);
    if (!HeaderIsPossible(typeId, header)) continue;
    const FormatKind kind = FormatKindOfType(typeId);
    if (!inner && kind != FormatKind::None && !tried[std::size_t(kind)]) {
      tried[std::size_t(kind)] = true;
      FormatReader r = reader(FormatMaxBytes(kind));
      walked[std::size_t(kind)] = WalkFormat(kind, r);
    }
    unitHits_[keep++] = unitHits_[i];
  }
  unitHits_.resize(keep);

  // The TIFF rows share one signature: a walked TIFF keeps only the row that its
  // Make tag names (else the TIFF row, else the last of them).
  const FormatEnd& tiff = walked[std::size_t(FormatKind::Tiff)];
  std::size_t tiffEntry = SIZE_MAX;
  if (tiff.Found()) {
    std::size_t named = SIZE_MAX, plain = SIZE_MAX;
    for (std::size_t e : unitHits_) {
      const std::int32_t id = index[e].typeId;
      if (FormatKindOfType(id) != FormatKind::Tiff) continue;
      if (id == tiff.typeId && named == SIZE_MAX) named = e;
      if (id == 87) plain = e;
      tiffEntry = e;
    }
    if (plain != SIZE_MAX) tiffEntry = plain;
    if (named != SIZE_MAX) tiffEntry = named;
  }
  for (std::size_t e : unitHits_) {
    const FormatKind kind = FormatKindOfType(index[e].typeId);
    if (kind == FormatKind::Tiff && tiffEntry != SIZE_MAX && e != tiffEntry) continue;
    const FormatEnd& end = walked[std::size_t(kind)];
    if (kind != FormatKind::None && end.Found() && offset + end.end > walkedEnd_) {
      walkedStart_ = offset;
      walkedEnd_ = offset + end.end;
      manager_.NoteWalked(offset, walkedEnd_);
    }
    MakeHit(e, unit, candidate, kind != FormatKind::None && end.Found() ? end.end : -1);
  }
}

void CSearcher::MakeHit(std::size_t entry, std::int64_t unit, platform::Bytes candidate, std::int64_t end) {
  const SignatureIndex::Entry& type = manager_.Index()[entry];
  std::unique_ptr<FoundObject> record(new (std::nothrow) FoundObject());
  if (!record) {
    Log().Error(u"CSearcher.ParseBlock: Can't allocate memory");
    return;
  }
  const std::int64_t clusterBytes = manager_.ClusterBytes();
  record->offset = block_.position * clusterBytes + unit * CSearchManager::kUnitSize;
  record->firstCluster = record->offset / clusterBytes;
  record->typeId = static_cast<std::int16_t>(type.typeId);
  record->typeKey = type.typeKey;
  record->size = -1;
  record->flags = OBJ_DELETED | OBJ_RAW;

  // Fix-ups, each by the record's type as it stands.
  const platform::LeView bytes(candidate);
  bool sizeFromFormat = false;
  if (record->typeId == 500 && type.storageFile) {
    record->typeId = static_cast<std::int16_t>(
        manager_.ProbeCompoundDocument(*this, *record, std::size_t(unit) * CSearchManager::kUnitSize));
    sizeFromFormat = true;
  }
  if (record->typeId == 525) {
    record->size = bytes.U32(2);
    sizeFromFormat = true;
  }
  if (record->typeId == 524) {
    record->size = std::int64_t(bytes.U32(4)) + 2048;
    sizeFromFormat = true;
  }
  // The end that the format's own structure gives.
  const bool walked = end > 0;
  if (walked) {
    record->size = end;
    sizeFromFormat = true;
  }
  // A size the header gives is kept (the store's offset index leaves it alone) when
  // it is one a file on this volume can have.
  if (sizeFromFormat && record->size > 0 && record->size <= manager_.VolumeBytes() - record->offset)
    record->origin |= ORIGIN_SIZE_FROM_FORMAT;
  if (record->typeId == 526) {
    // The signature stands 32 KB into the file: a hit nearer the volume's start
    // has no file before it.
    record->offset -= 0x8000;
    if (record->offset < 0) return;
  }
  // A size the header gives that runs past the volume's end is cut there: the bytes
  // beyond are not on this volume, and nothing should try to read them as the file's.
  const std::int64_t volumeBytes = manager_.VolumeBytes();
  if (record->size > volumeBytes - record->offset) record->size = std::max<std::int64_t>(0, volumeBytes - record->offset);
  if (record->typeId == 25) {
    record->id = -1;
    record->flags = 0x200;
  }
  blockHits_.push_back({*record, walked && record->size == end});
  lastTypeId_ = record->typeId;
}
