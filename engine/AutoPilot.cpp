#include "engine/AutoPilot.h"

#include "engine/AppSettings.h"
#include "engine/FileFilter.h"
#include "engine/FolderContents.h"
#include "engine/FoundObjectStore.h"

bool CAutoPilot::Applies(const AppSettings& settings, bool stoppedByUser) {
  return settings.AutoRecover() == 1 && !stoppedByUser;
}

std::vector<FoundObject*> CAutoPilot::CollectFiles(const FoundObjectStore& store, const FileFilter& filter,
                                                   Pass pass) {
  std::vector<FoundObject*> files;
  const FoundObjectStore::ReadView view = store.Read();
  std::vector<std::int32_t> roots;
  if (pass == Pass::kFileSystem)
    roots = {view.RootFolderId(), kIdLostFolders};
  else
    roots = {kIdLostFiles};
  // Each root contributes what a folder contributes to a recovery.
  CFolderContents contents(&filter);
  for (std::int32_t root : roots) contents.Collect(view, root, files);
  return files;
}
