#pragma once
// Reads from a device that give up after a time-out, so that no caller hangs on a
// dying drive.
//
// A read runs on one of a few reader threads. Into plain memory it reads into a
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

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/BlockDevice.h"
#include "engine/SectorBuffer.h"

struct TimedReadResult {
  std::int64_t bytes = 0;  // bytes copied into the caller's buffer (from its start)
  int error = 0;           // errno of a failed read (bytes is then 0)
  bool timedOut = false;   // the read did not complete in time (bytes is then 0)
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
  TimedReadResult Submit(std::uint8_t* out, SectorBuffer* target, std::size_t length, std::uint64_t offset,
                         std::chrono::milliseconds timeout);
  std::shared_ptr<IBlockDevice> device_;
  std::shared_ptr<Shared> shared_;
};
