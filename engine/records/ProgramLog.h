#pragma once
// The program log: every line the program reports, kept in memory for the whole
// run, optionally written through to a log file (UTF-8, LF), optionally echoed to
// standard error (the stand-in for the system debug window), and posted to the log
// window as WM_LOG_LINE. Any thread may write; lines, the file and the echo are
// guarded by one mutex, so lines never interleave.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records/Strings.h"
#include "platform/Format.h"

class AppSettings;

enum LogLevel : int {
  kLogDebug = 1,
  kLogError = 2,
  kLogInformation = 4,
  kLogCritical = 8,
  kLogPlain = 10,
};

class ProgramLog {
 public:
  ProgramLog();
  ~ProgramLog();
  ProgramLog(const ProgramLog&) = delete;
  ProgramLog& operator=(const ProgramLog&) = delete;

  int Info(std::u16string_view text) {
    WriteLine(text, kLogInformation);
    return 1;
  }
  int Plain(std::u16string_view text) {
    WriteLine(text, kLogPlain);
    return 1;
  }
  int Debug(std::u16string_view text) {
    WriteLine(text, kLogDebug);
    return 1;
  }
  int Critical(std::u16string_view text) {
    WriteLine(text, kLogCritical);
    return 1;
  }
  // The text of a string id, formatted with the arguments, at information level.
  template <typename... Args>
  int InfoId(std::uint32_t id, const Args&... args) {
    WriteLine(platform::Format(GetLangString(id), args...), kLogInformation);
    return 1;
  }
  // A format text (or a text fetched by id) with its arguments, at error level.
  template <typename... Args>
  int Error(std::u16string_view format, const Args&... args) {
    WriteLine(platform::Format(format, args...), kLogError);
    return 1;
  }
  template <typename... Args>
  int ErrorId(std::uint32_t id, const Args&... args) {
    WriteLine(platform::Format(GetLangString(id), args...), kLogError);
    return 1;
  }

  // The common path of every line: stamp, format, keep, write through, post.
  void WriteLine(std::u16string_view text, int level);
  // The stored form of a line: the level's format with or without the stamp.
  std::u16string FormatLine(std::u16string_view text, int level) const;

  // Posts WM_SET_STATUS_TEXT with the string id to the top window; returns 1.
  int SendStatus(std::uint32_t id);
  // Writes every line to "Recovery log file.txt" in a private temporary folder
  // and opens it with the desktop's viewer. 1, or 0 when the file can't be made.
  int ShowLogFile();
  // The path ShowLogFile wrote last (empty before).
  std::string ShownLogPath() const;

  // The log-file part.
  void SetWriteThrough(bool on);
  bool WriteThrough() const;
  void SetCreateNew(bool on);
  void SetFilePath(std::u16string_view path);
  std::u16string FilePath() const;
  void SetTimeStamps(bool on);
  bool TimeStamps() const;
  // The size above which the log file is started anew (the old one is kept as
  // "<name>.old"); 0 is no limit.
  void SetMaxFileBytes(std::uint64_t bytes);
  // Each line also goes to standard error, as UTF-8 with LF, while this is on.
  void SetDebuggerEcho(bool on);
  bool DebuggerEcho() const;
  // Takes the Logging settings: log to file, clear at start, file name, size limit,
  // and the echo to standard error ("Write log in system debug window").
  void ApplySettings(const AppSettings& settings);
  // Closes the log file (it opens again on the next line written through).
  void CloseFile();
  // While held, lines are kept but not written to the log file; the release writes
  // the lines kept meanwhile (the file's folder lies on a drive being read).
  void HoldFile(bool held);

  std::size_t LineCount() const;
  std::u16string Line(std::size_t index) const;
  std::vector<std::u16string> Lines() const;

 private:
  void AppendToFileLocked(const std::u16string& line);
  bool OpenFileLocked();

  mutable std::mutex mutex_;
  std::vector<std::u16string> lines_;
  int fd_ = -1;
  bool writeThrough_ = false;
  bool createNew_ = false;
  bool openedOnce_ = false;
  bool timeStamps_ = true;
  bool debuggerEcho_ = false;
  std::u16string path_;
  std::uint64_t maxFileBytes_ = 0;
  std::uint64_t fileBytes_ = 0;
  static constexpr std::size_t kNotHeld = ~std::size_t(0);
  std::size_t heldFrom_ = kNotHeld;  // the first line not written while the file is held
  std::string shownDir_;
  std::string shownPath_;
};

// The program's log (a member of the computer object); a process-wide log until
// the computer object sets its own.
extern ProgramLog* g_Log;
ProgramLog& Log();
