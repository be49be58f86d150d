#pragma once
// The computer's list of volumes: the drives (whole disks, then mounted file
// systems), then the image files and partitions opened during the run, in the
// order added. The list holds a shared reference to each; a volume in use elsewhere
// (a running analysis, the queue, a late query thread, the user interface) outlives
// its place in the list.
//
// A refresh builds the new device entries from sysfs and mountinfo, keeps every
// volume that is still the same device (same object, same node id), makes the rest
// anew and swaps the list in under its lock; image files and opened partitions keep
// their places after the devices. Each new entry queries its device on a thread of
// its own; the refresh waits kQueryWait for them all. A query still inside the
// kernel then (open or ioctl on a dying USB disk sleeps uninterruptibly) is left to
// end by itself: its thread is detached holding a reference to its volume, which
// stays listed in state -1, and nothing waits for it, not even the list's end.
//
// Threads: the user-interface thread, the analysis thread (partitions found by the
// walk or the signature pass), the refresh thread, the query threads and the device
// watch all use the list; every access takes the list's lock, and a find-or-add is
// one step under it. One rebuild runs at a time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <set>
#include <vector>

#include "engine/device/BlockDevice.h"
#include "engine/volume/DriveEnumerator.h"
#include "platform/BlockDevices.h"
#include "platform/UeventMonitor.h"

class CVolume;
class DeviceWatcher;

// The event codes WM_DEVICE_CHANGED carries in wParam: something arrived, or
// something went and nothing arrived.
enum : std::int64_t {
  kDeviceArrival = 0x8000,
  kDeviceRemoveComplete = 0x8004,
};

class CVolumesList {
 public:
  static constexpr std::chrono::milliseconds kQueryWait{4000};
  static constexpr std::chrono::milliseconds kRefreshWait{15000};
  // How often the device watch looks at /sys/block and mountinfo for changes no
  // kernel event told of (a network namespace gets none; mounting sends none).
  static constexpr std::chrono::milliseconds kRecheckInterval{3000};

  CVolumesList();
  // Shutdown(); query threads are not waited for.
  ~CVolumesList();
  CVolumesList(const CVolumesList&) = delete;
  CVolumesList& operator=(const CVolumesList&) = delete;

  // Appends a volume; returns the new count.
  int Add(std::shared_ptr<CVolume> volume);
  int GetCount() const;
  // The volume at `index`; null, with "CVolumesList::GetAt except" logged, when the
  // index lies outside the list.
  std::shared_ptr<CVolume> GetAt(int index) const;
  // A copy of the list, for walking it without the lock.
  std::vector<std::shared_ptr<CVolume>> Volumes() const;
  // The volume whose device node has this id, or null.
  std::shared_ptr<CVolume> FindByNodeId(std::int32_t id) const;

  // The first volume for which `match` holds; when none does, the one `make` returns
  // (null: nothing) is appended. Both run under the list's lock and must not use the
  // list. `added` tells which of the two it was.
  template <typename Match, typename Make>
  std::shared_ptr<CVolume> FindOrAdd(Match&& match, Make&& make, bool& added) {
    std::lock_guard lock(mutex_);
    added = false;
    for (const auto& v : volumes_)
      if (match(*v)) return v;
    std::shared_ptr<CVolume> made = make();
    if (made) {
      volumes_.push_back(made);
      added = true;
    }
    return made;
  }

  // ---- Refresh ------------------------------------------------------------------------

  // With `background` false: rebuilds the list on the calling thread (waiting for
  // the queries as said above) and returns the number of volumes. The device
  // entries are the refresh's own: a physical or logical drive added to the list by
  // other means does not stay. With true: has
  // the refresh thread do it and returns 1 at once (0 while the list ends). A
  // request while the thread runs makes it rebuild once more afterwards.
  int Refresh(bool background);
  // A refresh on the refresh thread, as Refresh(true), that the caller follows
  // without waiting: the ticket it returns (0 while the list ends) is done once
  // RefreshDone says so, after the rebuild that began after this request (its
  // queries waited for). The user interface polls it to keep its window alive.
  std::uint64_t StartRefresh();
  bool RefreshDone(std::uint64_t ticket) const;
  // A refresh on the refresh thread, waited for up to kRefreshWait (a longer one
  // goes on by itself); returns 0. The user interface shows the wait cursor
  // meanwhile.
  int RefreshAndWait();
  // Devices arrived, went or changed (a burst of kernel events; empty from the
  // periodic re-check): a refresh as RefreshAndWait, whose changes against what was
  // last reported are logged (for a burst only those of the devices its events
  // name, or of partitions and disks of them: another program's loop devices that
  // nothing lists log nothing), a device or mount point that went with string 181
  // and one that came with string 180 (their "%c:" becomes the device node or mount
  // point), and, when there were any, posted as WM_DEVICE_CHANGED (wParam
  // kDeviceArrival or kDeviceRemoveComplete). Returns 0.
  int OnDeviceChange(const std::vector<platform::Uevent>& events);
  // Whether the devices differ now from those last reported (false before the
  // first refresh).
  bool HasUnreportedChanges() const;

