#include "engine/store/AutoPilot.h"

#include "engine/records/AppSettings.h"
#include "engine/store/FileFilter.h"
#include "engine/store/FolderContents.h"
#include "engine/store/FoundObjectStore.h"

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
