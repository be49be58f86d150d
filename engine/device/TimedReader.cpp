#include "engine/device/TimedReader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {
thread_local ReadStop* t_readStop = nullptr;
}  // namespace

ReadStop::ReadStop(std::function<bool()> stopped) : stopped_(std::move(stopped)), outer_(t_readStop) {
  t_readStop = this;
}

ReadStop::~ReadStop() { t_readStop = outer_; }

bool ReadStop::Requested() {
  for (const ReadStop* s = t_readStop; s; s = s->outer_)
    if (s->stopped_ && s->stopped_()) return true;
  return false;
}

namespace {

// A copied read is done in pieces of this size, so the caller copies one piece
// while the reader reads the next.
constexpr std::size_t kPiece = 256 * 1024;
// Readers' own buffers kept for reuse (a fresh 2 MB buffer costs its page faults).
constexpr std::size_t kPooledBuffers = 4;
constexpr std::size_t kAlign = 4096;  // the kernel copies into aligned memory faster

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
struct Buffer {
  std::unique_ptr<std::uint8_t, FreeDeleter> data;
  std::size_t capacity = 0;
};

struct Request {
  std::uint64_t offset = 0;
  std::size_t length = 0;
  // A direct read goes into the caller's SectorBuffer memory, which the request
  // keeps alive; a copied read into the reader's own buffer.
  std::shared_ptr<SectorBuffer::Memory> target;
  std::uint8_t* targetBytes = nullptr;
  // Where the reader writes: set before the first piece is published; for a copied
  // read valid until the buffer is handed back.
  const std::uint8_t* data = nullptr;
  // Published by the reader; the bytes below `done` are final.
  std::atomic<std::size_t> done{0};
  std::atomic<bool> finished{false};
  std::atomic<bool> waiting{false};  // the caller sleeps on `progress`
  // The hand-back between the reader and the caller: the request's own lock, so
  // that a finished read wakes its caller without touching the readers' lock.
  std::mutex mutex;
  std::condition_variable progress;
  // Guarded by `mutex`:
  bool abandoned = false;  // the caller gave up waiting
  Buffer buffer;           // a copied read's buffer, handed to the caller once finished
  int error = 0;
  // Guarded by the readers' lock:
  bool started = false;
};

struct Reader {
  std::thread thread;
  bool busy = false;
};

}  // namespace

struct TimedReader::Shared {
  std::shared_ptr<IBlockDevice> device;
  std::mutex mutex;
  std::condition_variable work;
  std::deque<std::shared_ptr<Request>> queue;
  std::vector<std::shared_ptr<Reader>> readers;
  std::vector<Buffer> pool;
  int idle = 0;
  std::atomic<bool> stopping{false};

