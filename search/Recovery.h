#pragma once
// Recovery of found objects into a destination folder, and "try to open" (the same
// copy into a private temporary folder, then the copy opened with the desktop's
// application). Each job runs on a thread of its own at the lowest priority (nice
// 19), logs every file, and stops when the recovery-running flag of ScanProgress is
// cleared (after its current chunk, or at once while a question is open).
//
// The road of one object (FileRecovery): its folder path is recreated under the
// destination (no drive part; every part cleaned, see RecoveryNames.h) when the
// settings' KeepFolderStructure is on (the default; "try to open" always keeps it),
// else the file goes straight into the destination; a carved
// object whose size is unknown (-1) gets one by the size modes, its data is read
// through CVolume::ReadObjectData in chunks of 2 MB and written whole at its
// offset (a short read is zero-filled), and its modification and access times are
// restored. Nothing in the destination is ever overwritten or reached through a
// link: a name already taken gives "photo (2).jpg", "photo (3).jpg".
//
// Damaged sources: only the bytes an object can give are written (its size bounded
// by the volume and by its chain or runs, CVolume::ReadableSize); sectors that can't
// be read are zeros in the copy, logged by their numbers, and the file's line says
// how many (it still counts as recovered); the end says how many files had them.
// A write that fails removes the file being written (only a stop keeps a partial
// file); one that every later file would meet as well (no space, quota, read-only,
// the destination's device failing) stops the job with a message saying why, and
// the last log line says that the recovery stopped.
//
// Size modes for a carved object whose size is unknown:
//   1 the file type's typical size in KB x 1,024
//   2 the distance to the next object of the store in offset order (else mode 1)
//   3 the distance to the next object of the same type (else mode 1)
//   4 a size the user gave
// A mode comes from the job (scope "all remaining"), else from the type's
// remembered mode (scope "this type"), else from the size question. Modes 2 and 3
// and the question's distances read the store's offset index, which a file-system
// pass alone leaves off: a start switches it on for the selection's store first.
//
// Questions, through AskUser (engine/records/UserCallbacks.h). The worker waits for the
// answer; a stop answers Cancel. What each question carries:
//
//   QuestionKind::ProbableFileSize: the probable-size dialog for one carved object.
//     text: the type's name; detail: the object's name.
//     values: [kSizeOffset] the object's offset in bytes, [kSizeCurrent] its size
//       (-1), [kSizeDeleted] 1 deleted / 0 live, [kSizeTypicalKB] the type's typical
//       size in KB (0 when the object has no type), [kSizeNextAny] the distance in
//       bytes to the next found object of any type and [kSizeNextSame] to the next
//       of the same type (each -1 when there is none), [kSizeTypeId] its type id.
//     Reply: Answer::Ok with values [kReplyMode] the size mode 1..4, [kReplyScope]
//       0 this file, 1 all files of this type, 2 all remaining files, and
//       [kReplyCustomBytes] the custom size in bytes (mode 4); Answer::Ignore for
//       "Skip File" (the dialog's command 5); anything else cancels this file.
//
//   QuestionKind::DestinationOnSource: the destination lies on the source drive.
//     text, caption ("Warning!"), Buttons::OkCancel, MessageIcon::Error; detail:
//     the destination folder.
//     Reply: Answer::Ok with text the folder chosen in the folder browser (titled
//       "Select destination folder for recovered files"; empty when the browser
//       was cancelled: the question comes again); anything else gives up.
//
//   QuestionKind::DestinationUnknown: the destination's drive can't be told apart
//     from the source's. Buttons::YesNo; detail: the destination folder.
//     Reply: Answer::Yes recovers there; anything else gives up.
//
//   QuestionKind::DeleteTemporaryFiles: string 200 "Delete temporary files?",
//     caption 157, Buttons::YesNo, MessageIcon::Question; values [0] the number of
//     files; detail: the private folder that holds them.
//     Reply: Answer::Yes deletes them. Asked on the caller's thread (the main
//     frame at shutdown): the interface answers it there before returning.
//
// Threads: the user interface reads the counters (total, index, percent, success
// count, current object) without waiting; they are atomic. The selection and the
// options are set before a start and not touched while the thread runs. The
// objects must stay in their store while the job runs (the store is not cleared).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/device/SectorBuffer.h"
#include "engine/records/AppSettings.h"
#include "engine/records/UserCallbacks.h"
#include "engine/store/FoundObject.h"
#include "engine/volume/DeviceMatch.h"
#include "search/RecoveryNames.h"

class CVolume;
class FileType;
class FileTypeDatabase;

class CRecovery {
 public:
  enum class Kind { Recovery, TryOpen };

  static constexpr std::uint32_t kChunkSize = 2097152;

  // Indexes into Question::values and Reply::values of the size question.
  static constexpr std::size_t kSizeOffset = 0, kSizeCurrent = 1, kSizeDeleted = 2, kSizeTypicalKB = 3,
                               kSizeNextAny = 4, kSizeNextSame = 5, kSizeTypeId = 6;
  static constexpr std::size_t kReplyMode = 0, kReplyScope = 1, kReplyCustomBytes = 2;

