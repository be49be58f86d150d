#include "engine/records/ScanProgress.h"

#include <utility>

void ScanProgress::SetVolume(std::shared_ptr<CVolume> volume) {
  std::shared_ptr<CVolume> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(volume_, std::move(volume));
  }
  // The old reference may be the last one: let it go outside the lock.
}

std::shared_ptr<CVolume> ScanProgress::Volume() const {
  std::lock_guard lock(mutex_);
  return volume_;
}

namespace {
std::atomic<ScanProgress*> g_progress{nullptr};
}

ScanProgress& GetScanProgress() {
  static ScanProgress fallback;
  ScanProgress* p = g_progress.load();
  return p ? *p : fallback;
}

void SetScanProgress(ScanProgress* progress) { g_progress.store(progress); }
