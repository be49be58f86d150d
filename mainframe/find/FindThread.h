#pragma once
// CFindThread: the find pane's worker. It visits every record of a volume's store
// in the order they were added (records added meanwhile too), skips the special
// nodes (negative ids), and hands the handles of the records that the criteria
// and the file filter accept to its batch callback, one batch per slice.
//
// The store is read in slices of at most kSliceRecords records, each under its own
// ReadView, so an analysis that adds to the same store never waits long for the
// lock. The stop flag is tested between records; a stop keeps what was handed
// over. The callbacks run on the worker: the user interface posts what they carry
// to its own thread. The volume is held (shared) for the walk.
//
// Start and Stop on one thread (the user interface's). Stop only asks; Join waits
// for the end; a new Start, and the destructor, join the previous walk first. A
// clear of the walked volume's store (CVolume::ClearFoundObjects) stops and joins
// the walk first.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "engine/store/FileFilter.h"
#include "engine/store/FoundObjectStore.h"
#include "mainframe/find/FindCriteria.h"

class CVolume;

class CFindThread {
 public:
  static constexpr std::size_t kSliceRecords = 4096;
  // The worker's nice value (the lowest priority).
  static constexpr int kNice = 19;

  // Handles of accepted records, in store order.
  using BatchFn = std::function<void(std::vector<std::int64_t> handles)>;
  // Called once at the end, after the last batch: how many records were accepted
  // and whether a stop ended the walk early.
  using DoneFn = std::function<void(std::size_t matches, bool stopped)>;

  CFindThread() = default;
  ~CFindThread();
  CFindThread(const CFindThread&) = delete;
  CFindThread& operator=(const CFindThread&) = delete;

  // Joins a previous walk, then starts one over `volume`'s store with copies of
  // the criteria and the filter. False (nothing started) without a volume.
  bool Start(std::shared_ptr<CVolume> volume, const FindCriteria& criteria, const FileFilter& filter,
             BatchFn onBatch, DoneFn onDone);
  // Asks the walk to end between two records.
  void Stop() { stop_.store(true); }
  // Waits for the walk to end (Stop first to end it early).
  void Join();
  void StopAndJoin() {
    Stop();
    Join();
  }
  // True from Start until the walk has ended (its done callback has returned).
  bool IsRunning() const { return running_.load(); }

  // The walk itself on the calling thread: the number of records accepted.
  static std::size_t Walk(const FoundObjectStore& store, const FindCriteria& criteria, const FileFilter& filter,
                          const std::atomic<bool>& stop, const BatchFn& onBatch);

 private:
  std::thread thread_;
  // The volume walked last, and this walk's registration as a user of its store.
  const CVolume* walking_ = nullptr;
  int storeUser_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
};
