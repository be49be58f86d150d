#pragma once
// The run state shared by the scans, the recovery and the user interface. Each
// field is written by one side and read by the other, so every field is atomic;
// the scanned volume is kept by a shared reference under a small lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CVolume;
class CLocalComputer;

class ScanProgress {
 public:
  ScanProgress() = default;
  ScanProgress(const ScanProgress&) = delete;
  ScanProgress& operator=(const ScanProgress&) = delete;

  // 1 while a scan runs; every scan loop ends when it is 0.
  std::atomic<std::int32_t> running{0};
  // Set to 1 when a file-system pass starts.
  std::atomic<std::int32_t> passMarker{0};
  // The clusters the running pass covers, and the position it has reached.
  std::atomic<std::int64_t> total{0};
  std::atomic<std::int64_t> current{0};
  // The free clusters of the volume the signature pass searches, as its clusters
  // bitmap gives them (all its clusters when no file-system pass filled it); set
  // at the pass's start. A pass over the free clusters only counts total and
  // current in free clusters.
  std::atomic<std::int64_t> freeClusters{0};
  // The cluster at which the signature pass begins.
  std::atomic<std::int64_t> searchStart{0};
  // The sectors the running pass could not read (zero-filled in what it read):
  // counted from BeginUnreadableCount on, for the reads of that volume while a
  // scan runs.
  std::atomic<std::int64_t> unreadable{0};
  void BeginUnreadableCount(const CVolume* volume) {
    unreadable.store(0);
    unreadableVolume_.store(volume);
  }
  void AddUnreadable(const CVolume* volume, std::int64_t sectors) {
    if (sectors > 0 && IsRunning() && volume && unreadableVolume_.load() == volume) unreadable.fetch_add(sectors);
  }
  // 1 while a recovery copies.
  std::atomic<std::int32_t> recoveryRunning{0};
  std::atomic<CLocalComputer*> owner{nullptr};

  bool IsRunning() const { return running.load(std::memory_order_relaxed) != 0; }

  // The volume being scanned.
  void SetVolume(std::shared_ptr<CVolume> volume);
  std::shared_ptr<CVolume> Volume() const;

 private:
  std::atomic<const CVolume*> unreadableVolume_{nullptr};
  mutable std::mutex mutex_;
  std::shared_ptr<CVolume> volume_;
};

// The program's run state (held by the application object; a process-wide block
// until it sets its own).
ScanProgress& GetScanProgress();
void SetScanProgress(ScanProgress* progress);
