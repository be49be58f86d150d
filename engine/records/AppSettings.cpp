#include "engine/records/AppSettings.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/Diagnostics.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

extern char** environ;

namespace {

constexpr std::int32_t DEFAULT_KEEP = INT32_MIN;

// Reserved words the defaults set to non-zero values; nothing else reads them.
constexpr std::pair<std::size_t, std::int32_t> kReservedDefaults[] = {{40, 1}, {44, 1}, {56, 1}, {80, 1}, {104, 5400}};

struct Range {
  std::size_t offset;
  std::int32_t low, high, fallback;
};
// Fields a hand-edited record may carry out of range; each falls back to its default.
constexpr Range kRanges[] = {
    {AppSettings::kSearchThreadsOffset, 1, 64, 1},
    {AppSettings::kReadRetriesOffset, 0, 100, 10},
    {AppSettings::kRetryPauseMsOffset, 0, 60000, 0},
    {AppSettings::kSearchBufferSizeOffset, 0, 256 * 1024 * 1024, 0},
    {AppSettings::kMaxLogSizeKBOffset, 1, 102400, 10240},
    {AppSettings::kUpdateCheckDaysOffset, -1, 3650, 30},
    {AppSettings::kLanguageIndexOffset, 0, 1000, 0},
};

AppSettings* g_settings = nullptr;

}  // namespace

AppSettings::AppSettings() : data_(kSize, 0) {}

AppSettings::AppSettings(const AppSettings& other) {
  std::lock_guard g(other.mutex_);
  data_ = other.data_;
  lastWritten_ = other.lastWritten_;
  registry_ = other.registry_;
}

AppSettings& AppSettings::operator=(const AppSettings& other) {
  if (this == &other) return *this;
  std::vector<std::uint8_t> data, last;
  platform::RegistryStore* reg;
  {
    std::lock_guard g(other.mutex_);
    data = other.data_;
    last = other.lastWritten_;
    reg = other.registry_;
  }
  std::lock_guard g(mutex_);
  data_ = std::move(data);
  lastWritten_ = std::move(last);
  registry_ = reg;
  return *this;
}

void AppSettings::SetRegistry(platform::RegistryStore* registry) {
  std::lock_guard g(mutex_);
  registry_ = registry;
}

platform::RegistryStore& AppSettings::Registry() const {
  return registry_ ? *registry_ : platform::CurrentUserRegistry();
}

std::uint32_t AppSettings::ChecksumLocked() const {
  std::uint32_t sum = 0;
  for (std::size_t off = 4; off + 4 <= kSize; off += 4) {
    sum += std::uint32_t(data_[off]) | std::uint32_t(data_[off + 1]) << 8 | std::uint32_t(data_[off + 2]) << 16 |
           std::uint32_t(data_[off + 3]) << 24;
  }
  return sum;
}

std::uint32_t AppSettings::ComputeChecksum() const {
  std::lock_guard g(mutex_);
  return ChecksumLocked();
}

std::uint32_t AppSettings::Checksum() const {
  std::lock_guard g(mutex_);
  std::uint32_t v = 0;
  platform::ReadLE(platform::Bytes(data_), kChecksumOffset, v);
  return v;
}

std::vector<std::uint8_t> AppSettings::Bytes() const {
  std::lock_guard g(mutex_);
  return data_;
}

void AppSettings::SetBytes(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard g(mutex_);
  data_.assign(kSize, 0);
  if (!bytes.empty()) std::memcpy(data_.data(), bytes.data(), bytes.size() < kSize ? bytes.size() : kSize);
}

std::int32_t AppSettings::GetInt(std::size_t offset) const {
  std::lock_guard g(mutex_);
  std::uint32_t v = 0;
  platform::ReadLE(platform::Bytes(data_), offset, v);
  return static_cast<std::int32_t>(v);
}

void AppSettings::SetInt(std::size_t offset, std::int32_t value) {
  std::lock_guard g(mutex_);
  platform::WriteLE(platform::MutableBytes(data_), offset, static_cast<std::uint32_t>(value));
}

platform::FileTime AppSettings::NextUpdateCheck() const {
  std::lock_guard g(mutex_);
  std::uint64_t v = 0;
  platform::ReadLE(platform::Bytes(data_), kNextUpdateCheckOffset, v);
  return static_cast<platform::FileTime>(v);
}

void AppSettings::SetNextUpdateCheck(platform::FileTime t) {
  std::lock_guard g(mutex_);
  platform::WriteLE(platform::MutableBytes(data_), kNextUpdateCheckOffset, static_cast<std::uint64_t>(t));
}

std::u16string AppSettings::GetText(std::size_t offset, std::size_t units) const {
  std::lock_guard g(mutex_);
  // The mask's range is not terminated by the load (its tail is reserved): its
  // text ends one unit before the range does, as every other text does.
  if (offset == kNameMaskOffset) units -= 1;
  return platform::ReadUtf16Field(platform::Bytes(data_), offset, units);
}

