#include "search/RecoveryJobs.h"

CRecovery& RecoveryJob() {
  static CRecovery job(CRecovery::Kind::Recovery);
  return job;
}

CRecovery& TryOpenJob() {
  static CRecovery job(CRecovery::Kind::TryOpen);
  return job;
}
