#pragma once
// What the explorer tests share: the engine's program-wide objects (settings, run
// state, computer object) made for one test and put back after it, volumes whose
// stores the test fills by hand, and short ways to add folders and files.

#include <QApplication>
#include <QTest>

#include <memory>
#include <string>

#include "engine/records/AppSettings.h"
#include "engine/records/FileTypeLookup.h"
#include "engine/records/Notifier.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"

namespace test {

class ExplorerWorld {
 public:
  ExplorerWorld() {
    settings.FillDefaults();
    settings.SetReadRetries(0);
    SetSettings(&settings);
    SetScanProgress(&progress);
    SetUserCallbacks(&answers);
    computer = std::make_unique<CLocalComputer>();
    computer->GetLog().SetTimeStamps(false);
  }
  ~ExplorerWorld() {
    computer.reset();
    CVolume::JoinAnalysisThreads();
    SetUserCallbacks(nullptr);
    SetScanProgress(nullptr);
    SetSettings(nullptr);
  }
  ExplorerWorld(const ExplorerWorld&) = delete;
  ExplorerWorld& operator=(const ExplorerWorld&) = delete;

  // A volume listed in the drive list with a node id of its own; made the
  // analysed volume when `analysed`. Its store's root folder id is `rootId` and
  // holds the root folder record.
  std::shared_ptr<CVolume> AddVolume(std::int32_t kind = CVolume::kImageFile, bool analysed = true,
                                     std::int32_t rootId = 0, const std::u16string& path = u"/tmp/test.dsk") {
    auto v = std::make_shared<CVolume>(kind);
    v->SetDevicePath(path);
    v->SetDeviceNodeId(computer->NewObjectId());
    v->UpdateInfo([&](VolumeInfo& i) {
      i.description = u"Test drive";
      i.devicePath = path;
      i.driveType = kind == CVolume::kImageFile ? 7 : 3;
    });
    v->Store().SetRootFolderId(rootId);
    FoundObject root;
    root.id = rootId;
    root.parentId = v->DeviceNodeId();
    root.flags = OBJ_FOLDER | OBJ_NAMED;
    root.SetName(u".");
    v->Store().RegisterObject(root);
    computer->Volumes().Add(v);
    if (analysed) computer->SetAnalysedVolume(v);
    return v;
  }

  static FoundObject* Add(CVolume& v, std::int32_t id, std::int32_t parent, std::u16string_view name,
                          std::uint16_t flags = 0, std::int64_t size = 0, platform::FileTime created = 0) {
    FoundObject o;
    o.id = id;
    o.parentId = parent;
    o.flags = std::uint16_t(flags | OBJ_NAMED);
    o.SetName(name);
    o.size = size;
    o.created = created;
    return v.Store().RegisterObject(o);
  }
  static FoundObject* Folder(CVolume& v, std::int32_t id, std::int32_t parent, std::u16string_view name,
                             std::uint16_t flags = 0) {
    return Add(v, id, parent, name, std::uint16_t(flags | OBJ_FOLDER));
  }
  static std::int64_t Handle(CVolume& v, const FoundObject* r) { return v.Store().HandleOf(r); }

  AppSettings settings;
  ScanProgress progress;
  ScriptedUserCallbacks answers;
  std::unique_ptr<CLocalComputer> computer;
};

inline std::u16string U16(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

}  // namespace test