  // The destination check: whether `folder` (UTF-8) lies on the volume's drive.
  using DestinationMatcher = std::function<DeviceMatch(const std::string& folder, const CVolume& volume)>;

  // One selected object and the volume whose store holds it.
  struct SelectedObject {
    std::shared_ptr<CVolume> volume;
    FoundObject* object = nullptr;
  };

  explicit CRecovery(Kind kind = Kind::Recovery);
  // Stops the job and waits for its thread.
  ~CRecovery();
  CRecovery(const CRecovery&) = delete;
  CRecovery& operator=(const CRecovery&) = delete;

  Kind GetKind() const { return kind_; }

  // ---- Before a start -----------------------------------------------------------

  // The objects to copy, all from the store of `volume`, in order. False while the
  // thread runs.
  bool SetSelection(std::shared_ptr<CVolume> volume, std::vector<FoundObject*> objects);
  // The same from objects that each name their volume: a selection that spans
  // volumes is refused with a message (and logged); false then.
  bool SetSelection(const std::vector<SelectedObject>& objects);
  const std::vector<FoundObject*>& Selection() const { return selection_; }
  std::shared_ptr<CVolume> SourceVolume() const { return volume_; }

  // The size mode for the remaining carved objects (0 ask) and its size in KB for
  // mode 4 (-1 none). Both stay for the rest of the job's life.
  void SetSizeMode(std::int32_t mode, std::int64_t sizeKB = -1);
  std::int32_t SizeMode() const { return sizeMode_.load(); }
  std::int64_t SizeKB() const { return sizeKB_.load(); }

  // The types (null: g_FileTypes), the run flag (null: ScanProgress's
  // recovery-running flag), the destination check (default: MatchDestination
  // against the device tree) and the receiver of WM_RECOVERY_PROGRESS (0: the top
  // window).
  void SetFileTypes(FileTypeDatabase* database) { database_ = database; }
  void SetRunFlag(std::atomic<std::int32_t>* flag) { flag_ = flag; }
  void SetDestinationMatcher(DestinationMatcher matcher) { matcher_ = std::move(matcher); }
  void SetNotifyTarget(std::uint64_t target) { notifyTarget_ = target; }
  // How the copies are written (null: write(2) until all is written); tests make a
  // destination fail with a chosen errno. True when every byte went out, else false
  // with errno set.
  using WriteFunction = std::function<bool(int fd, const std::uint8_t* data, std::size_t bytes)>;
  void SetWriteFunction(WriteFunction writer) { writer_ = std::move(writer); }

  // ---- Running ------------------------------------------------------------------

  // The store's offset index switched on, total bytes = SumSelection, success
  // count 0, run flag 1, then the thread. The
  // recovery logs string 184 "Recovery started." (183 and no start for an empty
  // selection); callers do not log them again. The destination is the settings'
  // DestinationFolder (recovery) or TempFolder (try to open), from the snapshot the
  // start takes. False when the selection is empty or has no volume, or while a
  // job's thread (this one's or another's: they share the flag) is alive.
  bool StartRecovery();
  bool StartTryOpen();
  // Clears the run flag: the copy ends after its current chunk, an open question
  // is answered Cancel.
  void StopRecovery();
  // Clears the flag and waits at most `wait` for the thread; true when it ended.
  // Nothing kills a thread: one that has not ended is left to end by itself.
  bool KillThread(std::chrono::milliseconds wait = std::chrono::milliseconds(1000));
  // Waits for the thread to end by itself.
  void Join();
  bool IsThreadAlive() const { return alive_.load(); }

  // ---- Progress (read by the progress dialog on its timer) ------------------------

  std::int64_t TotalBytes() const { return total_.load(); }
  std::int32_t CurrentIndex() const { return index_.load(); }
  std::int32_t CurrentPercent() const { return percent_.load(); }
  std::int32_t SuccessCount() const { return success_.load(); }
  // Recovered files that had sectors which could not be read (zeros in the copy).
  std::int32_t DamagedCount() const { return damaged_.load(); }
  // The errno that stopped the job because the destination can't take more files
  // (no space, quota, read-only, its device failing); 0 when none did.
  int DestinationError() const { return destinationError_.load(); }
  std::size_t Count() const { return selection_.size(); }
  // The object being copied (null before the first and after the last).
  FoundObject* CurrentObject() const { return current_.load(); }
  // The path of the file being written (UTF-8 at the system, UTF-16 here).
  std::u16string CurrentPath() const;
  // The destination the job writes into (after the destination check may have
  // replaced it; for "try to open" the private folder).
  std::u16string Destination() const;

  // ---- "Try to open" --------------------------------------------------------------

  // The temporary copies made so far.
  std::vector<std::u16string> TemporaryFiles() const;
  // When copies were made: asks string 200 and on Yes deletes them (and the
  // private folder, once empty). Returns 1.
  int DeleteTemporaryFiles();

  // ---- The steps (used by the job's thread) -----------------------------------------

