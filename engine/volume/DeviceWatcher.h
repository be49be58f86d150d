#pragma once
// Watches for drives that arrive, go or change and hands each change to the drive
// list: the kernel's block-device uevents, read by a thread of their own (one
// refresh per burst), and a re-check every few seconds of /sys/block and the
// mounts, for machines whose network namespace receives no kernel events and for
// mounts, which send none. Stop() closes the event source and joins both threads.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/UeventMonitor.h"

class CVolumesList;

class DeviceWatcher {
 public:
  explicit DeviceWatcher(CVolumesList& list);
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  // `source` may be null (the system gave no uevent socket); `recheck` 0 leaves the
  // re-check out. False when neither runs.
  bool Start(std::unique_ptr<platform::IDatagramSource> source, std::chrono::milliseconds recheck, int burstMs);
  void Stop();

 private:
  void RecheckMain(std::chrono::milliseconds interval);

  CVolumesList& list_;
  platform::UeventMonitor monitor_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread recheck_;
};
