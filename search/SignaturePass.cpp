#include "search/SignaturePass.h"

#include <memory>

#include "engine/fs/FreeClusterMap.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "search/FileTypeDatabase.h"
#include "search/SearchManager.h"
#include "search/SignatureHitSink.h"

namespace {

// Every hit goes to the volume searched.
class VolumeHitSink : public ISignatureHitSink {
 public:
  explicit VolumeHitSink(CVolume& volume) : volume_(volume) {}
  void OnSignatureHit(const FoundObject& hit) override { volume_.OnSignatureHit(hit); }

 private:
  CVolume& volume_;
};

}  // namespace

void InstallSignaturePass(const FileTypeDatabase* types) {
  CVolume::SetSectorPass([types](CVolume& volume, ScanProgress& progress, const AppSettings& settings) {
    const FileTypeDatabase* database = types ? types : g_FileTypes;
    if (!database) {
      Log().Error(u"AnalyseSectors: no file types to search for");
      return;
    }
    std::shared_ptr<CVolume> shared;
    try {
      shared = volume.shared_from_this();
    } catch (const std::bad_weak_ptr&) {
      Log().Error(u"AnalyseSectors: the volume is not shared");
      return;
    }
    // The free clusters as the last file-system pass left them: shown while any
    // sector pass runs, and the only clusters searched when the pass asks for it.
    std::shared_ptr<const CFreeClusterMap> freeMap = volume.MakeFreeClusterMap();
    progress.freeClusters.store(freeMap->FreeClusters());
    VolumeHitSink sink(volume);
    CSearchManager search(std::move(shared), progress, settings, *database, &sink);
    if (volume.SectorPassFreeClustersOnly()) search.SetFreeClusterMap(std::move(freeMap));
    search.RunSearch();
  });
}
