#include "engine/volume/DeviceWatcher.h"

#include "engine/records/ProgramLog.h"
#include "engine/volume/VolumesList.h"

DeviceWatcher::DeviceWatcher(CVolumesList& list) : list_(list) {}

DeviceWatcher::~DeviceWatcher() { Stop(); }

bool DeviceWatcher::Start(std::unique_ptr<platform::IDatagramSource> source, std::chrono::milliseconds recheck,
                          int burstMs) {
  bool any = false;
  if (source) {
    any = monitor_.Start(
        std::move(source),
        [this](const std::vector<platform::Uevent>& burst) {
          try {
            list_.OnDeviceChange(burst);
          } catch (...) {
            Log().Error(u"CVolumesList::OnDeviceChange except");
          }
        },
        burstMs);
  }
  if (recheck.count() > 0 && !recheck_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = false;
    }
    try {
      recheck_ = std::thread([this, recheck] { RecheckMain(recheck); });
      any = true;
    } catch (...) {
      Log().Error(u"DeviceWatcher::Start except");
    }
  }
  return any;
}

void DeviceWatcher::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  monitor_.Stop();
  if (recheck_.joinable()) recheck_.join();
}

void DeviceWatcher::RecheckMain(std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  while (!cv_.wait_for(lock, interval, [this] { return stop_; })) {
    lock.unlock();
    try {
      if (list_.HasUnreportedChanges()) list_.OnDeviceChange({});
    } catch (...) {
      Log().Error(u"CVolumesList::OnDeviceChange except");
    }
    lock.lock();
  }
}
