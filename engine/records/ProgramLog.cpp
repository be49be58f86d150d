#include "engine/records/ProgramLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/UserCallbacks.h"
#include "platform/Diagnostics.h"
#include "platform/FileTime.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

ProgramLog* g_Log = nullptr;

ProgramLog& Log() {
  static ProgramLog fallback;
  return g_Log ? *g_Log : fallback;
}

namespace {
// Problems the platform layer reports reach the program log at error level.
const bool g_sinkInstalled = [] {
  platform::SetDiagnosticSink([](const std::u16string& text) { Log().Error(u"%s", text); });
  return true;
}();
}  // namespace


ProgramLog::ProgramLog() = default;

ProgramLog::~ProgramLog() {
  std::lock_guard g(mutex_);
  if (fd_ >= 0) close(fd_);
}

std::u16string ProgramLog::FormatLine(std::u16string_view text, int level) const {
  std::u16string prefix;
  switch (level) {
    case kLogDebug: prefix = u"DBG: "; break;
    case kLogError: prefix = u"ERR: "; break;
    case kLogCritical: prefix = u"CRITICALERR: "; break;
    default: break;
  }
  bool stamps;
  {
    std::lock_guard g(mutex_);
    stamps = timeStamps_;
  }
  if (!stamps) return prefix + std::u16string(text);
  platform::FileTime now = platform::FileTimeNow();
  std::u16string stamp = platform::Utf8ToUtf16(platform::FormatLocalDate(now) + " " + platform::FormatLocalTime(now));
  return stamp + u" - " + prefix + std::u16string(text);
}

void ProgramLog::WriteLine(std::u16string_view text, int level) {
  try {
    std::u16string line = FormatLine(text, level);
    {
      std::lock_guard g(mutex_);
      lines_.push_back(line);
      if (writeThrough_ && heldFrom_ == kNotHeld) AppendToFileLocked(line);
      if (debuggerEcho_) {
        std::string bytes = platform::Utf16ToUtf8(line);
        bytes.push_back('\n');
        platform::WriteAll(STDERR_FILENO, bytes.data(), bytes.size());
      }
    }
    // The message carries its own copy of the line.
    PostToUi(WM_LOG_LINE, 0, 0, std::move(line));
  } catch (...) {
    // A log line never fails its caller.
  }
}

bool ProgramLog::OpenFileLocked() {
  if (path_.empty()) return false;
  std::string path = platform::Utf16ToUtf8(path_);
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | O_NOFOLLOW | (createNew_ ? O_TRUNC : 0);
  fd_ = open(path.c_str(), flags, 0644);
  if (fd_ < 0) return false;
  struct stat st{};
  fileBytes_ = fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  createNew_ = false;  // a later reopen appends to what this run wrote
  openedOnce_ = true;
  return true;
}

void ProgramLog::AppendToFileLocked(const std::u16string& line) {
  if (fd_ < 0 && !OpenFileLocked()) {
    writeThrough_ = false;
    return;
  }
  std::string bytes = platform::Utf16ToUtf8(line);
  bytes.push_back('\n');
  if (maxFileBytes_ && fileBytes_ + bytes.size() > maxFileBytes_ && fileBytes_ > 0) {
    // Start the file anew, keeping the previous one beside it.
    std::string path = platform::Utf16ToUtf8(path_);
    close(fd_);
    fd_ = -1;
    rename(path.c_str(), (path + ".old").c_str());
    if (!OpenFileLocked()) {
      writeThrough_ = false;
      return;
    }
  }
  if (platform::WriteAll(fd_, bytes.data(), bytes.size())) fileBytes_ += bytes.size();
}

int ProgramLog::SendStatus(std::uint32_t id) {
  PostToUi(WM_SET_STATUS_TEXT, id, 0);
  return 1;
}

