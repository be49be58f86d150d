#pragma once
// A device held in memory, for tests and fuzz targets, that can misbehave on chosen
// 512-byte sectors: fail with an I/O error, end a read short before the sector, or
// hang (block inside the read until released or until a delay has passed, and then
// complete normally into the buffer it was given).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "engine/device/BlockDevice.h"

class MemoryBlockDevice : public IBlockDevice {
 public:
  enum class Fault { None, Error, Short, Hang };

  explicit MemoryBlockDevice(std::vector<std::uint8_t> data, DeviceInfo info = {});
  MemoryBlockDevice(const std::uint8_t* data, std::size_t size, DeviceInfo info = {});

  std::int64_t ReadAt(void* buffer, std::size_t length, std::uint64_t offset) override;
  // Serves the bytes below SetCachedBytes (as a page cache holding the device's
  // start would), faults or not; -EOPNOTSUPP until that is set.
  std::int64_t ReadCached(void* buffer, std::size_t length, std::uint64_t offset) override;
  DeviceInfo Query() const override;
  // Reads go through the time-out layer once a hang is injected, or when asked.
  bool MayBlock() const override { return mayBlock_.load(); }
  void SetMayBlock(bool on) { mayBlock_.store(on); }

  // A read that covers `sector` (512-byte units) meets the fault. Error: -EIO. Short:
  // the read ends before the sector (nothing when it starts there). Hang: see above.
  void InjectFault(std::uint64_t sector, Fault fault);
  void ClearFaults();
  // A hang lasts until ReleaseHangs() or this long (default: until released).
  void SetHangTime(std::chrono::milliseconds time);
  void ReleaseHangs();

  void SetCachedBytes(std::uint64_t bytes) { cachedBytes_.store(bytes); }
  std::uint64_t ReadCalls() const { return readCalls_.load(); }
  std::uint64_t CachedReadCalls() const { return cachedCalls_.load(); }
  // Reads that hung and have since completed.
  std::uint64_t HangsCompleted() const { return hangsCompleted_.load(); }
  std::size_t Size() const { return data_.size(); }
  std::uint8_t* Data() { return data_.data(); }

 private:
  std::vector<std::uint8_t> data_;
  DeviceInfo info_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::map<std::uint64_t, Fault> faults_;
  std::chrono::milliseconds hangTime_{-1};
  std::uint64_t releaseGeneration_ = 0;
  std::atomic<bool> mayBlock_{false};
  std::atomic<std::uint64_t> readCalls_{0};
  std::atomic<std::uint64_t> cachedCalls_{0};
  static constexpr std::uint64_t kNoCache = ~std::uint64_t(0);
  std::atomic<std::uint64_t> cachedBytes_{kNoCache};
  std::atomic<std::uint64_t> hangsCompleted_{0};
};
