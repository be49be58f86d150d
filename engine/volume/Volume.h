#pragma once
// One thing the user can analyse: a physical drive, a logical drive (a mounted file
// system), a partition found on a drive, or a drive image file. Every other part of
// the engine reads the disk only through a volume: 512-byte sectors with a time-out
// and retries. The volume also holds the boot-sector copy, the file-system parser,
// the clusters bitmap and the store of found objects.
//
// Volumes are shared (std::shared_ptr): the drive list, the queue, the current
// volume and running threads each hold one. The device stays open while any of them
// reads; Close() only lets the volume's own reference go, and the descriptor closes
// with the last one. Reads may overlap (scan, hex view, recovery): they are
// positional and share no file position.
//
// Linux has no drive letters: the drive part of object paths is empty, a logical
// drive is shown by its mount point, and a physical drive keeps its number (the
// letter field holds '0' + number).

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/device/BlockDevice.h"
#include "engine/device/SectorBuffer.h"
#include "engine/device/TimedReader.h"
#include "engine/fs/BitArray.h"
#include "engine/fs/FileSystem.h"
#include "engine/fs/VolumeAccess.h"
#include "engine/store/FoundObjectStore.h"

class AppSettings;
class CFreeClusterMap;
class ScanProgress;

class CVolume : public std::enable_shared_from_this<CVolume>, public IVolumeAccess {
 public:
  enum Kind : std::int32_t {
    kPhysicalDrive = 1,
    kLogicalDrive = 2,
    kPartition = 4,
    kImageFile = 8,
    kFoundPartition = 16,  // found by the partition walk or the sector pass; treated like kPartition
  };
  enum State : std::int32_t { kQuerying = -1, kNotReady = 0, kReady = 1, kAnalysing = 2 };

  static constexpr std::int64_t kSectorSize = 512;
  // Each read attempt waits 512 ms per sector, but never longer than this: a 2 MB
  // read would otherwise wait 35 minutes on a drive that does not answer.
  static constexpr std::int64_t kMaxReadWaitMs = 30000;

  // Opens the device; null with an errno on failure. The default opens the device
  // path read-only.
  using DeviceOpener = std::function<std::shared_ptr<IBlockDevice>(int& error)>;

  explicit CVolume(std::int32_t kind);
  virtual ~CVolume();
  CVolume(const CVolume&) = delete;
  CVolume& operator=(const CVolume&) = delete;

  std::int32_t GetKind() const { return kind_; }
  bool IsPartition() const { return kind_ == kPartition || kind_ == kFoundPartition; }
  std::int32_t GetState() const { return state_.load(); }
  void SetState(std::int32_t state) { state_.store(state); }

  // ---- Device access ----------------------------------------------------------------

  void SetDevicePath(std::u16string path);
  // The device path; partitions read through their parent's.
  std::u16string GetPath() const;
  void SetDeviceOpener(DeviceOpener opener);
  // The open device, opened on demand: kinds 1, 2 and 8 open their own path; a
  // partition shares its parent's open device (its own path when the parent is
  // gone). Null, with the error logged, when it can't be opened.
  std::shared_ptr<TimedReader> OpenDrive() override;
  bool IsOpen() const;
  void Close() override;

