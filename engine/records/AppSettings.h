#pragma once
// The settings record: one fixed-size little-endian record of 112,004 bytes,
// stored whole as the binary value "Settings" of the program key, with an additive
// checksum in its first word. Reserved ranges keep whatever they held.
//
// The record is owned by the application; workers read a snapshot taken at the
// start of a pass (Snapshot()) and never write it. Accessors lock, so reading from
// a worker while the interface edits is safe.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileTime.h"

namespace platform {
class RegistryStore;
}

// The program key below HKEY_CURRENT_USER.
inline constexpr std::u16string_view kProgramKey = u"Software\\Quenmar\\Digital Vandrel Professional\\5.0";

// The i32 fields: name, byte offset, default (the fields the defaults leave alone
// are listed with DEFAULT_KEEP).
#define VANDREL_SETTINGS_INT_FIELDS(X)          \
  X(Loaded, 36, 1)                              \
  X(LanguageIndex, 48, 0)                       \
  X(ShowLegend, 60, 1)                          \
  X(ViewOption32776, 64, 1)                     \
  X(ShowStatusBar, 68, 1)                       \
  X(ShowToolbar, 72, 1)                         \
  X(ShowSplash, 76, 1)                          \
  X(ConfirmExit, 84, 1)                         \
  X(ConfirmScanAbort, 88, 1)                    \
  X(ConfirmRecoveryAbort, 92, 1)                \
  X(ConfirmOverwrite, 96, 1)                    \
  X(NoTryOpenWarning, 100, DEFAULT_KEEP)        \
  X(UseCustomTempFolder, 108, 0)                \
  X(LogToFile, 112, 0)                          \
  X(LogToDebugger, 116, 1)                      \
  X(ClearLogAtStart, 120, 1)                    \
  X(MaxLogSizeKB, 124, 10240)                   \
  X(UpdateCheckDays, 128, 30)                   \
  X(AutoRecover, 140, DEFAULT_KEEP)             \
  X(KeepFolderStructure, 144, 1)                \
  X(ExitProcessOnQuit, 148, 0)                  \
  X(LogFoundNames, 152, 0)                      \
  X(SignaturePass, 156, 0)                      \
  X(AutoContinueQueue, 160, 1)                  \
  X(SkipAllocatedClusters, 164, 1)              \
  X(SearchUnitMode, 168, 0)                     \
  X(SearchThreads, 172, 1)                      \
  X(ReadRetries, 176, 10)                       \
  X(RetryPauseMs, 180, 0)                       \
  X(SearchBufferSize, 184, 0)                   \
  X(PostProcessObjects, 188, 1)                 \
  X(UIMode, 17604, DEFAULT_KEEP)

// Text fields: name, byte offset, capacity in UTF-16 units (with the NUL).
#define VANDREL_SETTINGS_TEXT_FIELDS(X) \
  X(DestinationFolder, 17788, 4096)     \
  X(TempFolder, 25980, 4096)            \
  X(LogFileName, 34172, 1024)           \
  X(NameMask, 36220, 35840)

class AppSettings {
 public:
  static constexpr std::size_t kSize = 112004;
  static constexpr std::size_t kChecksumOffset = 0;
  static constexpr std::size_t kNextUpdateCheckOffset = 132;
  static constexpr std::int32_t kDefaultSearchBufferSize = 2097152;

#define VANDREL_OFFSET(name, off, def) static constexpr std::size_t k##name##Offset = off;
  VANDREL_SETTINGS_INT_FIELDS(VANDREL_OFFSET)
  VANDREL_SETTINGS_TEXT_FIELDS(VANDREL_OFFSET)
#undef VANDREL_OFFSET

  // An all-zero record (not the defaults: call Load or SetDefaults).
  AppSettings();
  AppSettings(const AppSettings& other);
  AppSettings& operator=(const AppSettings& other);

  // Takes the stored record when it is exactly kSize bytes of binary data with a
  // matching checksum, else the defaults. Returns 1 when the stored record was taken.
  int Load();
  // Saves when the record differs from what was last written (or from its own
  // checksum); returns 1.
  int Save();
  // Writes the record unconditionally; 1 on success.
  int Write();
  // The defaults of every field that has one, the file association, then Write.
  int SetDefaults();
  // The defaults of every field that has one, in memory only.
  void FillDefaults();

  // The registry the record lives in (the current user's store unless set).
  void SetRegistry(platform::RegistryStore* registry);

  std::uint32_t ComputeChecksum() const;
  std::uint32_t Checksum() const;
  std::vector<std::uint8_t> Bytes() const;
  // Replaces the whole record (tests, and the settings pages' cancel).
  void SetBytes(const std::vector<std::uint8_t>& bytes);
  AppSettings Snapshot() const { return *this; }

  std::int32_t GetInt(std::size_t offset) const;
  void SetInt(std::size_t offset, std::int32_t value);
  platform::FileTime NextUpdateCheck() const;
  void SetNextUpdateCheck(platform::FileTime t);

#define VANDREL_INT_ACCESSORS(name, off, def)                    \
  std::int32_t name() const { return GetInt(off); }              \
  void Set##name(std::int32_t value) { SetInt(off, value); }
  VANDREL_SETTINGS_INT_FIELDS(VANDREL_INT_ACCESSORS)
#undef VANDREL_INT_ACCESSORS

#define VANDREL_TEXT_ACCESSORS(name, off, units)                            \
  std::u16string name() const { return GetText(off, units); }               \
  void Set##name(std::u16string_view value) { SetText(off, units, value); }
  VANDREL_SETTINGS_TEXT_FIELDS(VANDREL_TEXT_ACCESSORS)
#undef VANDREL_TEXT_ACCESSORS

  // The range the record keeps a field in (a loaded value outside it falls back to
  // the field's default); false for a field without one. Editors use the same
  // ranges, so what they accept survives the next start.
  static bool FieldRange(std::size_t offset, std::int32_t& low, std::int32_t& high);

  // The search buffer size in bytes the search uses: 0 means 2,097,152.
  std::int32_t EffectiveSearchBufferSize() const;

  // Linux defaults of the path fields.
  static std::u16string DefaultDestinationFolder();
  static std::u16string DefaultTempFolder();
  static std::u16string DefaultLogFileName();

 private:
  std::u16string GetText(std::size_t offset, std::size_t units) const;
  void SetText(std::size_t offset, std::size_t units, std::u16string_view value);
  // Puts fields a hand-edited store may hold out of range back to their defaults,
  // and makes every text end inside its field.
  void SanitizeLocked();
  std::uint32_t ChecksumLocked() const;
  int WriteLocked();
  platform::RegistryStore& Registry() const;

  mutable std::mutex mutex_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> lastWritten_;
  platform::RegistryStore* registry_ = nullptr;
};

// The program's settings record (held by the application object; until it sets
// one, a record holding the defaults).
AppSettings& Settings();
void SetSettings(AppSettings* settings);

// Registers the ".filesig" signature files with the desktop: a shared-mime-info
// package and a .desktop entry below $XDG_DATA_HOME whose Exec runs this program
// with "/addsig %f". Only a file that is missing or differs is written, and only
// then is the desktop's database for it rebuilt (update-mime-database,
// update-desktop-database). A failure is logged, never fatal. Returns 1 when both
// files hold the association afterwards.
int RegisterSignatureFileType();
