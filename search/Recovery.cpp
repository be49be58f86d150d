#include "search/Recovery.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/ConfigFolderGuard.h"
#include "engine/volume/Volume.h"
#include "platform/BlockDevices.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "search/FileTypeDatabase.h"

namespace {

// The job whose thread is alive. The two jobs share the run flag, so only one runs
// at a time, and a new one waits until the old thread has ended.
std::atomic<CRecovery*> g_activeJob{nullptr};

constexpr std::u16string_view kOnSourceText =
    u"The destination folder is on the same drive with the source. You should change the destination location "
    u"for recovered files.\nSelect another destination folder for recovered files?";
constexpr std::u16string_view kUnknownDriveText =
    u"The drive of the destination folder can't be told apart from the source drive. Recover the files into it "
    u"anyway?";
constexpr std::u16string_view kSpansVolumesText =
    u"The selected files lie on more than one drive. Recover the files of one drive at a time.";

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A folder's text as the log shows it: ending with "/".
std::u16string FolderText(const std::string& path) {
  std::string p = StripTrailingSlashes(path);
  if (p.empty() || p.back() != '/') p += '/';
  return platform::Utf8ToUtf16(p);
}

bool IsFolderPath(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

timespec ToTimespec(platform::FileTime t) {
  timespec ts{};
  if (t == 0) {
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  platform::UnixFromFileTime(t, seconds, nanoseconds);
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(nanoseconds);
  return ts;
}

}  // namespace

CRecovery::CRecovery(Kind kind) : kind_(kind) {}

CRecovery::~CRecovery() {
  if (alive_.load()) StopRecovery();
  Join();
  if (destinationFd_ >= 0) close(destinationFd_);
}

// ---- Selection and options -------------------------------------------------------

bool CRecovery::SetSelection(std::shared_ptr<CVolume> volume, std::vector<FoundObject*> objects) {
  if (alive_.load()) return false;
  objects.erase(std::remove(objects.begin(), objects.end(), nullptr), objects.end());
  volume_ = std::move(volume);
  selection_ = std::move(objects);
  return true;
}

bool CRecovery::SetSelection(const std::vector<SelectedObject>& objects) {
  if (alive_.load()) return false;
  std::shared_ptr<CVolume> volume;
  std::vector<FoundObject*> list;
  for (const SelectedObject& s : objects) {
    if (!s.object) continue;
    if (!s.volume) return false;
    if (volume && s.volume != volume) {
      Log().Error(kSpansVolumesText);
      ShowUserMessage(std::u16string(kSpansVolumesText), u"Error", MessageIcon::Error);
      return false;
    }
    volume = s.volume;
    list.push_back(s.object);
  }
  return SetSelection(std::move(volume), std::move(list));
}

void CRecovery::SetSizeMode(std::int32_t mode, std::int64_t sizeKB) {
  sizeMode_.store(mode);
  sizeKB_.store(sizeKB);
}

std::int64_t CRecovery::SumSelection(const std::vector<FoundObject*>& objects, const CVolume* volume) {
  std::int64_t total = 0;
  for (const FoundObject* o : objects) {
    if (!o) continue;
    const FoundObject r = volume ? volume->Store().Snapshot(*o) : *o;
    if (r.IsFolder() || r.IsDevice() || r.size <= 0) continue;
    total += r.size;
  }
  return total;
}

FileTypeDatabase* CRecovery::Database() const { return database_ ? database_ : g_FileTypes; }

std::atomic<std::int32_t>& CRecovery::Flag() const {
  return flag_ ? *flag_ : GetScanProgress().recoveryRunning;
}

bool CRecovery::Running() const { return Flag().load() == 1; }

// ---- Thread ---------------------------------------------------------------------

bool CRecovery::StartRecovery() { return Start(Kind::Recovery); }
bool CRecovery::StartTryOpen() { return Start(Kind::TryOpen); }

bool CRecovery::Start(Kind kind) {
  if (selection_.empty()) {
    if (kind == Kind::Recovery) Log().ErrorId(183);  // "Recovery list is empty!"
    return false;
  }
  if (!volume_ || alive_.load()) return false;
  if (thread_.joinable()) thread_.join();
  CRecovery* none = nullptr;
  if (!g_activeJob.compare_exchange_strong(none, this)) return false;

  settings_ = Settings().Snapshot();
  SwitchOnOffsetIndex(*volume_);
  // The numbered names seen taken are a run's own: a folder removed since may have
  // left its inode number to a new one.
  folderHints_ = {};
  fileHints_ = {};
  total_.store(SumSelection(selection_, volume_.get()));
  index_.store(0);
  percent_.store(0);
  current_.store(nullptr);
  success_.store(0);
  damaged_.store(0);
  destinationError_.store(0);
  SetCurrentPath({});
  // Set once for the job, before the thread runs: a stop at any moment from now on
  // is seen, between files and while a question is open.
  Flag().store(1);
  if (kind == Kind::Recovery) Log().InfoId(184);
  alive_.store(true);
  try {
    thread_ = std::thread([this, kind] { ThreadMain(kind); });
  } catch (...) {
    alive_.store(false);
    Flag().store(0);
    g_activeJob.store(nullptr);
    return false;
  }
  return true;
}

void CRecovery::StopRecovery() {
  // The flag is shared: a job that does not run leaves another's alone.
  CRecovery* active = g_activeJob.load();
  if (active == this || active == nullptr) Flag().store(0);
}

bool CRecovery::KillThread(std::chrono::milliseconds wait) {
  StopRecovery();
  std::unique_lock lock(endMutex_);
  const bool ended = ended_.wait_for(lock, wait, [this] { return !alive_.load(); });
  lock.unlock();
  if (ended && thread_.joinable()) thread_.join();
  return ended;
}

void CRecovery::Join() {
  if (thread_.joinable()) thread_.join();
}

void CRecovery::ThreadMain(Kind kind) {
  // The lowest priority, for this thread only.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
  // Abort is seen by every read, retry and salvaged sector of the job.
  const ReadStop stop([this] { return !Running(); });
  // Nothing of the program's own is written onto the drive recovered from.
  std::optional<ConfigFolderGuard> guard;
  if (volume_) guard.emplace(*volume_);
  try {
    if (kind == Kind::Recovery)
      RunRecovery();
    else
      RunTryOpen();
  } catch (...) {
    Log().Error(u"Recovery_Thread.FatalError");
  }
  if (destinationFd_ >= 0) {
    close(destinationFd_);
    destinationFd_ = -1;
  }
  current_.store(nullptr);
  Flag().store(0);
  g_activeJob.store(nullptr);
  {
    std::lock_guard lock(endMutex_);
    alive_.store(false);
  }
  ended_.notify_all();
}

bool CRecovery::StoppedByDestination() {
  const int error = destinationError_.load();
  if (error == 0) return false;
  const std::u16string why = platform::Utf8ToUtf16(std::strerror(error));
  const std::u16string text = platform::Format(
      u"The destination folder can't take any more files (%s). The recovery stops; the files recovered so far "
      u"are kept.",
      why);
  ShowUserMessage(text, u"Error", MessageIcon::Error);
  // The last line says that the recovery stopped, and why.
  Log().Error(u"Recovery stopped: the destination folder can't be written (%s).", why);
  return true;
}

void CRecovery::LogDamagedFiles() {
  if (const std::int32_t n = damaged_.load())
    Log().Error(u"Recovery: %d of the recovered files had unreadable sectors, zero-filled in the copies", n);
}

void CRecovery::RunRecovery() {
  std::u16string folder = settings_.DestinationFolder();
  if (CheckDestinationDrive(folder) && OpenDestination(folder)) {
    bool stopped = false;
    for (std::size_t i = 0; i < selection_.size(); ++i) {
      index_.store(static_cast<std::int32_t>(i));
      if (!Running()) {
        Log().InfoId(213);
        stopped = true;
        break;
      }
      FileRecovery(selection_[i], nullptr);
      if (destinationError_.load() != 0) {
        current_.store(nullptr);
        LogDamagedFiles();
        StoppedByDestination();
        return;
      }
      if (interrupted_) {
        Log().InfoId(213);
        stopped = true;
        break;
      }
    }
    current_.store(nullptr);
    if (!stopped) index_.store(static_cast<std::int32_t>(selection_.size()));
    LogDamagedFiles();
  }
  Log().InfoId(214);
}

void CRecovery::RunTryOpen() {
  std::u16string base = settings_.TempFolder();
  if (base.empty()) base = platform::Utf8ToUtf16(platform::TempDir());
  if (volume_) {
    // The copies never go onto the drive they come from: where the temporary folder
    // lies on it, a folder in memory serves (the user's runtime folder, /dev/shm);
    // where none does, the destination check says so.
    auto off = [&](const std::string& folder) {
      return (matcher_ ? matcher_(folder, *volume_) : MatchDestination(folder, *volume_, platform::BlockDeviceTree())) ==
             DeviceMatch::Different;
    };
    if (!off(platform::Utf16ToUtf8(base))) {
      const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      for (const std::string& candidate : {std::string(runtime ? runtime : ""), std::string("/dev/shm")}) {
        if (candidate.empty() || !IsFolderPath(candidate) || !off(candidate)) continue;
        Log().Info(platform::Format(u"The temporary folder %s lies on the drive being read: the copies go to %s",
                                    base, platform::Utf8ToUtf16(candidate)));
        base = platform::Utf8ToUtf16(candidate);
        break;
      }
    }
  }
  if (!CheckDestinationDrive(base) || !CreateFolder(base)) return;
  // The copies go in a folder of our own (mode 0700, an unpredictable name), never
  // straight into the shared temporary folder.
  std::string privateFolder;
  {
    std::lock_guard lock(textMutex_);
    privateFolder = privateFolder_;
  }
  struct stat st{};
  if (privateFolder.empty() || lstat(privateFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::string templ = platform::JoinPath(StripTrailingSlashes(platform::Utf16ToUtf8(base)), "vandrel-open-XXXXXX");
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
      Log().ErrorId(186);
      return;
    }
    privateFolder = buf.data();
    std::lock_guard lock(textMutex_);
    privateFolder_ = privateFolder;
    temporaryFolders_.clear();
  }
  if (!OpenDestination(platform::Utf8ToUtf16(privateFolder))) return;

  for (std::size_t i = 0; i < selection_.size(); ++i) {
    index_.store(static_cast<std::int32_t>(i));
    if (!Running()) {
      Log().InfoId(213);
      current_.store(nullptr);
      return;
    }
    FileRecovery(selection_[i], nullptr);
    if (destinationError_.load() != 0) {
      current_.store(nullptr);
      StoppedByDestination();
      return;
    }
    if (interrupted_) {
      Log().InfoId(213);
      current_.store(nullptr);
      return;
    }
  }
  current_.store(nullptr);
  index_.store(static_cast<std::int32_t>(selection_.size()));
  LogDamagedFiles();
  if (lastFile_.empty()) return;
  const std::string path = platform::Utf16ToUtf8(lastFile_);
  if (access(path.c_str(), F_OK) != 0) return;
  if (OpenWithDesktop(path))
    Log().InfoId(205, lastFile_);
  else
    Log().ErrorId(206, lastFile_);
}

// ---- Destination ------------------------------------------------------------------

int CRecovery::CheckDestinationDrive(std::u16string& folder) {
  if (!volume_) return 1;
  for (;;) {
    const std::string path = platform::Utf16ToUtf8(folder);
    const DeviceMatch match =
        matcher_ ? matcher_(path, *volume_) : MatchDestination(path, *volume_, platform::BlockDeviceTree());
    if (match == DeviceMatch::Different) return 1;
    Question q;
    q.detail = folder;
    if (match == DeviceMatch::Same) {
      q.kind = QuestionKind::DestinationOnSource;
      q.text = std::u16string(kOnSourceText);
      q.caption = u"Warning!";
      q.buttons = Buttons::OkCancel;
      q.icon = MessageIcon::Error;
      const Reply reply = AskUser(q, [this] { return Running(); });
      if (reply.answer != Answer::Ok) return 0;
      if (!reply.text.empty()) folder = reply.text;
      continue;
    }
    q.kind = QuestionKind::DestinationUnknown;
    q.text = std::u16string(kUnknownDriveText);
    q.caption = u"Warning!";
    q.buttons = Buttons::YesNo;
    q.icon = MessageIcon::Warning;
    return AskUser(q, [this] { return Running(); }).answer == Answer::Yes ? 1 : 0;
  }
}

int CRecovery::CreateFolder(const std::u16string& folder) {
  const std::string path = StripTrailingSlashes(platform::Utf16ToUtf8(folder));
  if (path.empty()) return 0;
  if (IsFolderPath(path)) return 1;
  for (std::size_t pos = 0;;) {
    pos = path.find('/', pos + 1);
    const std::string prefix = path.substr(0, pos);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
      Log().Error(u"\nCan't create folder:\n\"%s\"\n\nError code: %d", platform::Utf8ToUtf16(prefix), errno);
      return 0;
    }
    if (pos == std::string::npos) break;
  }
  if (IsFolderPath(path)) return 1;
  Log().Error(u"\nCan't create folder:\n\"%s\"\n\nError code: %d", folder, ENOTDIR);
  return 0;
}

int CRecovery::OpenDestination(const std::u16string& folder) {
  if (destinationFd_ >= 0) {
    close(destinationFd_);
    destinationFd_ = -1;
  }
  if (!CreateFolder(folder)) {
    Log().ErrorId(210, folder);
    return 0;
  }
  const std::string path = StripTrailingSlashes(platform::Utf16ToUtf8(folder));
  destinationFd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (destinationFd_ < 0) {
    Log().ErrorId(210, folder);
    return 0;
  }
  destination_ = platform::Utf8ToUtf16(path);
  std::lock_guard lock(textMutex_);
  shownDestination_ = destination_;
  return 1;
}

std::u16string CRecovery::Destination() const {
  std::lock_guard lock(textMutex_);
  return shownDestination_;
}

std::u16string CRecovery::CurrentPath() const {
  std::lock_guard lock(textMutex_);
  return currentPath_;
}

void CRecovery::SetCurrentPath(std::u16string path) {
  std::lock_guard lock(textMutex_);
  currentPath_ = std::move(path);
}

// ---- One object -------------------------------------------------------------------

std::int64_t CRecovery::FileRecovery(FoundObject* object, const std::u16string* folder) {
  lastFile_.clear();
  interrupted_ = false;
  if (!object || !volume_) return 0;
  current_.store(object);
  percent_.store(0);
  FoundObjectStore& store = volume_->Store();
  FoundObject snapshot = store.Snapshot(*object);
  if (snapshot.IsDevice()) return 0;
  std::u16string name(snapshot.Name());
  if (name.empty()) name = platform::Format(GetLangString(4865), snapshot.offset);

  // The destination: the job's, or a folder given for this call.
  int baseFd = destinationFd_;
  std::u16string baseText = destination_;
  int ownFd = -1;
  if (folder) {
    const std::string path = StripTrailingSlashes(platform::Utf16ToUtf8(*folder));
    if (CreateFolder(*folder)) ownFd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    baseFd = ownFd;
    baseText = platform::Utf8ToUtf16(path);
  }
  if (baseFd < 0) {
    Log().ErrorId(210, folder ? *folder : settings_.DestinationFolder());
    return 0;
  }
  struct FdCloser {
    int& fd;
    ~FdCloser() {
      if (fd >= 0) close(fd);
    }
  } closeOwn{ownFd};

  // The folder path, each part cleaned; a selected folder is recreated itself.
  std::u16string objectPath;
  volume_->GetObjectPath(snapshot, objectPath);
  std::vector<std::u16string> rawParts;
  store.PathParts(snapshot, rawParts);
  std::vector<std::string> parts;
  for (const std::u16string& p : rawParts) parts.push_back(recovery::CleanPathPart(p));
  const std::string fileName = recovery::CleanPathPart(name);
  if (snapshot.IsFolder()) parts.push_back(fileName);
  // Without "Keep folder structure" every file goes straight into the destination
  // (a name met twice is numbered) and a selected folder makes nothing.
  if (kind_ == Kind::Recovery && settings_.KeepFolderStructure() == 0) parts.clear();
  for (const std::string& p : parts) {
    // Cleaned parts are single components: the path cannot leave the destination.
    if (!recovery::IsCleanPart(p)) {
      Log().Error(u"FileRecovery: File '%s' skipped: its path leaves the destination", name);
      return 0;
    }
  }

  if (!snapshot.IsFolder() && snapshot.size != 0 && !volume_->CanReadObjectData(snapshot)) {
    // A file of zeros would pass for the user's file: none is made, nor its folders.
    Log().Error(u"FileRecovery: File '%s' skipped: its data can't be read from this file system", name);
    return 0;
  }
  if (!snapshot.IsFolder() && snapshot.size > 0 && volume_->ReadableSize(snapshot) <= 0) {
    Log().Error(u"FileRecovery: File '%s' skipped: none of its %I64d bytes lie inside the volume", name,
                snapshot.size);
    return 0;
  }

  std::vector<std::string> used;
  int dirFd = recovery::OpenFolderChain(baseFd, parts, used, &folderHints_);
  std::string relative;
  for (const std::string& u : used) relative += u + "/";
  const std::u16string targetFolder = FolderText(platform::Utf16ToUtf8(baseText)) + platform::Utf8ToUtf16(relative);
  if (dirFd < 0) {
    Log().ErrorId(210, targetFolder);
    return 0;
  }
  FdCloser closeDir{dirFd};
  if (kind_ == Kind::TryOpen && !folder) {
    std::lock_guard lock(textMutex_);
    std::string prefix = StripTrailingSlashes(platform::Utf16ToUtf8(baseText));
    for (const std::string& u : used) {
      prefix += "/" + u;
      if (std::find(temporaryFolders_.begin(), temporaryFolders_.end(), prefix) == temporaryFolders_.end())
        temporaryFolders_.push_back(prefix);
    }
  }
  if (snapshot.IsFolder()) return 0;

  SetCurrentPath(targetFolder + platform::Utf8ToUtf16(fileName));
  if (snapshot.size < 0 && snapshot.flags.Any(OBJ_RAW | OBJ_CARVED) && !SettleSize(object, snapshot)) return 0;
  if (snapshot.size < 0) {
    Log().ErrorId(202, name);
    return 0;
  }
  Log().InfoId(201, name, objectPath, targetFolder);
  if (snapshot.size == 0) {
    Log().ErrorId(215, targetFolder + platform::Utf8ToUtf16(fileName));
    return 0;
  }
  // No more than the volume (and the file's chain or runs) can give: a damaged
  // entry's size is never written out whole. The size shown stays the entry's own.
  const std::int64_t readable = std::min(snapshot.size, volume_->ReadableSize(snapshot));
  if (readable <= 0) {
    Log().Error(u"FileRecovery: File '%s' skipped: none of its %I64d bytes lie inside the volume", name,
                snapshot.size);
    return 0;
  }
  if (readable < snapshot.size)
    Log().Error(u"FileRecovery: File '%s' claims %I64d bytes, of which only %I64d can be read: those are written",
                name, snapshot.size, readable);
  return RecoveryCycle(dirFd, fileName, targetFolder, snapshot, readable);
}

// ---- Sizes ------------------------------------------------------------------------

bool CRecovery::SettleSize(FoundObject* object, FoundObject& snapshot) {
  FileTypeDatabase* db = Database();
  const FileType* type = db ? db->FindForObject(snapshot) : nullptr;
  // The database's types are its own and never removed; the recovery changes only
  // the remembered mode (atomic) and, under the edit lock, the typical size.
  FileType* editable = const_cast<FileType*>(type);
  std::int32_t typicalKB = 0;
  if (type) {
    auto lock = db->LockForEdit();
    typicalKB = type->typicalSizeKB();
  }
  const std::u16string name(snapshot.Name());

  std::int32_t mode = sizeMode_.load();
  std::int64_t customBytes = sizeKB_.load() < 0 ? -1 : sizeKB_.load() * 1024;
  if (mode == 0 && type && type->rememberedSizeMode.load() != 0) {
    mode = type->rememberedSizeMode.load();
    customBytes = std::int64_t(typicalKB) * 1024;
  }
  if (mode == 0) {
    const Question q = ProbableSizeQuestion(*volume_, snapshot, db);
    const Reply reply = AskUser(q, [this] { return Running(); });
    if (!Running()) interrupted_ = true;
    if (reply.answer == Answer::Ignore) {
      Log().ErrorId(202, name);
      return false;
    }
    if (reply.answer != Answer::Ok || reply.values.size() <= kReplyMode || reply.values[kReplyMode] < 1 ||
        reply.values[kReplyMode] > 4) {
      Log().ErrorId(203, name);
      return false;
    }
    mode = static_cast<std::int32_t>(reply.values[kReplyMode]);
    const std::int64_t scope = reply.values.size() > kReplyScope ? reply.values[kReplyScope] : 0;
    customBytes = reply.values.size() > kReplyCustomBytes ? reply.values[kReplyCustomBytes] : -1;
    // A size kept for later files is kept in whole KB, rounded up: a size under
    // 1 KB would otherwise become 0 and every later file of the scope be skipped.
    const std::int64_t customKB = customBytes < 0 ? -1 : customBytes / 1024 + (customBytes % 1024 != 0);
    if (scope == 1 && editable) {
      editable->rememberedSizeMode.store(mode);
      if (mode == 4 && customKB >= 0) {
        auto lock = db->LockForEdit();
        editable->SetTypicalSizeKB(static_cast<std::int32_t>(std::min<std::int64_t>(customKB, INT32_MAX)));
      }
    } else if (scope == 2) {
      sizeMode_.store(mode);
      if (mode == 4) sizeKB_.store(customKB);
    }
  }
  const std::int64_t size = SizeByMode(*volume_, db, mode, customBytes, snapshot, type);
  if (size >= 0) {
    snapshot.size = size;
    volume_->Store().SetSize(object, size);
  }
  return true;
}

Question CRecovery::ProbableSizeQuestion(const CVolume& volume, const FoundObject& snapshot,
                                         FileTypeDatabase* database) {
  FileTypeDatabase* db = database ? database : g_FileTypes;
  const FileType* type = db ? db->FindForObject(snapshot) : nullptr;
  std::int32_t typicalKB = 0;
  std::u16string typeName;
  if (type) {
    auto lock = db->LockForEdit();
    typicalKB = type->typicalSizeKB();
    typeName = type->DisplayName();
  }
  std::int64_t nextAny = -1, nextSame = -1;
  {
    const FoundObjectStore::ReadView view = volume.Store().Read();
    if (const FoundObject* n = view.FindNextByOffset(snapshot.offset)) nextAny = n->offset - snapshot.offset;
    if (const FoundObject* n = view.FindNextOfSameType(snapshot)) nextSame = n->offset - snapshot.offset;
  }
  Question q;
  q.kind = QuestionKind::ProbableFileSize;
  q.text = typeName;
  q.caption = u"Enter probable file size";
  q.buttons = Buttons::Custom;
  q.icon = MessageIcon::Question;
  q.detail = std::u16string(snapshot.Name());
  q.values = {snapshot.offset, snapshot.size, snapshot.flags.Any(OBJ_DELETED) ? 1 : 0, typicalKB,
              nextAny,         nextSame,      snapshot.typeId};
  return q;
}

void CRecovery::SwitchOnOffsetIndex(CVolume& volume) {
  if (!volume.Store().KeepsOffsetIndex()) volume.Store().EnableOffsetIndex(1);
}

std::int64_t CRecovery::SizeByMode(const CVolume& volume, const FoundObject& snapshot, std::int32_t mode,
                                   std::int64_t customBytes, FileTypeDatabase* database) {
  FileTypeDatabase* db = database ? database : g_FileTypes;
  const FileType* type = db ? db->FindForObject(snapshot) : nullptr;
  return SizeByMode(volume, db, mode, customBytes, snapshot, type);
}

std::int64_t CRecovery::SizeByMode(const CVolume& volume, FileTypeDatabase* db, std::int32_t mode,
                                   std::int64_t customBytes, const FoundObject& snapshot, const FileType* type) {
  auto typical = [&]() -> std::int64_t {
    if (!type || !db) return -1;
    std::int32_t kb;
    {
      auto lock = db->LockForEdit();
      kb = type->typicalSizeKB();
    }
    return kb < 0 ? -1 : std::int64_t(kb) * 1024;
  };
  switch (mode) {
    case 1:
      return typical();
    case 2: {
      const FoundObjectStore::ReadView view = volume.Store().Read();
      if (const FoundObject* n = view.FindNextByOffset(snapshot.offset)) return n->offset - snapshot.offset;
      break;
    }
    case 3: {
      const FoundObjectStore::ReadView view = volume.Store().Read();
      if (const FoundObject* n = view.FindNextOfSameType(snapshot)) return n->offset - snapshot.offset;
      break;
    }
    case 4:
      return customBytes < 0 ? -1 : customBytes;
    default:
      return -1;
  }
  return typical();  // no next object: mode 1
}

// ---- The copy ---------------------------------------------------------------------

std::int64_t CRecovery::RecoveryCycle(int folderFd, const std::string& name, const std::u16string& folderText,
                                      const FoundObject& snapshot, std::int64_t readable) {
  const std::u16string wanted = folderText + platform::Utf8ToUtf16(name);
  std::string usedName;
  int fd = -1;
  try {
    fd = recovery::CreateNewFile(folderFd, name, usedName, &fileHints_);
  } catch (...) {
    Log().Error(u"Recovery_Thread.except0");
    return 0;
  }
  if (fd < 0) {
    Log().ErrorId(196, wanted);
    return 0;
  }
  const std::u16string path = folderText + platform::Utf8ToUtf16(usedName);
  if (usedName != name) {
    // Nothing is overwritten: an earlier object of this job or the user's own file.
    // No error: the file is saved, under the name the log gives.
    Log().InfoId(212, wanted);
    Log().Info(platform::Format(u"FileRecovery: The file is saved as '%s'", path));
  }
  SetCurrentPath(path);
  if (kind_ == Kind::TryOpen) {
    std::lock_guard lock(textMutex_);
    temporaryFiles_.push_back(path);
  }

  const std::int64_t size = readable;
  std::int64_t position = 0;
  bool failed = false;
  int writeError = 0;
  // Sectors of this file that could not be read and are zeros in the copy.
  CVolume::UnreadableSectors unreadable;
  try {
    if (buffer_.size() < kChunkSize) buffer_ = SectorBuffer(kChunkSize);
    if (buffer_.empty()) {
      Log().ErrorId(193);
      failed = true;
    }
    while (!failed && position < size) {
      const auto count = static_cast<std::uint32_t>(std::min<std::int64_t>(kChunkSize, size - position));
      std::int64_t got = volume_->ReadObjectData(snapshot, buffer_, position, count);
      std::uint8_t* data = buffer_.data();  // new memory after a read that timed out
      if (got < 0) got = 0;
      if (got < count) {
        // The chunk is written whole: what could not be read is zeros, so every
        // later chunk stays at its own offset.
        std::memset(data + got, 0, count - std::size_t(got));
        Log().ErrorId(197, got, count);
        CVolume::UnreadableSectors::Add((std::int64_t(count) - got + 511) / 512);
      }
      if (!Write(fd, data, count)) {
        const int error = errno;
        // What did go out of this chunk: the file's position tells.
        const off_t end = lseek(fd, 0, SEEK_CUR);
        const std::int64_t written = end < position ? 0 : std::min<std::int64_t>(end - position, count);
        if (written > 0) Log().ErrorId(198, written, count);
        Log().ErrorId(211, error);
        position += std::int64_t(written);
        writeError = error;
        failed = true;
        break;
      }
      percent_.store(static_cast<std::int32_t>(size < INT64_MAX / 100 ? position * 100 / size
                                                                     : position / (size / 100)));
      PostToUi(WM_RECOVERY_PROGRESS, 0, percent_.load(), {}, notifyTarget_);
      position += count;
      if (!Running()) {
        interrupted_ = position < size;
        break;
      }
    }
  } catch (...) {
    Log().Error(u"Recovery_Thread.RecoveryCycle.except1");
    failed = true;
  }
  percent_.store(100);

  // Linux keeps no creation time that could be set: modification and access
  // times, each when known.
  if (snapshot.accessed != 0 || snapshot.modified != 0) {
    const timespec times[2] = {ToTimespec(snapshot.accessed), ToTimespec(snapshot.modified)};
    if (futimens(fd, times) != 0)
      Log().Error(u"FileRecovery: Can't set the times of '%s': error %d", path, errno);
  }
  if (close(fd) != 0 && !failed) {
    writeError = errno;
    Log().ErrorId(211, writeError);
    failed = true;
  }
  if (position == 0 || failed) {
    // A file that could not be written whole is not left for the user to take as
    // recovered (only a stop keeps a partial file).
    unlinkat(folderFd, usedName.c_str(), 0);
    if (kind_ == Kind::TryOpen) {
      std::lock_guard lock(textMutex_);
      temporaryFiles_.erase(std::remove(temporaryFiles_.begin(), temporaryFiles_.end(), path), temporaryFiles_.end());
    }
  }
  if (!failed && position >= size) {
    success_.fetch_add(1);
    lastFile_ = path;
    if (unreadable.Count() > 0) {
      damaged_.fetch_add(1);
      Log().Error(u"FileRecovery: File '%s' is recovered with %I64d unreadable sectors zero-filled", path,
                  unreadable.Count());
    }
  } else if (failed) {
    Log().Error(u"FileRecovery: File '%s' could not be written and is removed: %I64d of %I64d bytes had been written",
                path, position, size);
    position = 0;
    if (IsDestinationFailure(writeError)) {
      // Every later file would fail the same way: the recovery stops here.
      destinationError_.store(writeError);
    }
  } else {
    Log().Error(u"FileRecovery: File '%s' is incomplete: %I64d of %I64d bytes written", path, position, size);
  }
  return position;
}

bool CRecovery::IsDestinationFailure(int error) {
  switch (error) {
    case ENOSPC:  // no space left
    case EDQUOT:  // the user's quota is used up
    case EROFS:   // the file system became read-only
    case EIO:     // the destination's own device fails
      return true;
    default:
      return false;
  }
}

bool CRecovery::Write(int fd, const std::uint8_t* data, std::size_t bytes) {
  return writer_ ? writer_(fd, data, bytes) : platform::WriteAll(fd, data, bytes);
}

// ---- Temporary files --------------------------------------------------------------

std::vector<std::u16string> CRecovery::TemporaryFiles() const {
  std::lock_guard lock(textMutex_);
  return temporaryFiles_;
}

int CRecovery::DeleteTemporaryFiles() {
  if (alive_.load()) KillThread();
  std::vector<std::u16string> files;
  std::string privateFolder;
  {
    std::lock_guard lock(textMutex_);
    files = temporaryFiles_;
    privateFolder = privateFolder_;
  }
  if (files.empty()) return 1;
  Question q;
  q.kind = QuestionKind::DeleteTemporaryFiles;
  q.text = GetLangString(200);
  q.caption = GetLangString(157);
  q.buttons = Buttons::YesNo;
  q.icon = MessageIcon::Question;
  q.values = {static_cast<std::int64_t>(files.size())};
  q.detail = platform::Utf8ToUtf16(privateFolder);
  if (AskUser(q).answer != Answer::Yes) return 1;
  if (alive_.load()) return 1;  // a copy started meanwhile: its files stay
  std::vector<std::string> folders;
  {
    std::lock_guard lock(textMutex_);
    folders = temporaryFolders_;
    temporaryFiles_.clear();
    temporaryFolders_.clear();
    privateFolder_.clear();
  }
  for (const std::u16string& f : files) unlink(platform::Utf16ToUtf8(f).c_str());
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) rmdir(it->c_str());
  if (!privateFolder.empty()) rmdir(privateFolder.c_str());
  return 1;
}