  // Checks `folder` against the source drive; 1 to go on, 0 to give up. May replace
  // the folder with one the user chose.
  int CheckDestinationDrive(std::u16string& folder);
  // Creates every level of a folder (links followed: the user chose it); 1 when the
  // path is a folder at the end, 0 (logged) otherwise.
  static int CreateFolder(const std::u16string& path);
  // Recovers one object under `folder` (null: the job's destination); the bytes
  // written, 0 when nothing was recovered. Runs on the job's thread.
  std::int64_t FileRecovery(FoundObject* object, const std::u16string* folder = nullptr);

  // The size a size mode gives an object of `volume`'s store, as the recovery
  // settles it: 1 the type's typical size (KB x 1,024), 2 the distance to the next
  // object by offset, 3 to the next of the same type (each else mode 1), 4
  // `customBytes`. -1 when the mode gives none (no type, an unknown mode). The
  // type is looked up in `database` (null: g_FileTypes). Any thread; takes the
  // store's read lock.
  static std::int64_t SizeByMode(const CVolume& volume, const FoundObject& snapshot, std::int32_t mode,
                                 std::int64_t customBytes, FileTypeDatabase* database = nullptr);

  // The size question (QuestionKind::ProbableFileSize, above) for an object of
  // `volume`'s store, as the recovery asks it: the type's name and typical size
  // from `database` (null: g_FileTypes), the distances from the object's own store.
  // Any thread; takes the store's read lock.
  static Question ProbableSizeQuestion(const CVolume& volume, const FoundObject& snapshot,
                                       FileTypeDatabase* database = nullptr);
  // Switches the store's offset index on, once per store (a rebuild on a store
  // that keeps it already would change nothing but cost a pass). Any thread.
  static void SwitchOnOffsetIndex(CVolume& volume);

  // The sum of the sizes of the files in a selection (unknown sizes and folders
  // count 0).
  static std::int64_t SumSelection(const std::vector<FoundObject*>& objects, const CVolume* volume = nullptr);

 private:
  struct Target;
  bool Start(Kind kind);
  void ThreadMain(Kind kind);
  void RunRecovery();
  void RunTryOpen();
  bool Running() const;
  // Settles an unknown size; false when the object is skipped (logged).
  bool SettleSize(FoundObject* object, FoundObject& snapshot);
  static std::int64_t SizeByMode(const CVolume& volume, FileTypeDatabase* database, std::int32_t mode,
                                 std::int64_t customBytes, const FoundObject& snapshot, const FileType* type);
  // Copies the first `readable` bytes of the object (its size as far as it can be
  // read, CVolume::ReadableSize).
  std::int64_t RecoveryCycle(int folderFd, const std::string& name, const std::u16string& folderText,
                             const FoundObject& snapshot, std::int64_t readable);
  bool Write(int fd, const std::uint8_t* data, std::size_t bytes);
  // A write error that every later file would meet as well.
  static bool IsDestinationFailure(int error);
  // After a destination failure: says why and that the job stopped (the last log
  // line); true when it did.
  bool StoppedByDestination();
  void LogDamagedFiles();
  void SetCurrentPath(std::u16string path);
  int OpenDestination(const std::u16string& folder);
  FileTypeDatabase* Database() const;
  std::atomic<std::int32_t>& Flag() const;

  const Kind kind_;
  std::atomic<std::int32_t> sizeMode_{0};
  std::atomic<std::int64_t> sizeKB_{-1};
  std::shared_ptr<CVolume> volume_;
  std::vector<FoundObject*> selection_;
  std::atomic<std::int64_t> total_{0};
  std::atomic<std::int32_t> index_{0};
  std::atomic<FoundObject*> current_{nullptr};
  std::atomic<std::int32_t> percent_{0};
  std::atomic<std::int32_t> success_{0};
  std::atomic<std::int32_t> damaged_{0};
  std::atomic<int> destinationError_{0};
  WriteFunction writer_;
  SectorBuffer buffer_;

  AppSettings settings_;  // the snapshot of the running job
  FileTypeDatabase* database_ = nullptr;
  std::atomic<std::int32_t>* flag_ = nullptr;
  DestinationMatcher matcher_;
  std::uint64_t notifyTarget_ = 0;

  // The destination of the running job: its text and descriptor (-1 none), and
  // the name hints of the job's folders and files.
  std::u16string destination_;
  int destinationFd_ = -1;
  recovery::NameHints folderHints_;
  recovery::NameHints fileHints_;
  std::u16string lastFile_;  // the file the last FileRecovery wrote completely
  bool interrupted_ = false;  // the last FileRecovery was cut short by a stop

  mutable std::mutex textMutex_;  // currentPath_, destination shown, the temporary list
  std::u16string currentPath_;
  std::u16string shownDestination_;
  std::string privateFolder_;  // "try to open": made by mkdtemp, UTF-8
  std::vector<std::u16string> temporaryFiles_;
  std::vector<std::string> temporaryFolders_;  // folders made inside the private folder

  std::thread thread_;
  std::atomic<bool> alive_{false};
  std::mutex endMutex_;
  std::condition_variable ended_;
};
