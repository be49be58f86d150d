#pragma once
// Nothing is written onto a drive being read. The program's own files (the registry
// file with the settings, the filter and the file types, and the log file) live in
// the configuration folder, which often lies on the very drive a person recovers
// from. While a volume that holds that folder (or the log file's folder) is being
// analysed, recovered from or imaged, the writes wait: the registry keeps its
// changes in memory and the log keeps its lines, and both are written when the last
// such work ends. The log says so once, when the holding starts.
//
// A guard stands for one piece of work on one volume, on the thread doing it.
// Whether a folder lies on the volume is the device match the destination check
// uses (an unknown answer holds too); tests install a matcher of their own.

#include <functional>
#include <string>

#include "engine/volume/DeviceMatch.h"

class CVolume;

class ConfigFolderGuard {
 public:
  explicit ConfigFolderGuard(const CVolume& volume);
  ~ConfigFolderGuard();
  ConfigFolderGuard(const ConfigFolderGuard&) = delete;
  ConfigFolderGuard& operator=(const ConfigFolderGuard&) = delete;

  using Matcher = std::function<DeviceMatch(const std::string& folder, const CVolume& volume)>;
  // Null restores the device match.
  static void SetMatcher(Matcher matcher);
  // Whether the configuration folder's writes, or the log file's, are held now.
  static bool ConfigHeld();
  static bool LogHeld();

 private:
  bool config_ = false;
  bool log_ = false;
};
