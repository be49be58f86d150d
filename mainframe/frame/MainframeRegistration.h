#pragma once
// The main window's part of start-up: the executable's main calls this once, and
// the application object then makes a CMainFrame for the modes 32839, 32841 and
// 32842 (and every mode that is neither the wizard nor the signature wizard).

class CApp;

void RegisterMainframe(CApp& app);
