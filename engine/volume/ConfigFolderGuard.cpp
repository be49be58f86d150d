#include "engine/volume/ConfigFolderGuard.h"

#include <mutex>

#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"
#include "platform/BlockDevices.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

std::mutex g_mutex;
ConfigFolderGuard::Matcher g_matcher;
int g_configHolds = 0;
int g_logHolds = 0;

DeviceMatch Match(const std::string& folder, const CVolume& volume) {
  ConfigFolderGuard::Matcher matcher;
  {
    std::lock_guard lock(g_mutex);
    matcher = g_matcher;
  }
  if (matcher) return matcher(folder, volume);
  return MatchDestination(folder, volume, platform::BlockDeviceTree());
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ConfigFolderGuard::ConfigFolderGuard(const CVolume& volume) {
  try {
    const std::string config = platform::ConfigDir();
    const std::string logFile = platform::Utf16ToUtf8(Log().FilePath());
    config_ = Match(config, volume) != DeviceMatch::Different;
    log_ = !logFile.empty() && (FolderOf(logFile) == config ? config_ : Match(FolderOf(logFile), volume) != DeviceMatch::Different);
    if (!config_ && !log_) return;
    bool first = false;
    {
      std::lock_guard lock(g_mutex);
      first = g_configHolds == 0 && g_logHolds == 0;
      if (config_ && g_configHolds++ == 0) platform::HoldRegistryWritesBelow(config);
      if (log_ && g_logHolds++ == 0) Log().HoldFile(true);
    }
    if (first)
      Log().Info(platform::Format(u"The program's settings and log lie on %s, which is being read: nothing is written "
                                  u"there until that work ends; changes are kept until then",
                                  volume.GetDisplayName()));
  } catch (...) {
    config_ = log_ = false;
  }
}

ConfigFolderGuard::~ConfigFolderGuard() {
  bool releaseConfig = false, releaseLog = false;
  {
    std::lock_guard lock(g_mutex);
    if (config_ && --g_configHolds == 0) releaseConfig = true;
    if (log_ && --g_logHolds == 0) releaseLog = true;
  }
  // The held changes are written outside the lock.
  if (releaseConfig) platform::HoldRegistryWritesBelow({});
  if (releaseLog) Log().HoldFile(false);
}

void ConfigFolderGuard::SetMatcher(Matcher matcher) {
  std::lock_guard lock(g_mutex);
  g_matcher = std::move(matcher);
}

bool ConfigFolderGuard::ConfigHeld() {
  std::lock_guard lock(g_mutex);
  return g_configHolds > 0;
}

bool ConfigFolderGuard::LogHeld() {
  std::lock_guard lock(g_mutex);
  return g_logHolds > 0;
}
