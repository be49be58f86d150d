#include "search/RecoveryJobs.h"

#include "engine/LocalComputer.h"

namespace {

struct OwnJobs {
  CRecovery recovery{CRecovery::Kind::Recovery};
  CRecovery tryOpen{CRecovery::Kind::TryOpen};
};

OwnJobs& Own() {
  static OwnJobs* jobs = new OwnJobs;  // never destroyed: its threads may outlive statics
  return *jobs;
}

}  // namespace

void EnsureRecoveryJobs(CLocalComputer& computer) {
  if (computer.RecoveryJob()) return;
  computer.InstallRecoveryJobs(std::make_shared<CRecovery>(CRecovery::Kind::Recovery),
                               std::make_shared<CRecovery>(CRecovery::Kind::TryOpen));
}

CRecovery& RecoveryJob() {
  if (!g_Computer) return Own().recovery;
  EnsureRecoveryJobs(*g_Computer);
  return *g_Computer->RecoveryJob();
}

CRecovery& TryOpenJob() {
  if (!g_Computer) return Own().tryOpen;
  EnsureRecoveryJobs(*g_Computer);
  return *g_Computer->TryOpenJob();
}
