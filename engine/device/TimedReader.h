#pragma once
// Reads from a device that give up after a time-out, so that no caller hangs on a
// dying drive.
//
// What the system holds in memory already (the page cache) is read on the caller's
// thread, without waiting for the device (IBlockDevice::ReadCached): nothing there
// can hang, and a thread hand-off would cost more than the read. The rest of a read
// runs on one of a few reader threads. Into plain memory it reads into a
// buffer of the reader's own, and the caller, waiting with a deadline, copies each
// completed piece into its memory as it arrives (copying overlaps reading). Into a
// SectorBuffer it reads directly, without a copy; the SectorBuffer keeps that memory
// alive for the read. When the deadline passes the caller reports a time-out; the
// read may still complete later in the kernel, but only into memory the caller no
// longer owns: the reader's buffer, or the SectorBuffer's old memory (the
// SectorBuffer takes new memory). Nothing is written to what the caller holds
// after Read returns.
//
// A reader stuck in the kernel is replaced by a new one (at most kMaxReaders exist;
// beyond that a read waits for a free one and may time out waiting). Destroying the
// TimedReader joins the idle readers and leaves stuck ones to end by themselves;
// they keep the device open until then.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/device/BlockDevice.h"
#include "engine/device/SectorBuffer.h"

struct TimedReadResult {
  std::int64_t bytes = 0;  // bytes copied into the caller's buffer (from its start)
  int error = 0;           // errno of a failed read (bytes is then 0)
  bool timedOut = false;   // the read did not complete in time (bytes is then 0)
  bool stopped = false;    // given up because the thread's work was stopped (timedOut too)
};

// The stop of the work a thread does (an image, a recovery, an analysis), seen by
// every read on that thread: while one is alive, a read that waits for the device
// gives up as soon as `stopped` says so (looked at every kPollMs), as after a
// time-out, and the volume's retries and salvage ask before each read. Nested scopes
// stop when any of them says so.
class ReadStop {
 public:
  static constexpr int kPollMs = 50;
  explicit ReadStop(std::function<bool()> stopped);
  ~ReadStop();
  ReadStop(const ReadStop&) = delete;
  ReadStop& operator=(const ReadStop&) = delete;
  // Whether the work of the calling thread was stopped.
  static bool Requested();

 private:
  std::function<bool()> stopped_;
  ReadStop* outer_;
};

class TimedReader {
 public:
  static constexpr int kMaxReaders = 8;

  explicit TimedReader(std::shared_ptr<IBlockDevice> device);
  ~TimedReader();
  TimedReader(const TimedReader&) = delete;
  TimedReader& operator=(const TimedReader&) = delete;

  // Reads up to `length` bytes at `offset` into `buffer`. A device that never
  // blocks is read directly on the calling thread.
  TimedReadResult Read(void* buffer, std::size_t length, std::uint64_t offset, std::chrono::milliseconds timeout);
  // The same into the first `length` bytes of a SectorBuffer, without a copy. After
  // a time-out the SectorBuffer holds new zero-filled memory.
  TimedReadResult Read(SectorBuffer& target, std::size_t length, std::uint64_t offset,
                       std::chrono::milliseconds timeout);

  const std::shared_ptr<IBlockDevice>& Device() const { return device_; }
  // Reader threads alive now (idle, busy or stuck).
  int ReaderCount() const;

  struct Shared;

 private:
  TimedReadResult Submit(std::uint8_t* out, SectorBuffer* target, std::size_t skip, std::size_t length,
                         std::uint64_t offset, std::chrono::milliseconds timeout);
  // The bytes at `offset` that the system holds in memory, read into `out`: how many
  // (0 when none, or when the device can't tell).
  std::size_t ReadCached(std::uint8_t* out, std::size_t length, std::uint64_t offset);
  std::shared_ptr<IBlockDevice> device_;
  std::shared_ptr<Shared> shared_;
  // Cached reads: tried until the device shows it can't serve them (a device that
  // never answered one of the first kCachedTrials is not asked any more).
  static constexpr int kCachedTrials = 64;
  std::atomic<bool> cachedOff_{false};
  std::atomic<bool> cachedHit_{false};
  std::atomic<int> cachedTries_{0};
};