  // Reads `count` sectors from `firstSector` (relative to the volume) into `buffer`,
  // which holds count x 512 bytes: the bytes read. Each attempt waits count x 512 ms
  // (at most kMaxReadWaitMs); a short read is tried again, up to ReadRetries + 1
  // attempts; an error or a time-out ends the read (logged: "Read Timeout!", string
  // 172). What was not read is zero-filled. A count of 0 touches nothing.
  std::int64_t ReadSectors(void* buffer, std::int64_t firstSector, std::int64_t count) override;
  // The same into a SectorBuffer (grown to count x 512 bytes when smaller), read
  // without a copy: the way for 2 MB runs. Take its data() after the call: after a
  // time-out it holds new memory (see SectorBuffer).
  std::int64_t ReadSectors(SectorBuffer& buffer, std::int64_t firstSector, std::int64_t count);
  std::int64_t ReadSectors32(void* buffer, std::int64_t firstSector, std::uint32_t count) {
    return ReadSectors(buffer, firstSector, count);
  }
  // The read of object data and images: as ReadSectors, but where the run's read
  // fails or comes back short, the rest is read again sector by sector (each read
  // with its retries), so that only the sectors that can't be read are zero-filled.
  // Each run of such sectors is logged once at error level: `logFormat`, whose one
  // conversion takes the run's first sector, followed by " (N sectors)" for a run
  // of more than one. Their number goes to the UnreadableSectors tally of the
  // calling thread. After kMaxTimeoutsInARow sectors in a row that time out, the
  // salvage skips ahead (by kMaxTimeoutsInARow sectors, doubling up to
  // kMaxSkipSectors while the skips land on more time-outs) and comes back once to
  // the skipped sectors after the rest of the run is read: every readable sector is
  // read, the readable ones past a bad stretch first, and no sector is asked twice.
  // Returns count x 512 (the zero-filled sectors included), fewer only where the
  // device ends, which is not counted as unreadable, or where the thread's work was
  // stopped (ReadStop: the salvage ends at once; the bytes read before the first
  // sector not read).
  std::int64_t ReadSectorsSalvaged(void* buffer, std::int64_t firstSector, std::int64_t count,
                                   std::u16string_view logFormat) override;
  std::int64_t ReadSectorsSalvaged(SectorBuffer& buffer, std::int64_t firstSector, std::int64_t count,
                                   std::u16string_view logFormat);
  // As ReadSectorsSalvaged, telling which sectors were read: `readRun(first, end)`
  // for each run of them, relative to `firstSector`, in order (the search parses only
  // those). Unreadable sectors are counted once, by the salvage.
  using ReadRunSink = std::function<void(std::int64_t first, std::int64_t end)>;
  std::int64_t SalvageSectors(std::uint8_t* buffer, std::int64_t firstSector, std::int64_t count,
                              std::u16string_view logFormat, const ReadRunSink& readRun);
  static constexpr int kMaxTimeoutsInARow = 8;
  // A read that left sectors zero-filled tells the running pass's count of them
  // (ScanProgress::unreadable).
  void NoteUnreadable(std::int64_t firstSector, std::size_t bytes, std::int64_t got);
  static constexpr std::int64_t kMaxSkipSectors = 1024;

  // Counts the sectors that salvaged reads on this thread zero-filled while it
  // lives (a nested tally adds its count to the one around it when it ends).
  class UnreadableSectors {
   public:
    UnreadableSectors();
    ~UnreadableSectors();
    UnreadableSectors(const UnreadableSectors&) = delete;
    UnreadableSectors& operator=(const UnreadableSectors&) = delete;
    std::int64_t Count() const { return count_; }
    // Adds sectors that a reader of object data found missing otherwise.
    static void Add(std::int64_t sectors);

   private:
    std::int64_t count_ = 0;
    UnreadableSectors* outer_;
  };
  // Reads `count` bytes of a found object from `position` bytes into it, from the
  // object's offset on the volume; `buffer` holds exactly `count` bytes. Returns the
  // bytes read from that position (fewer at the end of the device, 0 on failure);
  // the rest of the buffer is zero-filled.
  std::int64_t FileRead(const FoundObject& object, void* buffer, std::int64_t position,
                        std::uint32_t count) override;
  // The object's data as the file system stores it: through the parser for FAT and
  // NTFS volumes (cluster chains, data runs), raw sectors otherwise. Recovery reads
  // object data only through this.
  std::int64_t ReadObjectData(const FoundObject& object, void* buffer, std::int64_t position, std::uint32_t count);
  // The same into the first `count` bytes of a SectorBuffer (grown when smaller):
  // raw sector runs are read into it without a copy. Take its data() after the call.
  std::int64_t ReadObjectData(const FoundObject& object, SectorBuffer& buffer, std::int64_t position,
                              std::uint32_t count);
  // False when the parser knows it can't give the object's bytes (CanReadData).
  bool CanReadObjectData(const FoundObject& object);
  // The bytes of an object that its read gives as the object's own: its size bounded
  // by the volume (offset plus size within the volume's bytes) and by what the
  // parser knows (a FAT file's cluster chain, an NTFS stream's runs). The size the
  // object shows stays its own.
  std::int64_t ReadableSize(const FoundObject& object);
  // The volume's bytes: its total bytes, else its sectors; 0 when unknown.
  std::int64_t VolumeBytes() const;
  // Where the object's data lies on this volume (see ObjectRunList): what the
  // FAT or NTFS parser knows (cluster chains, data runs), one run from the object's
  // offset on other volumes; none for device nodes. It may read the disk (a FAT
  // table, an NTFS record): never call it on the user-interface thread.
  ObjectRunList GetObjectDataRuns(const FoundObject& object);

