#pragma once
// The computer object: the one engine object the rest of the program talks to
// (g_Computer). It owns the drive list, the file filter, the log and the file-type
// database; it keeps the queue of volumes to analyse and the current-volume
// pointers, hands out the ids of device nodes, starts and finishes analyses one at
// a time, opens image files and found partitions as volumes, checks the destination
// folder of a recovery and starts drive-image creation.
//
// Threads: StartAnalysis and FinishAnalysis run on the user-interface thread,
// OnAnalyseDone and AddPartitionVolume on the analysis thread (and the search
// workers). The queue and the current-volume pointers are guarded by the computer's
// lock; the drive list has its own.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/records/ProgramLog.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/PartitionSink.h"
#include "engine/volume/VolumesList.h"
#include "platform/BlockDevices.h"

class CRecovery;
class CVolume;
class IFileTypeLookup;
class ScanProgress;
struct ImageJob;

class CLocalComputer : public IPartitionSink {
 public:
  // The first device-node id is -31.
  static constexpr std::int32_t kFirstObjectId = -31;

  // Loads the file filter from the registry and makes this the program's computer:
  // g_Computer, g_Log (its log) and the partition sink.
  CLocalComputer();
  // Stops a running analysis (forced) and joins the analysis thread.
  ~CLocalComputer() override;
  CLocalComputer(const CLocalComputer&) = delete;
  CLocalComputer& operator=(const CLocalComputer&) = delete;

  // ---- Ids ----------------------------------------------------------------------------

  // The next free negative id, counting down from -31 and skipping every id that a
  // special node (My Computer -12, Recycle Bin -17, the lost roots -18 and -19) or
  // a file-type category uses, so that a device node is never taken for a type
  // folder of the store.
  std::int32_t NewObjectId();
  // The id of the device node for a device: the same key (a device path) gets the
  // same id for the whole run, so that a node keeps its id across drive-list
  // refreshes; an empty key always gets a new one.
  std::int32_t ObjectIdFor(const std::u16string& deviceKey);

  // ---- Analysis queue ---------------------------------------------------------------

  // Queues the volume (once) and, when no scan runs, sets the running flag, makes
  // the volume the selected, scanned and analysed volume and starts its analysis
  // thread. A volume being analysed is left alone. A start while another scan runs
  // only queues. Returns 1 when the analysis started.
  //
  // It never waits: when no scan runs but the thread of the last one has not ended
  // yet (a stopped thread still inside a read), the start is kept and carried out
  // by the computer's starter thread as soon as that thread has ended (0 is
  // returned; StartPending tells). Only one start is kept so: a start while one is
  // pending only queues, as a start while a scan runs does.
  int StartAnalysis(const std::shared_ptr<CVolume>& volume);
  // The volume whose start waits for the last analysis thread to end, or null.
  std::shared_ptr<CVolume> StartPending() const;
  // The end of CVolume::Analyse, on the analysis thread: clears the running flag
  // (when it is this volume's) and finishes the volume.
  void OnAnalyseDone(const std::shared_ptr<CVolume>& volume);
  // Stops or finishes a volume's analysis: the stop (which may ask for confirmation:
  // 0 when the user says No, and nothing changes), then the volume leaves the queue,
  // the running flag is cleared when it is this volume's, state 1.
  int FinishAnalysis(const std::shared_ptr<CVolume>& volume, bool force);
  // What the top window does on WM_ANALYSIS_DONE: when the queue is not empty and
  // AutoContinueQueue is set, starts the first queued volume. Returns it, or null.
  // The first volume is not started while its store is in use (CVolume::
  // ClearFoundObjects refuses, with its message): QueueWaitsForStore is then true
  // until a later ContinueQueue starts it. A volume whose kept start is on its way
  // (StartPending), or whose thread runs, is left to it: null, its store untouched.
  std::shared_ptr<CVolume> ContinueQueue();
  bool QueueWaitsForStore() const { return queueWaitsForStore_.load(); }
  std::vector<std::shared_ptr<CVolume>> Queue() const;
  bool IsQueued(const std::shared_ptr<CVolume>& volume) const;

  // ---- Volumes ----------------------------------------------------------------------

  // Opens an image file (read-only) as a volume of kind 8, adds it to the drive list
  // and sets it up (a partition table on it is walked); null when it can't be opened.
  std::shared_ptr<CVolume> OpenImageFile(const std::u16string& path);
  // A partition found by the walk or a boot-sector hit of the signature pass (see
  // IPartitionSink). One already known is recognised, not made again: a found
  // partition by its parent volume and offset, a logical drive by its partition on
  // the physical drive, the volume's own boot sector at offset 0; its node is marked
  // OBJ_CARVED and it is returned. Otherwise a partition volume of kind 16 is made
  // (base = the parent's base + offset; size from the table, else what is left of
  // the parent), set up, listed, its node registered in the parent's store and
  // WM_VOLUME_ADDED posted with wParam its node id.
  std::shared_ptr<CVolume> AddPartitionVolume(const FoundObject& partition) override;

