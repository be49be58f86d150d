#include "search/RecoveryJobs.h"

#include <mutex>
#include <vector>

#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Format.h"

namespace {

struct OwnJobs {
  CRecovery recovery{CRecovery::Kind::Recovery};
  CRecovery tryOpen{CRecovery::Kind::TryOpen};
};

OwnJobs& Own() {
  static OwnJobs* jobs = new OwnJobs;  // never destroyed: its threads may outlive statics
  return *jobs;
}

// A job that copies a volume's objects holds them: the volume's store may not be
// cleared until it has ended.
void RegisterStoreUser() {
  static std::once_flag once;
  std::call_once(once, [] {
    CVolume::StoreUser user;
    user.refusal = [](CVolume& volume) -> std::u16string {
      std::vector<const CRecovery*> jobs;
      if (g_Computer) {
        jobs = {g_Computer->RecoveryJob().get(), g_Computer->TryOpenJob().get()};
      } else {
        jobs = {&Own().recovery, &Own().tryOpen};
      }
      for (const CRecovery* job : jobs) {
        if (job && job->IsThreadAlive() && job->SourceVolume().get() == &volume)
          return platform::Format(u"Files of %s are being recovered. Wait until the recovery has ended, or stop it, "
                                  u"then choose the drive again.",
                                  volume.GetDisplayName());
      }
      return {};
    };
    CVolume::AddStoreUser(std::move(user));
  });
}

}  // namespace

void EnsureRecoveryJobs(CLocalComputer& computer) {
  RegisterStoreUser();
  if (computer.RecoveryJob()) return;
  computer.InstallRecoveryJobs(std::make_shared<CRecovery>(CRecovery::Kind::Recovery),
                               std::make_shared<CRecovery>(CRecovery::Kind::TryOpen));
}

CRecovery& RecoveryJob() {
  RegisterStoreUser();
  if (!g_Computer) return Own().recovery;
  EnsureRecoveryJobs(*g_Computer);
  return *g_Computer->RecoveryJob();
}

CRecovery& TryOpenJob() {
  RegisterStoreUser();
  if (!g_Computer) return Own().tryOpen;
  EnsureRecoveryJobs(*g_Computer);
  return *g_Computer->TryOpenJob();
}
