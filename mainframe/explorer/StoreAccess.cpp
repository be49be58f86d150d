#include "mainframe/explorer/StoreAccess.h"

#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"

std::shared_ptr<CVolume> CStoreAccess::AnalysedVolume() {
  return g_Computer ? g_Computer->AnalysedVolume() : nullptr;
}

std::shared_ptr<CVolume> CStoreAccess::VolumeOf(std::int64_t handle) {
  if (!g_Computer || handle < 0) return nullptr;
  std::shared_ptr<CVolume> analysed = g_Computer->AnalysedVolume();
  if (analysed && analysed->Store().Serial() == FoundObjectStore::SerialOfHandle(handle)) return analysed;
  return g_Computer->VolumeOfHandle(handle);
}

bool CStoreAccess::ReadRecord(std::int64_t handle, FoundObject& out, std::shared_ptr<CVolume>* volume,
                              std::int32_t* rootFolderId, std::u16string* name) {
  std::shared_ptr<CVolume> v = VolumeOf(handle);
  if (!v) return false;
  {
    const FoundObjectStore::ReadView view = v->Store().Read();
    const FoundObject* r = view.FromHandle(handle);
    if (!r) return false;
    out = *r;
    if (name) {
      name->assign(r->Name());
      out.SetName(*name);
    } else {
      out.SetName({});
    }
    if (rootFolderId) *rootFolderId = view.RootFolderId();
  }
  if (volume) *volume = std::move(v);
  return true;
}

std::shared_ptr<CVolume> CStoreAccess::VolumeOfNode(std::int32_t nodeId) {
  if (!g_Computer) return nullptr;
  if (nodeId == kIdMyComputer) return g_Computer->MyComputer();
  if (nodeId == kIdRecycleBin) return g_Computer->RecycleBin();
  if (auto v = g_Computer->Volumes().FindByNodeId(nodeId)) return v;
  for (auto v : {g_Computer->AnalysedVolume(), g_Computer->SelectedVolume(), g_Computer->ScannedVolume()})
    if (v && v->DeviceNodeId() == nodeId) return v;
  return nullptr;
}