  // The settings a pass works with: read retries, logging of found names. Taken at
  // construction from Settings(), and again by each pass from its snapshot.
  void TakeSettings(const AppSettings& settings);
  void SetReadRetries(std::int32_t retries) { readRetries_.store(retries); }
  // Tests shorten the per-sector wait.
  void SetReadWaitPerSector(std::chrono::milliseconds wait) { waitPerSector_.store(wait.count()); }
  std::chrono::milliseconds ReadWait(std::int64_t sectors) const;

  // ---- Boot sector and partition table ------------------------------------------------

  // Reads the first two sectors of the volume into the boot copy; 0 when they can't
  // be read (string 173 logged). Where the first sector can't be read or is damaged
  // (it names a file system whose fields do not hold together, or it is blank), a
  // backup copy serves: FAT32's at sector 6, NTFS's at the volume's last sector or
  // its middle; the log says so.
  int ReadBootSector();
  // The sector the boot copy was read from: 0, or the backup's.
  std::int64_t BootCopySector() const;
  // Whether a 512-byte sector is a FAT or NTFS boot sector whose fields hold
  // together; `code` gets the type its labels name.
  static bool IsSoundBootSector(const std::uint8_t* sector, std::int32_t* code = nullptr);
  // Completes the geometry from the boot sector: type code (a file system the boot
  // sector names replaces the partition-type byte), sectors per cluster, serial,
  // label, totals; an image file's size. A volume that shows no file system (code 0)
  // has its partition table walked. 1 when done, 0 when the boot sector can't be read.
  int BootSetup() override;
  // Walks the partition table at `lba` (in the device's logical sectors, relative to
  // the volume) and the chain of extended boot records below it, handing each
  // partition to the partition sink; returns how many it handed over. A table whose
  // entries do not all have a boot flag of 0x00 or 0x80 is no table and is ignored.
  // On a volume of known size, an entry that starts beyond its end is skipped, one
  // that runs past it is cut to it (both logged): a truncated image keeps the
  // partitions that lie on it. Every table is read once per walk (a chain that loops is logged and
  // cut), and so is a table a nested walk meets again: partitions set up during the
  // walk may walk their own first sector; entries that start at sector 0 or at a
  // table are skipped.
  int ParsePartitionTable(std::int64_t lba = 0);
  static constexpr int kMaxTablesPerWalk = 1024;
  static constexpr int kMaxChainDepth = 256;
  static constexpr int kMaxNestedWalks = 8;
  // Limits of a GPT header's entry array: what a sane table never exceeds.
  static constexpr std::uint32_t kGptMaxEntries = 16384;
  static constexpr std::uint32_t kGptMaxEntrySize = 4096;
  static constexpr std::uint64_t kGptMaxEntryBytes = 1u << 20;
  // A GUID as text ("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"), from its 16 stored bytes.
  static std::u16string GuidText(const std::uint8_t* guid);

  // Fills size, sector size and the device queries by kind; state 1 (ready) or 0.
  // Opens the device for the call when it is closed and closes it again.
  int QueryInformation();

  // ---- Names and paths ------------------------------------------------------------

  // Physical drive: its description; logical drive: its mount point, with the label
  // in brackets; partition: "Volume at: %I64d" (base offset); image: the file name.
  std::u16string GetDisplayName() const override;
  // The folder path of an object, outermost folder first, each part followed by "/"
  // (empty at the root and under the lost roots); returns its length.
  std::int64_t GetObjectPath(const FoundObject& object, std::u16string& out) const;

  // 0 FAT (codes 1, 4, 6, 11, 12, 14, 17, 20, 22, 27, 28, 30), 1 NTFS (7), 2 other.
  static int GetFileSystemFamily(std::int32_t code);
  int GetFileSystemFamily() const { return GetFileSystemFamily(FileSystemTypeCode()); }
  // The parser's type name; a FAT code the name table does not know (14, 17, 20,
  // 22, 27, 28, 30) is named by its family ("FAT12", "FAT16", "FAT32"); before the
  // parser knows a type, what the boot copy names ("Unknown" when nothing).
  std::u16string GetFileSystemName() const;