  // Whether recovered files may go to `path` (null: AppSettings::DestinationFolder),
  // a UTF-16 path: refused when it lies on a device that the scanned or analysed
  // volume, or a queued one, reads (its disk, or any partition of that disk); asked
  // once (QuestionKind::DestinationUnknown) when a device can't be told; then the
  // whole missing path is created. Quiet shows nothing and refuses where it would
  // ask. 1 when the folder may be used.
  int CheckDestinationFolder(const std::u16string* path, bool quiet);
  // Starts the drive-image writer of the job; false when it could not start.
  bool StartCreateImage(ImageJob& job);

  // ---- Current volumes ------------------------------------------------------------

  std::shared_ptr<CVolume> SelectedVolume() const;
  void SetSelectedVolume(std::shared_ptr<CVolume> volume);
  // Whether the selected volume is a drive, partition or image that volume
  // commands act on. The pointer starts as the My Computer pseudo-volume (and the
  // tree may select Recycle Bin's): those count as no volume selected.
  bool IsVolumeSelected() const;
  // The volume being scanned (the search, the recovery and the destination check
  // use it).
  std::shared_ptr<CVolume> ScannedVolume() const;
  void SetScannedVolume(std::shared_ptr<CVolume> volume);
  // The volume whose store the views show.
  std::shared_ptr<CVolume> AnalysedVolume() const;
  void SetAnalysedVolume(std::shared_ptr<CVolume> volume);

  // The volume whose store a WM_FOUND_OBJECT handle names (by the store's serial):
  // a listed volume, the current ones or the two pseudo-volumes; null when no
  // volume's store has that serial any more (it was cleared since).
  std::shared_ptr<CVolume> VolumeOfHandle(std::int64_t handle) const;
  std::shared_ptr<CVolume> VolumeOfStoreSerial(std::uint32_t serial) const;

  // ---- Owned objects ----------------------------------------------------------------

  CVolumesList& Volumes() { return volumes_; }
  // The drive list's device watch, started by the first window that lists drives
  // (the main window, the wizard): once per run; later calls, and calls after the
  // list has ended, do nothing. The watch refreshes the list when drives come and
  // go and posts WM_DEVICE_CHANGED to the top window. True when this call started
  // it. The second form takes the event source and re-check interval (tests).
  bool StartDriveWatch();
  bool StartDriveWatch(std::unique_ptr<platform::IDatagramSource> source, std::chrono::milliseconds recheck,
                       int burstMs);
  FileFilter& Filter() { return filter_; }
  ProgramLog& GetLog() { return log_; }
  // The file-type database (made and installed by the application; the engine
  // knows it by its lookup interface).
  void SetFileTypeDatabase(std::shared_ptr<IFileTypeLookup> database);
  IFileTypeLookup* FileTypes() const { return fileTypes_.get(); }
  // The pseudo-volumes that stand for "My Computer" and "Recycle Bin" in the tree.
  const std::shared_ptr<CVolume>& MyComputer() const { return myComputer_; }
  const std::shared_ptr<CVolume>& RecycleBin() const { return recycleBin_; }
  ScanProgress& Progress() const;

  // The block devices the destination check compares (tests give a fake tree).
  void SetBlockDeviceTree(platform::BlockDeviceTree tree);

  // ---- Recovery jobs ------------------------------------------------------------------

  // The recovery job and the "try to open" job, one of each for the computer's life,
  // shared by the explorer views of both modes and the wizard. Their class lies in
  // the search library above this one: search/RecoveryJobs.h makes them on first
  // use and installs them here; the engine only keeps them (null until then).
  // InstallRecoveryJobs takes the pair only when none is installed yet; true then.
  bool InstallRecoveryJobs(std::shared_ptr<CRecovery> recovery, std::shared_ptr<CRecovery> tryOpen);
  std::shared_ptr<CRecovery> RecoveryJob() const;
  std::shared_ptr<CRecovery> TryOpenJob() const;

 private:
  bool IsScannedLocked(const CVolume* volume) const;
  void StarterMain();
  void StopStarter();
  std::vector<std::shared_ptr<CVolume>> AnalysedVolumesForCheck() const;

  CVolumesList volumes_;
  FileFilter filter_;
  ProgramLog log_;
  std::shared_ptr<IFileTypeLookup> fileTypes_;
  std::shared_ptr<CVolume> myComputer_;
  std::shared_ptr<CVolume> recycleBin_;
  std::atomic<bool> queueWaitsForStore_{false};

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<CVolume>> queue_;
  std::shared_ptr<CVolume> selected_;
  std::shared_ptr<CVolume> scanned_;
  std::shared_ptr<CVolume> analysed_;
  std::int32_t objectIdCounter_ = kFirstObjectId + 1;
  std::map<std::u16string, std::int32_t> deviceIds_;
  std::optional<platform::BlockDeviceTree> tree_;
  std::shared_ptr<CRecovery> recoveryJob_;
  std::shared_ptr<CRecovery> tryOpenJob_;

  // The start kept until the last analysis thread has ended, and the thread that
  // carries it out (joined before the next one starts and at the end).
  std::shared_ptr<CVolume> pending_;
  // The kept start the starter thread is starting now (null otherwise).
  std::shared_ptr<CVolume> starting_;
  std::thread starter_;
  bool starterRunning_ = false;
  std::atomic<bool> starterStop_{false};

  std::atomic<bool> watchStarted_{false};
};

// The program's computer object; null until it is made.
extern CLocalComputer* g_Computer;
