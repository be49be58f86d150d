#pragma once
// The program's two recovery jobs, one of each for the whole run: the recovery
// into the destination folder and "try to open" (whose temporary copies the main
// window offers to delete when it closes). The explorer views of both modes and
// the wizard use them (the wizard reads the recovery's success count); the
// application stops and joins them at exit.
//
// They live in the computer object (CLocalComputer::RecoveryJob, TryOpenJob), made
// here on first use, since the engine does not know their class. Without a
// computer object a pair of this library's own stands in.
//
// While a job's thread copies objects of a volume, that volume's store can't be
// cleared (CVolume::ClearFoundObjects refuses, saying why).
//
// First use on the GUI thread (the jobs' own threads touch only their job).

#include "search/Recovery.h"

class CLocalComputer;

// Makes and installs the pair when the computer has none yet.
void EnsureRecoveryJobs(CLocalComputer& computer);
CRecovery& RecoveryJob();
CRecovery& TryOpenJob();