  // File-system capability bits (VolumeInfo::fileSystemFlags).
  enum FileSystemFlag : std::uint32_t {
    kFsCaseSensitiveSearch = 0x1,
    kFsCasePreservedNames = 0x2,
    kFsUnicodeOnDisk = 0x4,
    kFsPersistentAcls = 0x8,
    kFsFileCompression = 0x10,
    kFsVolumeQuotas = 0x20,
    kFsSparseFiles = 0x40,
    kFsReparsePoints = 0x80,
    kFsVolumeIsCompressed = 0x8000,
    kFsObjectIds = 0x10000,
    kFsEncryption = 0x20000,
    kFsNamedStreams = 0x40000,
    kFsReadOnlyVolume = 0x80000,
  };
  // What a file system of type `code` can do: NTFS every bit but a compressed or
  // read-only volume; FAT preserves the case of names and keeps them in Unicode
  // (long names); nothing for any other code.
  static std::uint32_t FileSystemFlagsOf(std::int32_t code);

  // ---- Parser, store, bitmap, boot copy ---------------------------------------------

  // The parser; valid until SetFileSystem, which only the analysis calls.
  CFileSystem* FileSystem() const override;
  void SetFileSystem(std::unique_ptr<CFileSystem> parser);
  std::int32_t FileSystemTypeCode() const;
  void SetFileSystemTypeCode(std::int32_t code);
  // Sets the code only while none is known (0); true when it was set.
  bool SetFileSystemTypeCodeIfNone(std::int32_t code);
  FoundObjectStore& Store() { return store_; }
  const FoundObjectStore& Store() const { return store_; }
  CBitArray& ClustersBitmap() override { return bitmap_; }
  std::array<std::uint8_t, 1024> BootCopy() const override;

  // ---- Descriptive fields -----------------------------------------------------------

  VolumeInfo Info() const;
  VolumeGeometry Geometry() const override;
  void UpdateInfo(const std::function<void(VolumeInfo&)>& update) override {
    std::lock_guard lock(infoMutex_);
    update(info_);
  }

  // ---- Device node and relatives ----------------------------------------------------

  // The record that stands for this volume in the found-object tree: OBJ_DEVICE,
  // parent -12 until a parent is set, its `volume` this volume.
  const std::shared_ptr<FoundObject>& DeviceNode() const { return deviceNode_; }
  std::int32_t DeviceNodeId() const { return deviceNode_->id; }
  // Set once, when the volume is made and before it is shared.
  void SetDeviceNodeId(std::int32_t id) { deviceNode_->id = id; }
  void SetDeviceNodeParent(std::int32_t parentId) { deviceNode_->parentId = parentId; }
  // The physical drive a logical drive or partition lies on; null when none (or gone).
  std::shared_ptr<CVolume> GetParentVolume() const;
  void SetParentVolume(const std::shared_ptr<CVolume>& parent);
  // Volumes that lie on this one: logical drives of a physical drive, and
  // partitions found on it (the walk knows them by their partition start offset).
  void AddChild(const std::shared_ptr<CVolume>& child);
  std::vector<std::shared_ptr<CVolume>> Children() const;

  // ---- Analysis hooks ---------------------------------------------------------------

  // The parsers' callback for each parsed record: adds it to the store and counts
  // it (folder or file); with LogFoundNames set, a file's name is logged (string
  // 134). The store's record, or null when the store did not take it.
  FoundObject* OnObjectFound(const FoundObject& object) override;
  struct PassCounters {
    std::atomic<std::int64_t> folders{0};
    std::atomic<std::int64_t> files{0};
  };
  PassCounters& FileSystemPassCounters() { return fsCounters_; }
  PassCounters& SectorPassCounters() { return sectorCounters_; }

  // ---- Analysis -----------------------------------------------------------------------
  //
  // One analysis thread runs in the program at a time: the whole analysis, or one of
  // its passes alone. A start finds the thread before it ended (it is joined then) or
  // is refused while that thread still runs. Stopping is cooperative: the running
  // flag of ScanProgress is cleared and the stopper waits at most kStopWait; a thread
  // that has not ended by then ends by itself later and posts its end. Nothing is
  // terminated.

  static constexpr std::chrono::milliseconds kStopWait{1000};

  // The signature pass proper. The search library installs it at start-up (the
  // engine does not know the search): it searches the volume from the search start
  // to its end, or until the running flag is cleared, and reports every hit to
  // OnSignatureHit. Without one the sector pass finds nothing.
  using SectorPass = std::function<void(CVolume& volume, ScanProgress& progress, const AppSettings& settings)>;
  static void SetSectorPass(SectorPass pass);

  enum SectorPassMode : std::int32_t { kLostFileSearch = 0, kPartitionSearch = 1 };

