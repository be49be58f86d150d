#include "mainframe/panes/ObjectDataReader.h"

#include <algorithm>

#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"

struct CObjectDataReader::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable ended;
  bool stop = false;
  bool finished = false;

  // The current object and what is asked of it.
  std::uint64_t generation = 0;
  std::shared_ptr<CVolume> volume;
  FoundObject record;
  std::u16string name;
  std::uint64_t size = 0;
  bool runsWanted = false;
  bool pagesWanted = false;
  std::uint64_t nextPage = 0;
  std::uint64_t lastPage = 0;
  std::uint64_t pagesRead = 0;

  // Callbacks, used under `callbackMutex` while `open`.
  std::mutex callbackMutex;
  bool open = true;
  PageFn onPage;
  RunsFn onRuns;
};

namespace {

std::mutex leftMutex;
std::vector<std::thread>& LeftThreads() {
  static auto* threads = new std::vector<std::thread>();
  return *threads;
}

}  // namespace

CObjectDataReader::CObjectDataReader(PageFn onPage, RunsFn onRuns) : state_(std::make_shared<State>()) {
  state_->onPage = std::move(onPage);
  state_->onRuns = std::move(onRuns);
  thread_ = std::thread(&CObjectDataReader::Run, state_);
}

CObjectDataReader::~CObjectDataReader() {
  {
    std::lock_guard lock(state_->callbackMutex);
    state_->open = false;
  }
  std::unique_lock lock(state_->mutex);
  state_->stop = true;
  state_->wake.notify_all();
  const bool ended = state_->ended.wait_for(lock, kStopWait, [&] { return state_->finished; });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    std::lock_guard left(leftMutex);
    LeftThreads().push_back(std::move(thread_));
  }
}

void CObjectDataReader::JoinLeftThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard left(leftMutex);
    threads.swap(LeftThreads());
  }
  for (std::thread& t : threads)
    if (t.joinable()) t.join();
}

std::uint64_t CObjectDataReader::SetObject(std::shared_ptr<CVolume> volume, const FoundObject& record,
                                           std::uint64_t size) {
  std::lock_guard lock(state_->mutex);
  State& s = *state_;
  ++s.generation;
  s.volume = std::move(volume);
  s.record = record;
  s.name.assign(record.Name());
  s.record.SetName(s.name);
  s.size = s.volume ? size : 0;
  s.runsWanted = s.volume != nullptr;
  s.pagesWanted = false;
  s.wake.notify_all();
  return s.generation;
}

void CObjectDataReader::WantPages(std::uint64_t first, std::uint64_t last) {
  std::lock_guard lock(state_->mutex);
  State& s = *state_;
  if (!s.volume || s.size == 0) return;
  const std::uint64_t pages = (s.size + kPageSize - 1) / kPageSize;
  last = std::min(last, pages - 1);
  if (first > last) return;
  s.nextPage = first;
  s.lastPage = last;
  s.pagesWanted = true;
  s.wake.notify_all();
}

std::uint64_t CObjectDataReader::Generation() const {
  std::lock_guard lock(state_->mutex);
  return state_->generation;
}

std::uint64_t CObjectDataReader::PagesRead() const {
  std::lock_guard lock(state_->mutex);
  return state_->pagesRead;
}

void CObjectDataReader::Run(std::shared_ptr<State> state) {
  State& s = *state;
  for (;;) {
    std::unique_lock lock(s.mutex);
    s.wake.wait(lock, [&] { return s.stop || s.runsWanted || s.pagesWanted; });
    if (s.stop) break;
    const std::uint64_t generation = s.generation;
    const std::shared_ptr<CVolume> volume = s.volume;
    FoundObject record = s.record;
    const std::u16string name = s.name;
    record.SetName(name);
    if (s.runsWanted) {
      s.runsWanted = false;
      lock.unlock();
      ObjectRunList runs;
      try {
        runs = volume->GetObjectDataRuns(record);
      } catch (...) {
        Log().Error(u"DataViewer.Runs.except");
      }
      std::lock_guard cb(s.callbackMutex);
      if (s.open && s.onRuns) s.onRuns(generation, std::move(runs));
      continue;
    }
    // One page, then look again: a newer request wins over the rest of this one.
    const std::uint64_t index = s.nextPage;
    if (s.nextPage >= s.lastPage) s.pagesWanted = false;
    else ++s.nextPage;
    const std::uint64_t size = s.size;
    lock.unlock();
    Page page;
    page.generation = generation;
    page.index = index;
    const std::uint64_t at = index * kPageSize;
    if (at < size) {
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPageSize, size - at));
      page.bytes.assign(count, 0);
      try {
        page.read = volume->ReadObjectData(record, page.bytes.data(), std::int64_t(at), count);
      } catch (...) {
        Log().Error(u"DataViewer.Read.except");
      }
    }
    {
      std::lock_guard count(s.mutex);
      ++s.pagesRead;
    }
    std::lock_guard cb(s.callbackMutex);
    if (s.open && s.onPage) s.onPage(std::move(page));
  }
  std::lock_guard lock(s.mutex);
  s.finished = true;
  s.ended.notify_all();
}