void AppSettings::SetText(std::size_t offset, std::size_t units, std::u16string_view value) {
  std::lock_guard g(mutex_);
  if (offset == kNameMaskOffset) {
    // The mask sits at the start of a larger range whose rest is reserved: only
    // the text and its terminator are written.
    std::size_t n = value.size() < units - 1 ? value.size() : units - 1;
    for (std::size_t i = 0; i < n; ++i)
      platform::WriteLE<std::uint16_t>(platform::MutableBytes(data_), offset + 2 * i, value[i]);
    platform::WriteLE<std::uint16_t>(platform::MutableBytes(data_), offset + 2 * n, 0);
    return;
  }
  platform::WriteUtf16Field(platform::MutableBytes(data_), offset, units, value);
}

bool AppSettings::FieldRange(std::size_t offset, std::int32_t& low, std::int32_t& high) {
  for (const Range& r : kRanges) {
    if (r.offset != offset) continue;
    low = r.low;
    high = r.high;
    return true;
  }
  return false;
}

std::int32_t AppSettings::EffectiveSearchBufferSize() const {
  std::int32_t v = SearchBufferSize();
  return v == 0 ? kDefaultSearchBufferSize : v;
}

std::u16string AppSettings::DefaultDestinationFolder() {
  return platform::Utf8ToUtf16(platform::JoinPath(platform::HomeDir(), "Recovered Files"));
}
std::u16string AppSettings::DefaultTempFolder() { return platform::Utf8ToUtf16(platform::TempDir()); }
std::u16string AppSettings::DefaultLogFileName() {
  return platform::Utf8ToUtf16(platform::JoinPath(platform::ConfigDir(), "Vandrel Pro.log"));
}

void AppSettings::SanitizeLocked() {
  platform::MutableBytes bytes(data_);
  for (const Range& r : kRanges) {
    std::uint32_t raw = 0;
    platform::ReadLE(platform::Bytes(data_), r.offset, raw);
    auto v = static_cast<std::int32_t>(raw);
    if (v < r.low || v > r.high) platform::WriteLE(bytes, r.offset, static_cast<std::uint32_t>(r.fallback));
  }
  // Every text ends inside its field. The name mask's field is the head of a range
  // whose rest is reserved and kept as stored: its reads stop at the range's end.
#define VANDREL_TERMINATE(name, off, units) \
  if (off != kNameMaskOffset) platform::WriteLE<std::uint16_t>(bytes, off + 2 * (units - 1), 0);
  VANDREL_SETTINGS_TEXT_FIELDS(VANDREL_TERMINATE)
#undef VANDREL_TERMINATE
}

int AppSettings::Load() {
  std::vector<std::uint8_t> stored;
  platform::RegStatus status;
  {
    std::lock_guard g(mutex_);
    status = Registry().QueryBinary(kProgramKey, u"Settings", stored);
  }
  bool taken = false;
  if (status == platform::RegStatus::Ok && stored.size() == kSize) {
    std::lock_guard g(mutex_);
    std::vector<std::uint8_t> previous;
    previous.swap(data_);
    data_ = stored;
    std::uint32_t storedSum = 0;
    platform::ReadLE(platform::Bytes(data_), kChecksumOffset, storedSum);
    if (ChecksumLocked() == storedSum) {
      taken = true;
      lastWritten_ = stored;
      SanitizeLocked();
    } else {
      data_.swap(previous);
    }
  }
  if (!taken) SetDefaults();
  SetLoaded(1);
  return taken ? 1 : 0;
}

int AppSettings::WriteLocked() {
  platform::RegistryStore& reg = Registry();
  reg.SetBinary(kProgramKey, u"Settings", data_);
  if (!reg.Save()) return 0;
  lastWritten_ = data_;
  return 1;
}

int AppSettings::Write() {
  std::lock_guard g(mutex_);
  return WriteLocked();
}

int AppSettings::Save() {
  std::lock_guard g(mutex_);
  std::uint32_t sum = ChecksumLocked();
  std::uint32_t storedSum = 0;
  platform::ReadLE(platform::Bytes(data_), kChecksumOffset, storedSum);
  if (sum == storedSum && data_ == lastWritten_) return 1;
  platform::WriteLE(platform::MutableBytes(data_), kChecksumOffset, sum);
  if (data_ == lastWritten_) return 1;
  WriteLocked();
  return 1;
}