  // The analysis on the calling thread: "Initializing drive %s" (57111), open the
  // device, boot set-up, the file-system pass and, when the settings ask for it and
  // no stop came, the signature pass; then the computer's OnAnalyseDone. A device
  // that can't be opened ends the analysis the same way.
  void Analyse();
  // The file-system pass: the parser chosen by the type code fills the store.
  // Posts WM_FILE_SYSTEM_PASS_DONE and logs the duration (135) and counts (136).
  void AnalyseFileSystem();
  // The signature pass through the installed sector pass. Posts
  // WM_SECTOR_PASS_DONE, logs the counts (136) and the duration (135).
  void AnalyseSectors();

  // Starts the analysis thread (CLocalComputer::StartAnalysis calls it): sets the
  // running flag and ScanProgress's volume, in one step with the look at them.
  // False, touching nothing, while the running flag is set or another analysis
  // thread still runs. At its end the thread logs 57123 "Analysis of %s completed",
  // or 57113 when it was stopped or the device could not be opened, and posts
  // WM_ANALYSIS_DONE with wParam the device-node id.
  bool StartAnalyseThread();
  // The passes alone on a thread of their own (the wizard): each sets the running
  // flag, current 0 and total to the total clusters, and makes the volume the
  // computer's scanned volume (the file-system pass also ScanProgress's volume).
  // `freeClustersOnly` makes the sector pass read and test only the clusters the
  // clusters bitmap marks free (see CFreeClusterMap); the whole analysis and the
  // partition search read every sector.
  bool StartAnalyseFileSystem();
  bool StartAnalyseSectors(std::int32_t mode, bool freeClustersOnly = false);
  bool StartPartitionSearch() { return StartAnalyseSectors(kPartitionSearch); }
  std::int32_t GetSectorPassMode() const { return sectorPassMode_.load(); }
  // Whether the sector pass that runs (or ran last) searches the free clusters only.
  bool SectorPassFreeClustersOnly() const { return freeClustersOnly_.load(); }
  // The free clusters as the clusters bitmap gives them (the last file-system pass
  // fills it and its parser lays it out), or the whole volume when no pass filled
  // it. Read while no file-system pass runs: the map reads the bitmap in place.
  std::unique_ptr<CFreeClusterMap> MakeFreeClusterMap() const;

  // ---- Clearing the found objects ----------------------------------------------------
  //
  // Besides the passes, other parts of the program read a volume's store: the find
  // in found files and the recovery jobs. Each registers how it stands to a clear:
  // `refusal` gives the reason (shown to the user) why the volume's store can't be
  // cleared now, empty when it may be; `release` then stops and joins its work over
  // that volume. Both run on the user-interface thread; either may be empty.
  struct StoreUser {
    std::function<std::u16string(CVolume& volume)> refusal;
    std::function<void(CVolume& volume)> release;
  };
  static int AddStoreUser(StoreUser user);
  static void RemoveStoreUser(int id);

  enum class ClearResult { kCleared, kRefusedPass, kRefusedInUse };
  // Empties the store (its device node registered again), the clusters bitmap and
  // both passes' counters, so that the next passes start from nothing. Refused,
  // with a message to the user, while a pass of this volume runs or a user of the
  // store (a recovery) can't let go; a running find over it is stopped and joined
  // first. User-interface thread.
  ClearResult ClearFoundObjects();

  // The search's callback for each hit: boot sectors become partition volumes (the
  // partition sink), file-system structures go to the parser, file hits to the store
  // as carved objects (nothing but boot sectors in partition-search mode).
  void OnSignatureHit(const FoundObject& hit);
  // Where the volume of a boot sector found at byte `at` starts: `at` for a primary
  // boot sector; for a FAT32 or NTFS backup copy, the start of the volume it belongs
  // to (known or not: a volume whose primary is gone is found at its right start),
  // with the volume's bytes as the copy gives them in `bytes` (0 for a primary).
  std::int64_t BootSectorVolumeStart(std::int64_t at, std::int64_t* bytes = nullptr);

  // From another thread: with ConfirmScanAbort set and `force` false, asks first
  // (string 170); No returns 0 and leaves the scan running. Then clears the running
  // flag when this volume's thread runs, and waits up to kStopWait for it. On the
  // analysis thread itself it only returns 1.
  int StopAnalysis(bool force);
  // State 1 (ready). On the analysis thread the thread routine then ends.
  void EndAnalysisThread();
  bool IsOnAnalysisThread() const;
  // True while a thread of this volume runs (until its very end).
  bool HasAnalysisThread() const;
  // True while that thread works on a pass (cleared before its last messages).
  bool IsAnalysing() const { return working_.load(); }

