#pragma once
// The signature search: the sector-by-sector pass that finds files no file system
// lists any more. RunSearch runs on the calling thread (the volume's analysis
// thread): it reads the volume from the search start to its end in blocks of whole
// clusters (2 MB by default) and hands each block to an idle worker (CSearcher, 1
// to 64 of them, each on its own thread at the lowest priority), which tests every
// 512-byte unit against every searched file type and hands each hit to the hit
// sink. The next block is read into a spare buffer while the workers parse, and
// swapped with the buffer of the worker it goes to, so reading overlaps parsing
// even with one worker. With two workers or more, a worker that finds no block
// read for it takes the next block position and reads that block itself: one
// thread's reads could not keep several workers busy. Every block is read and
// parsed once, whoever reads it; the hits are the same. WM_SEARCH_PROGRESS is
// posted after each block read and once at the end; ScanProgress's total and
// current carry the position in clusters (current: the end of the farthest block
// read).
//
// The search works from the settings snapshot it is given and never writes
// AppSettings. It never sets the running flag (the pass that runs it does) and
// ends when the flag clears: the workers finish the blocks in hand, stopping at
// the next unit, and are joined; none is ever killed. It opens the volume's device
// if needed and never closes it (another reader may share it; the volume's last
// user closes it).
//
// Hits reach the sink one at a time (the search serialises them), from the worker
// threads, in the order of their blocks: a block's records wait until every block
// before it is parsed, so a file hit inside a file whose end its format gave (a
// picture in a tar, a thumbnail in a photo) is known for one and dropped, with one
// worker or many. Without a sink of the caller's, StoreHitSink adds them to the searched
// volume's store; the analysis plugs CVolume::OnSignatureHit in (see
// SignatureHitSink.h).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ByteOrder.h"
#include "search/Searcher.h"
#include "search/SignatureIndex.h"

class AppSettings;
class CFreeClusterMap;
class CVolume;
class FileTypeDatabase;
class ISignatureHitSink;
class ScanProgress;
class StoreHitSink;
struct FoundObject;

class CSearchManager {
 public:
  static constexpr std::int32_t kMaxWorkers = 64;
  static constexpr std::int32_t kUnitSize = 512;
  // The block buffer: whole clusters, at least one, at most 64 MB each and 256 MB
  // for all of them together (one per worker and the one being read).
  static constexpr std::size_t kMaxBlockBytes = std::size_t(64) << 20;
  static constexpr std::size_t kMaxBufferBytesTotal = std::size_t(256) << 20;
  // How long the dispatch waits for an idle worker before it looks at the running
  // flag again.
  static constexpr std::chrono::milliseconds kIdleWait{3000};

  // `settings` is the pass's snapshot (SearchThreads, SearchBufferSize); `types`
  // gives the searched types, copied now. `sink` (not owned) receives the hits;
  // null: a StoreHitSink over the volume's store.
  CSearchManager(std::shared_ptr<CVolume> volume, ScanProgress& progress, const AppSettings& settings,
                 const FileTypeDatabase& types, ISignatureHitSink* sink = nullptr);
  ~CSearchManager();
  CSearchManager(const CSearchManager&) = delete;
  CSearchManager& operator=(const CSearchManager&) = delete;

  // Searches only the free clusters `map` gives (see CFreeClusterMap): the blocks
  // are still whole clusters from the search start on, but only their free sectors
  // are read and tested, and total and current count free clusters. Set before
  // RunSearch; null (the default) searches every sector.
  void SetFreeClusterMap(std::shared_ptr<const CFreeClusterMap> map) { freeMap_ = std::move(map); }

  // The whole search on the calling thread. 0 when it ran to its end or was
  // stopped; -1 when it could not start (the device does not open, no worker thread
  // starts).
  int RunSearch();

  // Makes a worker with its buffer and thread: 1, or 0 when either failed (the
  // worker is then not added).
  int AddWorker();
  // Fills a block's buffer from its position and notes the sector runs read: the
  // bytes read, 0 when no sector could be read.
  std::int64_t ReadBlock(CSearcher::Block& block);
  // Reads a block claimed for `block.position` and reports the progress: true
  // when it holds sectors to parse. Any thread.
  bool ReadAndReport(CSearcher::Block& block);
  // Stops every worker, lets it finish the block in hand and joins it.
  void DestroyWorkers();

  // Tells a hit of the compound-document container apart: reads the header at the
  // unit, sets the record's size (-1 when the header is not one of a container),
  // reads the directory from the volume and returns the type id of the format its
  // stream names give (500 when none does, on any failure, or when no type row
  // stands for that format); the record's typeKey is set to the row's. `record`
  // holds the hit as made (offset, typeKey of the container type).
  std::int32_t ProbeCompoundDocument(const CSearcher& worker, FoundObject& record, std::size_t unitOffset);
  std::int32_t ProbeCompoundDocument(platform::Bytes unit, FoundObject& record);