  // Under the mutex.
  Buffer Take(std::size_t size) {
    for (std::size_t i = 0; i < pool.size(); ++i) {
      if (pool[i].capacity >= size) {
        Buffer b = std::move(pool[i]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
        return b;
      }
    }
    Buffer b;
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + kAlign - 1) / kAlign * kAlign;
    b.data.reset(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, rounded)));
    b.capacity = b.data ? rounded : 0;
    return b;
  }
  void Give(Buffer b) {
    if (!b.data) return;
    if (pool.size() < kPooledBuffers) {
      pool.push_back(std::move(b));
      return;
    }
    auto smallest = std::min_element(pool.begin(), pool.end(),
                                     [](const Buffer& x, const Buffer& y) { return x.capacity < y.capacity; });
    if (smallest->capacity < b.capacity) *smallest = std::move(b);
  }

  // Wakes a caller that sleeps; one that is busy copying sees the atomics itself.
  // `waiting` is set under the request's lock before the caller looks at `done`
  // for the last time, so a piece published meanwhile is never missed.
  static void Wake(Request& req) {
    if (req.waiting.load()) {
      { std::lock_guard g(req.mutex); }
      req.progress.notify_one();
    }
  }

  static void Run(std::shared_ptr<Shared> s, std::shared_ptr<Reader> me) {
    std::unique_lock lock(s->mutex);
    for (;;) {
      // An idle reader sleeps until a request or the end comes: it never spins.
      s->work.wait(lock, [&] { return s->stopping.load() || !s->queue.empty(); });
      if (s->queue.empty()) break;
      std::shared_ptr<Request> req = std::move(s->queue.front());
      s->queue.pop_front();
      --s->idle;
      me->busy = true;
      req->started = true;
      Buffer buffer;
      std::uint8_t* data = req->targetBytes;
      if (!data) {
        buffer = s->Take(req->length);
        data = buffer.data.get();
      }
      req->data = data;
      lock.unlock();

      std::size_t done = 0;
      int error = data ? 0 : ENOMEM;
      // A direct read needs no pieces: the caller copies nothing.
      const std::size_t pieceSize = req->target ? req->length : kPiece;
      while (!error && done < req->length) {
        const std::size_t piece = std::min(pieceSize, req->length - done);
        const std::int64_t n = s->device->ReadAt(data + done, piece, req->offset + done);
        if (n < 0) {
          error = static_cast<int>(-n);
          break;
        }
        done += static_cast<std::size_t>(n);
        req->done.store(done);
        if (static_cast<std::size_t>(n) < piece) break;  // the end of the device
        {
          std::lock_guard g(req->mutex);
          if (req->abandoned) break;  // given up: no need to read on
        }
        // The caller copies this piece while the next is read; the last piece is
        // announced with the end, in one wake-up.
        if (!req->target && done < req->length) Wake(*req);
      }

      bool abandoned;
      {
        std::lock_guard g(req->mutex);
        abandoned = req->abandoned;
        req->error = error;
        if (!abandoned) req->buffer = std::move(buffer);  // the caller may still be copying from it
        req->finished.store(true);
        req->target.reset();  // a direct read given up frees the memory it kept
      }
      req->progress.notify_one();
      lock.lock();
      if (abandoned) s->Give(std::move(buffer));
      me->busy = false;
      ++s->idle;
      if (s->stopping.load()) break;
    }
  }
};

TimedReader::TimedReader(std::shared_ptr<IBlockDevice> device)
    : device_(std::move(device)), shared_(std::make_shared<Shared>()) {
  shared_->device = device_;
}

TimedReader::~TimedReader() {
  std::vector<std::shared_ptr<Reader>> readers;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping.store(true);
    readers = shared_->readers;
  }
  shared_->work.notify_all();
  for (const std::shared_ptr<Reader>& r : readers) {
    bool busy;
    {
      std::lock_guard lock(shared_->mutex);
      busy = r->busy;
    }
    // A reader still busy is stuck in a read that was given up: it ends by itself
    // when the read returns, holding the device until then.
    if (busy)
      r->thread.detach();
    else if (r->thread.joinable())
      r->thread.join();
  }
}

int TimedReader::ReaderCount() const {
  std::lock_guard lock(shared_->mutex);
  return static_cast<int>(shared_->readers.size());
}

namespace {

TimedReadResult ResultOf(std::int64_t n) {
  TimedReadResult r;
  if (n < 0)
    r.error = static_cast<int>(-n);
  else
    r.bytes = n;
  return r;
}

}  // namespace

std::size_t TimedReader::ReadCached(std::uint8_t* out, std::size_t length, std::uint64_t offset) {
  if (cachedOff_.load(std::memory_order_relaxed)) return 0;
  const std::int64_t n = device_->ReadCached(out, length, offset);
  if (n > 0) {
    if (!cachedHit_.load(std::memory_order_relaxed)) cachedHit_.store(true, std::memory_order_relaxed);
    return static_cast<std::size_t>(n);
  }
  if (n == -EOPNOTSUPP || (!cachedHit_.load(std::memory_order_relaxed) &&
                           cachedTries_.fetch_add(1, std::memory_order_relaxed) >= kCachedTrials))
    cachedOff_.store(true, std::memory_order_relaxed);
  return 0;
}

namespace {

// A read whose first `cached` bytes came from memory and whose rest `rest` tells.
TimedReadResult Joined(std::size_t cached, TimedReadResult rest) {
  if (rest.error || rest.timedOut) return rest;
  rest.bytes += static_cast<std::int64_t>(cached);
  return rest;
}

}  // namespace

TimedReadResult TimedReader::Read(void* buffer, std::size_t length, std::uint64_t offset,
                                  std::chrono::milliseconds timeout) {
  if (length == 0) return {};
  if (!device_->MayBlock()) return ResultOf(device_->ReadAt(buffer, length, offset));
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::size_t cached = ReadCached(out, length, offset);
  if (cached == length) return ResultOf(static_cast<std::int64_t>(cached));
  return Joined(cached, Submit(out + cached, nullptr, 0, length - cached, offset + cached, timeout));
}

