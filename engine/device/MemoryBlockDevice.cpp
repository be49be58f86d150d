#include "engine/device/MemoryBlockDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

MemoryBlockDevice::MemoryBlockDevice(std::vector<std::uint8_t> data, DeviceInfo info)
    : data_(std::move(data)), info_(info) {
  info_.sizeBytes = data_.size();
}

MemoryBlockDevice::MemoryBlockDevice(const std::uint8_t* data, std::size_t size, DeviceInfo info)
    : MemoryBlockDevice(std::vector<std::uint8_t>(data, data + size), info) {}

DeviceInfo MemoryBlockDevice::Query() const { return info_; }

std::int64_t MemoryBlockDevice::ReadCached(void* buffer, std::size_t length, std::uint64_t offset) {
  const std::uint64_t cached = cachedBytes_.load();
  if (cached == kNoCache) return -EOPNOTSUPP;
  cachedCalls_.fetch_add(1);
  const std::uint64_t end = std::min<std::uint64_t>(cached, data_.size());
  if (length == 0 || offset >= data_.size()) return 0;
  if (offset >= end) return -EAGAIN;
  const std::size_t n = std::size_t(std::min<std::uint64_t>(length, end - offset));
  std::memcpy(buffer, data_.data() + offset, n);
  return std::int64_t(n);
}

void MemoryBlockDevice::InjectFault(std::uint64_t sector, Fault fault) {
  std::lock_guard lock(mutex_);
  if (fault == Fault::None)
    faults_.erase(sector);
  else
    faults_[sector] = fault;
  if (fault == Fault::Hang) mayBlock_.store(true);
}

void MemoryBlockDevice::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

void MemoryBlockDevice::SetHangTime(std::chrono::milliseconds time) {
  std::lock_guard lock(mutex_);
  hangTime_ = time;
}

void MemoryBlockDevice::ReleaseHangs() {
  {
    std::lock_guard lock(mutex_);
    ++releaseGeneration_;
  }
  released_.notify_all();
}

std::int64_t MemoryBlockDevice::ReadAt(void* buffer, std::size_t length, std::uint64_t offset) {
  readCalls_.fetch_add(1);
  if (offset >= data_.size() || length == 0) return 0;
  std::size_t n = std::min<std::uint64_t>(length, data_.size() - offset);
  {
    std::unique_lock lock(mutex_);
    const std::uint64_t first = offset / 512, last = (offset + n - 1) / 512;
    auto it = faults_.lower_bound(first);
    if (it != faults_.end() && it->first <= last) {
      switch (it->second) {
        case Fault::Error:
          return -EIO;
        case Fault::Short: {
          const std::uint64_t stop = it->first * 512;
          n = stop > offset ? std::size_t(stop - offset) : 0;
          break;
        }
        case Fault::Hang: {
          const std::uint64_t generation = releaseGeneration_;
          auto released = [&] { return releaseGeneration_ != generation; };
          if (hangTime_.count() < 0)
            released_.wait(lock, released);
          else
            released_.wait_for(lock, hangTime_, released);
          lock.unlock();
          std::memcpy(buffer, data_.data() + offset, n);
          hangsCompleted_.fetch_add(1);
          return std::int64_t(n);
        }
        case Fault::None:
          break;
      }
    }
  }
  if (n) std::memcpy(buffer, data_.data() + offset, n);
  return std::int64_t(n);
}
