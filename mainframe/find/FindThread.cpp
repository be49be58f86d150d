#include "mainframe/find/FindThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <utility>

#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"

CFindThread::~CFindThread() {
  if (storeUser_) CVolume::RemoveStoreUser(storeUser_);
  StopAndJoin();
}

void CFindThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool CFindThread::Start(std::shared_ptr<CVolume> volume, const FindCriteria& criteria, const FileFilter& filter,
                        BatchFn onBatch, DoneFn onDone) {
  StopAndJoin();
  if (!volume) return false;
  if (!storeUser_) {
    CVolume::StoreUser user;
    user.release = [this](CVolume& cleared) {
      if (walking_ == &cleared) StopAndJoin();
    };
    storeUser_ = CVolume::AddStoreUser(std::move(user));
  }
  walking_ = volume.get();
  stop_.store(false);
  running_.store(true);
  thread_ = std::thread([this, volume = std::move(volume), criteria, filter, onBatch = std::move(onBatch),
                         onDone = std::move(onDone)] {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice);
    std::size_t matches = 0;
    try {
      matches = Walk(volume->Store(), criteria, filter, stop_, onBatch);
    } catch (...) {
      Log().Error(u"FindThread.FatalError");
    }
    const bool stopped = stop_.load();
    if (onDone) onDone(matches, stopped);
    running_.store(false);
  });
  return true;
}

std::size_t CFindThread::Walk(const FoundObjectStore& store, const FindCriteria& criteria, const FileFilter& filter,
                              const std::atomic<bool>& stop, const BatchFn& onBatch) {
  std::size_t matches = 0;
  std::vector<std::int64_t> batch;
  std::size_t next = 0;
  for (;;) {
    {
      // One slice under one read lock; the count is read again for each slice, so
      // records added meanwhile are visited too.
      const FoundObjectStore::ReadView view = store.Read();
      const std::size_t count = view.Count();
      if (next >= count) break;
      const std::size_t end = std::min(count, next + kSliceRecords);
      for (; next < end; ++next) {
        if (stop.load(std::memory_order_relaxed)) break;
        const FoundObject* record = view.At(next);
        if (!record || record->id < 0 || record->IsDevice()) continue;
        if (!criteria.FilterFoundItem(*record) || filter.IsHidden(*record)) continue;
        const std::int64_t handle = view.HandleAt(next);
        if (handle < 0) continue;
        batch.push_back(handle);
        ++matches;
      }
    }
    // What a slice found goes out after the lock is let go.
    if (!batch.empty() && onBatch) onBatch(std::exchange(batch, {}));
    if (stop.load()) break;
    std::this_thread::yield();
  }
  if (!batch.empty() && onBatch) onBatch(std::move(batch));
  return matches;
}