TimedReadResult TimedReader::Read(SectorBuffer& target, std::size_t length, std::uint64_t offset,
                                  std::chrono::milliseconds timeout) {
  if (length == 0) return {};
  if (target.size() < length) return ResultOf(-EINVAL);
  if (!device_->MayBlock()) return ResultOf(device_->ReadAt(target.data(), length, offset));
  const std::size_t cached = ReadCached(target.data(), length, offset);
  if (cached == length) return ResultOf(static_cast<std::int64_t>(cached));
  TimedReadResult r = Submit(nullptr, &target, cached, length - cached, offset + cached, timeout);
  // The memory stays with the read that may still complete; the owner gets new.
  if (r.timedOut) target.Renew();
  return Joined(cached, r);
}

TimedReadResult TimedReader::Submit(std::uint8_t* out, SectorBuffer* target, std::size_t skip, std::size_t length,
                                    std::uint64_t offset, std::chrono::milliseconds timeout) {
  TimedReadResult result;
  Shared& s = *shared_;
  auto req = std::make_shared<Request>();
  req->offset = offset;
  req->length = length;
  if (target) {
    req->target = target->memory();
    req->targetBytes = target->data() + skip;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::max(timeout, std::chrono::milliseconds(1));

  std::unique_lock lock(s.mutex);
  if (s.stopping.load()) {
    result.error = ECANCELED;
    return result;
  }
  s.queue.push_back(req);
  if (s.queue.size() > static_cast<std::size_t>(s.idle) && s.readers.size() < std::size_t(kMaxReaders)) {
    auto reader = std::make_shared<Reader>();
    try {
      reader->thread = std::thread(&Shared::Run, shared_, reader);
      s.readers.push_back(reader);
      ++s.idle;
    } catch (...) {
      // No new thread: an existing reader takes the request when it is free.
    }
  }
  lock.unlock();
  s.work.notify_one();

  // Wait for the read, copying each finished piece of a copied read as it comes.
  // The caller sleeps on the request's condition until the reader publishes a piece
  // or its end, or the deadline passes: it never spins.
  std::size_t copied = 0;
  std::unique_lock wait(req->mutex);
  for (;;) {
    const std::size_t upto = req->done.load();
    if (out && upto > copied) {
      // The reader writes only beyond `done`.
      wait.unlock();
      std::memcpy(out + copied, req->data + copied, upto - copied);
      copied = upto;
      wait.lock();
      continue;
    }
    if (req->finished.load()) break;
    // The thread's stop is looked at while it waits: a stopped job does not wait out
    // a device that hangs.
    const bool stoppable = t_readStop != nullptr;
    const auto until = stoppable ? std::min(deadline, std::chrono::steady_clock::now() +
                                                          std::chrono::milliseconds(ReadStop::kPollMs))
                                 : deadline;
    req->waiting.store(true);
    const bool woken = req->progress.wait_until(wait, until, [&] {
      return (out && req->done.load() > copied) || req->finished.load();
    });
    req->waiting.store(false);
    if (woken) continue;
    if (stoppable && until < deadline) {
      wait.unlock();
      const bool stop = ReadStop::Requested();
      wait.lock();
      if (!stop) continue;
      result.stopped = true;
    }
    break;
  }

  if (!req->finished.load()) {
    // Given up: the read may still complete, into memory the caller no longer owns.
    req->abandoned = true;
    wait.unlock();
    lock.lock();
    if (!req->started) {
      auto it = std::find(s.queue.begin(), s.queue.end(), req);
      if (it != s.queue.end()) s.queue.erase(it);
    }
    result.timedOut = true;
    return result;
  }
  Buffer buffer = std::move(req->buffer);
  const int error = req->error;
  wait.unlock();
  const std::size_t total = req->done.load();
  if (out && total > copied) std::memcpy(out + copied, req->data + copied, total - copied);
  if (error)
    result.error = error;
  else
    result.bytes = static_cast<std::int64_t>(total);
  if (buffer.data) {
    lock.lock();
    s.Give(std::move(buffer));
  }
  return result;
}