int ProgramLog::ShowLogFile() {
  std::vector<std::u16string> lines = Lines();
  std::string path;
  {
    std::lock_guard g(mutex_);
    if (shownDir_.empty()) shownDir_ = platform::MakePrivateTempDir("vandrel-log-");
    if (!shownDir_.empty()) path = platform::JoinPath(shownDir_, "Recovery log file.txt");
  }
  int fd = path.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    ErrorId(186);
    return 0;
  }
  std::string text;
  for (auto& l : lines) {
    text += platform::Utf16ToUtf8(l);
    text.push_back('\n');
  }
  bool ok = platform::WriteAll(fd, text.data(), text.size());
  close(fd);
  if (!ok) {
    ErrorId(186);
    return 0;
  }
  {
    std::lock_guard g(mutex_);
    shownPath_ = path;
  }
  OpenWithDesktop(path);
  return 1;
}

std::string ProgramLog::ShownLogPath() const {
  std::lock_guard g(mutex_);
  return shownPath_;
}

void ProgramLog::SetWriteThrough(bool on) {
  std::lock_guard g(mutex_);
  writeThrough_ = on;
}
bool ProgramLog::WriteThrough() const {
  std::lock_guard g(mutex_);
  return writeThrough_;
}
void ProgramLog::SetCreateNew(bool on) {
  std::lock_guard g(mutex_);
  createNew_ = on;
}
void ProgramLog::SetFilePath(std::u16string_view path) {
  std::lock_guard g(mutex_);
  if (path_ == path) return;
  path_ = std::u16string(path);
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}
std::u16string ProgramLog::FilePath() const {
  std::lock_guard g(mutex_);
  return path_;
}
void ProgramLog::SetTimeStamps(bool on) {
  std::lock_guard g(mutex_);
  timeStamps_ = on;
}
bool ProgramLog::TimeStamps() const {
  std::lock_guard g(mutex_);
  return timeStamps_;
}
void ProgramLog::SetMaxFileBytes(std::uint64_t bytes) {
  std::lock_guard g(mutex_);
  maxFileBytes_ = bytes;
}

void ProgramLog::SetDebuggerEcho(bool on) {
  std::lock_guard g(mutex_);
  debuggerEcho_ = on;
}
bool ProgramLog::DebuggerEcho() const {
  std::lock_guard g(mutex_);
  return debuggerEcho_;
}

void ProgramLog::HoldFile(bool held) {
  std::lock_guard g(mutex_);
  if (held) {
    if (heldFrom_ == kNotHeld) heldFrom_ = lines_.size();
    return;
  }
  if (heldFrom_ == kNotHeld) return;
  const std::size_t from = heldFrom_;
  heldFrom_ = kNotHeld;
  if (!writeThrough_) return;
  for (std::size_t i = from; i < lines_.size() && writeThrough_; ++i) AppendToFileLocked(lines_[i]);
}

void ProgramLog::CloseFile() {
  std::lock_guard g(mutex_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void ProgramLog::ApplySettings(const AppSettings& settings) {
  std::u16string path = settings.LogFileName();
  std::int32_t maxKB = settings.MaxLogSizeKB();
  bool toFile = settings.LogToFile() != 0;
  bool clear = settings.ClearLogAtStart() != 0;
  bool echo = settings.LogToDebugger() != 0;
  std::lock_guard g(mutex_);
  debuggerEcho_ = echo;
  if (path != path_ && fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  path_ = path;
  maxFileBytes_ = maxKB > 0 ? std::uint64_t(maxKB) * 1024 : 0;
  // "Clear at start" applies to the first opening of the file in this run.
  if (fd_ < 0 && !openedOnce_) createNew_ = clear;
  writeThrough_ = toFile;
}

std::size_t ProgramLog::LineCount() const {
  std::lock_guard g(mutex_);
  return lines_.size();
}

std::u16string ProgramLog::Line(std::size_t index) const {
  std::lock_guard g(mutex_);
  return index < lines_.size() ? lines_[index] : std::u16string();
}

std::vector<std::u16string> ProgramLog::Lines() const {
  std::lock_guard g(mutex_);
  return lines_;
}
