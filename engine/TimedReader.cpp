#include "engine/TimedReader.h"

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

// A copied read is done in pieces of this size, so the caller copies one piece
// while the reader reads the next.
constexpr std::size_t kPiece = 256 * 1024;
// Before sleeping, a waiting caller polls for progress and an idle reader for the
// next request this long: a sleeping thread wakes slower than a 2 MB read from the
// page cache takes.
constexpr auto kPoll = std::chrono::microseconds(100);
// Readers' own buffers kept for reuse (a fresh 2 MB buffer costs its page faults).
constexpr std::size_t kPooledBuffers = 4;
constexpr std::size_t kAlign = 4096;  // the kernel copies into aligned memory faster

// Yields rather than spins: where the caller and the reader share a processor the
// one that waits lets the other run.
inline void Relax() { std::this_thread::yield(); }

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
  std::atomic<bool> abandoned{false};
  std::atomic<bool> waiting{false};  // the caller sleeps on `progress`
  // Guarded by the shared mutex:
  Buffer buffer;  // a copied read's buffer, handed to the caller once finished
  int error = 0;
  bool started = false;
  std::condition_variable progress;
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
  std::atomic<int> queued{0};  // requests in the queue, polled without the lock

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

  // Wakes a caller that sleeps; one that polls sees the atomics itself.
  void Wake(Request& req) {
    if (req.waiting.load()) {
      { std::lock_guard g(mutex); }
      req.progress.notify_one();
    }
  }

  static void Run(std::shared_ptr<Shared> s, std::shared_ptr<Reader> me) {
    std::unique_lock lock(s->mutex);
    for (;;) {
      if (s->queue.empty() && !s->stopping.load()) {
        // Back-to-back reads (a scan) come sooner than a sleeping thread would wake.
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + kPoll;
        while (s->queued.load() == 0 && !s->stopping.load() && std::chrono::steady_clock::now() < until) Relax();
        lock.lock();
      }
      s->work.wait(lock, [&] { return s->stopping.load() || !s->queue.empty(); });
      if (s->queue.empty()) break;
      std::shared_ptr<Request> req = std::move(s->queue.front());
      s->queue.pop_front();
      s->queued.fetch_sub(1);
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
        if (!req->target) s->Wake(*req);
        if (req->abandoned.load() || static_cast<std::size_t>(n) < piece) break;  // given up, or the end
      }

      lock.lock();
      req->error = error;
      if (req->abandoned.load())
        s->Give(std::move(buffer));
      else
        req->buffer = std::move(buffer);  // the caller may still be copying from it
      req->finished.store(true);
      req->target.reset();  // a direct read given up frees the memory it kept
      lock.unlock();
      req->progress.notify_one();
      lock.lock();
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

TimedReadResult TimedReader::Read(void* buffer, std::size_t length, std::uint64_t offset,
                                  std::chrono::milliseconds timeout) {
  if (length == 0) return {};
  if (!device_->MayBlock()) return ResultOf(device_->ReadAt(buffer, length, offset));
  return Submit(static_cast<std::uint8_t*>(buffer), nullptr, length, offset, timeout);
}

TimedReadResult TimedReader::Read(SectorBuffer& target, std::size_t length, std::uint64_t offset,
                                  std::chrono::milliseconds timeout) {
  if (length == 0) return {};
  if (target.size() < length) return ResultOf(-EINVAL);
  if (!device_->MayBlock()) return ResultOf(device_->ReadAt(target.data(), length, offset));
  TimedReadResult r = Submit(nullptr, &target, length, offset, timeout);
  // The memory stays with the read that may still complete; the owner gets new.
  if (r.timedOut) target.Renew();
  return r;
}

TimedReadResult TimedReader::Submit(std::uint8_t* out, SectorBuffer* target, std::size_t length,
                                    std::uint64_t offset, std::chrono::milliseconds timeout) {
  TimedReadResult result;
  Shared& s = *shared_;
  auto req = std::make_shared<Request>();
  req->offset = offset;
  req->length = length;
  if (target) {
    req->target = target->memory();
    req->targetBytes = target->data();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::max(timeout, std::chrono::milliseconds(1));

  std::unique_lock lock(s.mutex);
  if (s.stopping.load()) {
    result.error = ECANCELED;
    return result;
  }
  s.queue.push_back(req);
  s.queued.fetch_add(1);
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

  // Wait for the read, copying each finished piece of a copied read as it comes;
  // poll a while before sleeping.
  std::size_t copied = 0;
  auto pollUntil = std::chrono::steady_clock::now() + kPoll;
  for (;;) {
    const std::size_t upto = req->done.load();
    if (out && upto > copied) {
      // The reader writes only beyond `done`.
      std::memcpy(out + copied, req->data + copied, upto - copied);
      copied = upto;
      pollUntil = std::chrono::steady_clock::now() + kPoll;
      continue;
    }
    if (req->finished.load()) break;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    if (now < pollUntil) {
      Relax();
      continue;
    }
    lock.lock();
    req->waiting.store(true);
    req->progress.wait_until(lock, deadline, [&] {
      return (out && req->done.load() > copied) || req->finished.load();
    });
    req->waiting.store(false);
    lock.unlock();
  }

  lock.lock();
  if (!req->finished.load()) {
    // Given up: the read may still complete, into memory the caller no longer owns.
    req->abandoned.store(true);
    if (!req->started) {
      auto it = std::find(s.queue.begin(), s.queue.end(), req);
      if (it != s.queue.end()) {
        s.queue.erase(it);
        s.queued.fetch_sub(1);
      }
    }
    result.timedOut = true;
    return result;
  }
  const std::size_t total = req->done.load();
  if (out && total > copied) std::memcpy(out + copied, req->data + copied, total - copied);
  if (req->error)
    result.error = req->error;
  else
    result.bytes = static_cast<std::int64_t>(total);
  s.Give(std::move(req->buffer));
  return result;
}