  // Waits up to `timeout` for the program's analysis thread to end and joins it;
  // true when none runs (any more).
  static bool WaitForAnalysisEnd(std::chrono::milliseconds timeout);
  // Waits for the analysis thread however long it takes, and joins it (at exit).
  static void JoinAnalysisThreads();
  // Milliseconds for the pass durations (null restores the steady clock); tests
  // make a pass last as long as they need.
  static void SetTickSource(std::function<std::int64_t()> nowMs);

 private:
  std::shared_ptr<TimedReader> CurrentReader() const;
  struct PartitionWalk {
    const void* device = nullptr;
    std::set<std::int64_t> read;    // absolute byte offsets of the tables read
    std::set<std::int64_t> tables;  // those and the ones links point to (GPT headers and entries too)
    int tablesRead = 0;
    int nesting = 0;
  };
  // The walk running on this thread: a partition volume set up by the sink walks its
  // own first sector inside the outer walk, on the same thread, and joins it.
  static thread_local PartitionWalk* activeWalk_;
  // The GUID partition table of a disk of `diskSectors` logical sectors of
  // `sectorSize` bytes (primary header at LBA 1, else the backup): each used entry
  // goes to the partition sink. False when neither header is valid (logged).
  bool WalkGpt(PartitionWalk& walk, std::int64_t sectorSize, std::int64_t diskSectors, int& added);
  void WalkTable(PartitionWalk& walk, std::int64_t lba, std::int64_t extendedBase, bool isMbr, int depth,
                 int& added);
  bool CheckRun(std::int64_t firstSector, std::int64_t count, std::size_t& bytes) const;
  // How a read ended.
  enum class ReadEnd { Complete, Short, Failed, TimedOut, Stopped };
  // `quiet`: the failure is not logged (the salvage logs its runs instead).
  template <typename Attempt>
  std::int64_t ReadWithRetries(std::int64_t firstSector, std::int64_t count, std::size_t bytes, Attempt&& attempt,
                               ReadEnd* end = nullptr, bool quiet = false);
  // Reads sectors `from` .. `count` - 1 of a run one by one into `out` (see
  // ReadSectorsSalvaged); returns the bytes the run then holds.
  std::int64_t Salvage(std::uint8_t* out, std::int64_t firstSector, std::int64_t count, std::int64_t from,
                       std::u16string_view logFormat, const ReadRunSink* readRun = nullptr);
  // Whether a read of `sector` that gave `got` bytes ended at the device's end.
  bool AtDeviceEnd(std::int64_t sector, std::int64_t got);

  const std::int32_t kind_;
  std::atomic<std::int32_t> state_{kNotReady};

  mutable std::mutex deviceMutex_;
  std::shared_ptr<TimedReader> reader_;
  DeviceOpener opener_;

  mutable std::mutex infoMutex_;
  VolumeInfo info_;
  std::array<std::uint8_t, 1024> bootCopy_{};
  std::int64_t bootCopySector_ = 0;

  mutable std::shared_mutex fsMutex_;
  std::unique_ptr<CFileSystem> fs_;

  FoundObjectStore store_;
  CBitArray bitmap_;
  std::shared_ptr<FoundObject> deviceNode_;

  mutable std::mutex familyMutex_;
  std::weak_ptr<CVolume> parent_;
  std::vector<std::weak_ptr<CVolume>> children_;

  enum class ThreadKind : std::int32_t { None, Analysis, FileSystemPass, SectorPass };
  bool StartThread(ThreadKind kind, std::int32_t sectorPassMode, bool freeClustersOnly = false);
  void ThreadMain(ThreadKind kind);
  void PassEnded(ThreadKind pass, std::uint32_t message);
  void EndWithoutComputer();
  // The store emptied, with this volume's node and the partitions found on it
  // registered again.
  void ResetStore();
  static std::int64_t NowMs();

  std::atomic<ThreadKind> threadKind_{ThreadKind::None};
  std::atomic<bool> working_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> aborted_{false};
  std::atomic<std::int32_t> sectorPassMode_{kLostFileSearch};
  std::atomic<bool> freeClustersOnly_{false};

  std::atomic<std::int32_t> readRetries_{10};
  std::atomic<bool> logFoundNames_{false};
  std::atomic<std::int64_t> waitPerSector_{512};
  PassCounters fsCounters_;
  PassCounters sectorCounters_;
};
