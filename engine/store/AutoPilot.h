#pragma once
// The auto-pilot of the step-by-step wizard ("The program will automatically
// recover every file it finds to the specified target location"): when a pass the
// wizard started ends by itself, not by Stop, and AppSettings::AutoRecover is on,
// every file that pass found is recovered, as the pass's results page shows them:
// through the file filter, after the file-system pass the files below the root
// folder and below the lost folders, after the signature pass those below "Lost
// files". The filter decides for each file; folders are walked whatever the filter
// says of them (the tree shows a folder on the way to a shown deleted file even
// when "deleted only" would hide it).
//
// Plain functions over a store: the wizard's pages call them on the user-interface
// thread once the pass has ended.

#include <cstdint>
#include <vector>

#include "engine/store/FoundObject.h"

class AppSettings;
class FileFilter;
class FoundObjectStore;

class CAutoPilot {
 public:
  enum class Pass { kFileSystem, kSectors };

  // Whether the auto-pilot recovers after a pass that the wizard started.
  static bool Applies(const AppSettings& settings, bool stoppedByUser);
  // The files to recover, in the order the tree shows them (each folder's
  // children in the order they were found, depth first); each file once.
  static std::vector<FoundObject*> CollectFiles(const FoundObjectStore& store, const FileFilter& filter, Pass pass);
};
