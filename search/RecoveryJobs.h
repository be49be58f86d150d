#pragma once
// The program's two recovery jobs, one of each for the whole run: the recovery
// into the destination folder and "try to open" (whose temporary copies the main
// window offers to delete when it closes). The explorer views of the main window
// and of the wizard start them; the application stops them at exit.
//
// Made on first use; GUI thread (the jobs' own threads touch only the job).

#include "search/Recovery.h"

CRecovery& RecoveryJob();
CRecovery& TryOpenJob();