void AppSettings::FillDefaults() {
  {
    std::lock_guard g(mutex_);
    platform::MutableBytes bytes(data_);
#define VANDREL_DEFAULT(name, off, def) \
  if ((def) != DEFAULT_KEEP) platform::WriteLE(bytes, off, static_cast<std::uint32_t>(def));
    VANDREL_SETTINGS_INT_FIELDS(VANDREL_DEFAULT)
#undef VANDREL_DEFAULT
    for (auto [off, v] : kReservedDefaults) platform::WriteLE(bytes, off, static_cast<std::uint32_t>(v));
    std::uint32_t days = 30;
    platform::ReadLE(platform::Bytes(data_), kUpdateCheckDaysOffset, days);
    platform::FileTime next = platform::FileTimeNow() + std::int64_t(static_cast<std::int32_t>(days)) * 86400 *
                                                            platform::kFileTimePerSecond;
    platform::WriteLE(bytes, kNextUpdateCheckOffset, static_cast<std::uint64_t>(next));
  }
  SetDestinationFolder(DefaultDestinationFolder());
  SetTempFolder(DefaultTempFolder());
  SetLogFileName(DefaultLogFileName());
  SetNameMask(u"*");
}

int AppSettings::SetDefaults() {
  FillDefaults();
  RegisterSignatureFileType();
  return Write();
}

AppSettings& Settings() {
  // Until the application sets its record, the defaults (never written anywhere).
  static AppSettings fallback = [] {
    AppSettings s;
    s.FillDefaults();
    s.SetLoaded(1);
    return s;
  }();
  return g_settings ? *g_settings : fallback;
}

void SetSettings(AppSettings* settings) { g_settings = settings; }

// ---- file association ----

namespace {

// Whether the file at `path` holds exactly `text`.
bool HoldsText(const std::string& path, const std::string& text) {
  std::vector<std::uint8_t> held;
  if (platform::ReadWholeFile(path, text.size() + 1, held) != platform::ReadFileStatus::Ok) return false;
  return held.size() == text.size() && std::equal(held.begin(), held.end(), text.begin());
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

// The program path as one argument of a desktop entry's Exec key: quoted, with
// the characters the key reserves escaped, then escaped again as a string value.
std::string ExecQuote(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  std::string out;
  for (char c : quoted) {
    if (c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

void RunHelper(const char* program, const std::string& folder) {
  // Only where the helper is installed; its absence is normal on a minimal system.
  std::string found;
  const char* pathEnv = std::getenv("PATH");
  std::string paths = pathEnv ? pathEnv : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= paths.size()) {
    std::size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    std::string candidate = platform::JoinPath(paths.substr(start, end - start), program);
    if (access(candidate.c_str(), X_OK) == 0) {
      found = candidate;
      break;
    }
    start = end + 1;
  }
  if (found.empty()) return;
  std::vector<char*> argv{const_cast<char*>(found.c_str()), const_cast<char*>(folder.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, found.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    platform::ReportDiagnostic(platform::Format(u"RegisterSignatureFileType: can't run %s: %s", found,
                                                std::string(std::strerror(rc))));
    return;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    platform::ReportDiagnostic(platform::Format(u"RegisterSignatureFileType: %s %s failed", found, folder));
}

}  // namespace

int RegisterSignatureFileType() {
  const std::string data = platform::DataHomeDir();
  const std::string mimeDir = platform::JoinPath(data, "mime");
  const std::string packages = platform::JoinPath(mimeDir, "packages");
  const std::string apps = platform::JoinPath(data, "applications");
  const std::string mimePath = platform::JoinPath(packages, "Quenmar.FileSignature.xml");
  const std::string desktopPath = platform::JoinPath(apps, "Quenmar.FileSignature.desktop");
  const std::string mime =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"application/x-quenmar-filesignature\">\n"
      "    <comment>File Signature</comment>\n"
      "    <glob pattern=\"*.filesig\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n";
  const std::string desktop =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Digital Vandrel Professional\n"
      "Comment=File Signature\n"
      "Exec=" + ExecQuote(platform::ProgramPath()) + " /addsig %f\n"
      "MimeType=application/x-quenmar-filesignature;\n"
      "NoDisplay=true\n"
      "Terminal=false\n";
  // Only what is missing or differs is written, and only then are the desktop's
  // databases rebuilt: every fall-back to the defaults registers, and that must not
  // touch the user's data folder again and again.
  const bool mimeCurrent = HoldsText(mimePath, mime);
  const bool desktopCurrent = HoldsText(desktopPath, desktop);
  if (mimeCurrent && desktopCurrent) return 1;
  if (!platform::MakeDirectories(packages) || !platform::MakeDirectories(apps)) {
    platform::ReportDiagnostic(platform::Format(u"RegisterSignatureFileType: can't create %s", data));
    return 0;
  }
  int ok = 1;
  if (!mimeCurrent) {
    if (WriteTextFile(mimePath, mime)) {
      RunHelper("update-mime-database", mimeDir);
    } else {
      platform::ReportDiagnostic(u"RegisterSignatureFileType: can't write the mime package");
      ok = 0;
    }
  }
  if (!desktopCurrent) {
    if (WriteTextFile(desktopPath, desktop)) {
      RunHelper("update-desktop-database", apps);
    } else {
      platform::ReportDiagnostic(u"RegisterSignatureFileType: can't write the desktop entry");
      ok = 0;
    }
  }
  return ok;
}