  // Hands a hit to the sink, one at a time; a throwing sink is swallowed.
  void DeliverHit(const FoundObject& record);
  // A worker's records of the block at `position` (taken; the vector is left
  // empty). The records reach the sink in block order, once every block before
  // theirs is in, whichever worker parsed it: so a file's end is known before any
  // hit after its start is looked at, with one worker or many. A file hit that lies
  // inside a file whose format walk gave its end is not a file and is dropped.
  void BlockParsed(std::int64_t position, std::vector<CSearcher::Hit>& hits);
  // File hits dropped because they lie inside a walked file.
  std::int64_t InnerHits() const { return innerHits_.load(); }
  // The files the workers have walked to their ends, so that no worker walks again
  // from a hit inside one (a tar's members, with several workers, fall to blocks of
  // every worker). Only saves work: what is a file is decided in block order.
  void NoteWalked(std::int64_t start, std::int64_t end);
  bool InsideWalked(std::int64_t offset);

  // The worker count for a SearchThreads setting: 1 to 64.
  static std::int32_t WorkerCount(std::int32_t setting);
  // The block size for a SearchBufferSize setting (0: 2,097,152 bytes), the
  // volume's cluster size and the worker count: clamped, then whole clusters, at
  // least one.
  static std::size_t BlockBytes(std::int32_t setting, std::int64_t clusterBytes, std::int32_t workers);
  // Lowers the calling thread to the lowest priority (nice 19). RunSearch lowers
  // its own thread too, unless it is the process's first thread (the user
  // interface's, or a test's): that could never be raised again.
  static void LowerThreadPriority();

  bool Running() const;
  const SignatureIndex& Index() const { return index_; }
  ISignatureHitSink& Sink() const { return *sink_; }
  const std::shared_ptr<CVolume>& Volume() const { return volume_; }
  std::int64_t ClusterBytes() const { return clusterBytes_; }
  std::int64_t VolumeBytes() const { return totalSectors_ * 512; }
  std::size_t WorkerTotal() const { return workers_.size(); }
  std::int64_t BusyMilliseconds() const { return busyMs_.load(); }

 private:
  friend class CSearcher;
  void TakeGeometry();
  // The next block position to read, or -1 when none is left. Under handoff_.
  std::int64_t ClaimLocked();
  // Hands the spare block to a worker; false when the search stops first.
  bool HandOverSpare();
  // What current says once the clusters before `cluster` are searched.
  std::int64_t ProgressAt(std::int64_t cluster) const;
  // Delivers the parsed blocks that are next in order (all of them with `all`, at
  // the end). Under gate_.
  void DeliverParsedLocked(bool all);
  void DeliverInOrder(const CSearcher::Hit& hit);

  // Hand-off between the manager and its workers, guarded by handoff_.
  std::mutex handoff_;
  std::condition_variable work_;   // a worker may go on: a spare block, or stop
  std::condition_variable taken_;  // the manager may go on: the spare was taken
  std::int64_t nextPosition_ = 0;  // clusters: the next block to claim
  std::int64_t endPosition_ = 0;   // clusters: no block is claimed from here on
  bool spareReady_ = false;        // spare_ holds a block read for a worker
  bool workersRead_ = false;       // workers read blocks themselves (two or more)
  std::atomic<std::int64_t> busyMs_{0};
  std::vector<std::unique_ptr<CSearcher>> workers_;
  // The block the manager reads, handed to the next idle worker in exchange for its own.
  CSearcher::Block spare_;
  std::size_t blockBytes_ = 0;
  std::int64_t blockClusters_ = 1;
  std::shared_ptr<CVolume> volume_;
  std::shared_ptr<const CFreeClusterMap> freeMap_;

  ScanProgress& progress_;
  const std::int32_t threadsSetting_;
  const std::int32_t bufferSetting_;
  const SignatureIndex index_;
  std::unique_ptr<StoreHitSink> ownSink_;
  ISignatureHitSink* sink_ = nullptr;
  std::mutex hitMutex_;

  // Blocks parsed but not yet delivered, by position; the next position to deliver;
  // the walked file that reaches furthest among those delivered. Under gate_.
  std::mutex gate_;
  std::map<std::int64_t, std::vector<CSearcher::Hit>> parsed_;
  std::int64_t nextDelivery_ = 0;
  std::int64_t coverStart_ = -1, coverEnd_ = -1;
  std::atomic<std::int64_t> innerHits_{0};
  // Walked files by start (the latest few thousand), under walkedMutex_.
  std::mutex walkedMutex_;
  std::map<std::int64_t, std::int64_t> walked_;

  // The volume's geometry when the search starts.
  std::int64_t clusterBytes_ = 512;
  std::int64_t sectorsPerCluster_ = 1;  // 512-byte sectors
  std::int64_t totalClusters_ = 0;
  std::int64_t totalSectors_ = 0;
};