  // Starts the device watch: the kernel's uevent socket, when the system gives one,
  // and the re-check every kRecheckInterval. True when it runs.
  bool StartDeviceWatch();
  // The same with a source of events, a re-check interval (0: none) and the burst
  // gap of the events (tests).
  bool StartDeviceWatch(std::unique_ptr<platform::IDatagramSource> source, std::chrono::milliseconds recheck,
                        int burstMs);
  // Ends the device watch: its source is closed and its threads are joined.
  void StopDeviceWatch();

  // Ends the device watch and the refresh thread (both joined; a rebuild stops at
  // its query wait) and takes no refresh any more. The computer object calls it
  // first in its end, before anything a refresh uses goes.
  void Shutdown();

  // ---- Sources --------------------------------------------------------------------------

  // Where devices are read from (tests give a fake tree).
  void SetSources(platform::BlockDeviceTree tree);
  // How a new device entry opens its device; null (the default) opens its node
  // read-only. Tests give memory devices, or ones that never answer.
  using DeviceOpener = std::function<std::shared_ptr<IBlockDevice>(int& error)>;
  using OpenerFactory = std::function<DeviceOpener(const DriveSource& source)>;
  void SetDeviceOpeners(OpenerFactory factory);
  // How long a refresh waits for its query threads (kQueryWait unless set).
  void SetQueryWait(std::chrono::milliseconds wait);
  // The node id of a new device entry by its key; the default asks the computer
  // object (CLocalComputer::ObjectIdFor), so that a device keeps its id for the run.
  using IdSource = std::function<std::int32_t(const std::u16string& key)>;
  void SetIdSource(IdSource ids);

  // How many rebuilds have been done.
  std::uint64_t RefreshCount() const { return refreshes_.load(); }
  // Query threads of every list that have not ended yet.
  static int LiveQueryThreads();

 private:
  struct DeviceEntry {
    std::shared_ptr<CVolume> volume;
    DriveSource source;
  };
  struct Reported {
    std::string key;
    std::string place;
    std::string name;  // the kernel's name of the device, and of its disk
    std::string disk;
  };
  // The devices the kernel's events of the reports wanted so far named; `all`:
  // a re-check, which names none and reports every change.
  struct ReportScope {
    std::set<std::string> names;
    bool all = false;
  };

  int RebuildList(bool report, const ReportScope& scope = ReportScope{{}, true});
  std::shared_ptr<CVolume> MakeVolume(const DriveSource& source, const OpenerFactory& openers, const IdSource& ids);
  void RunQueries(const std::vector<std::shared_ptr<CVolume>>& volumes, std::chrono::milliseconds wait);
  void Report(const std::vector<DeviceEntry>& devices, bool report, const ReportScope& scope);
  std::uint64_t RequestRefresh(bool report, const std::vector<platform::Uevent>* events = nullptr);
  bool WaitForRefresh(std::uint64_t generation, std::chrono::milliseconds timeout, bool forDeviceChange);
  void RefreshThreadMain();

  // The list.
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<CVolume>> volumes_;
  std::vector<DeviceEntry> devices_;  // the device entries of the last rebuild

  // Where devices come from.
  mutable std::mutex configMutex_;
  platform::BlockDeviceTree tree_;
  OpenerFactory openers_;
  IdSource ids_;
  std::chrono::milliseconds queryWait_ = kQueryWait;

  std::mutex rebuildMutex_;  // one rebuild at a time

  // What device changes were last reported.
  mutable std::mutex reportMutex_;
  bool haveBaseline_ = false;
  std::vector<Reported> reported_;

  // The refresh thread: requests are counted, and a waiter waits for the rebuild
  // that began after its request.
  mutable std::mutex threadMutex_;
  std::condition_variable threadCv_;
  std::thread refreshThread_;
  bool threadRunning_ = false;
  bool reportWanted_ = false;
  ReportScope reportScope_;
  std::uint64_t requested_ = 0;
  std::uint64_t completed_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> watchStopping_{false};
  std::atomic<std::uint64_t> refreshes_{0};

  std::mutex watchMutex_;
  std::unique_ptr<DeviceWatcher> watcher_;
};

// The drive letter of the lowest set bit of a unit mask: 'A' for bit 0, looking at
// the 26 bits of the letters only; 0 when none of them is set. Linux device events
// name devices, not letters, so the device watch does not use it.
char16_t DriveLetterFromUnitMask(std::uint32_t mask);
