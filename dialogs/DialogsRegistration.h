#pragma once
// The dialogs library plugs into the application object at start-up: the program
// settings sheet (CApp::ShowProgramSettings) and the recovery's questions (the
// probable file size, the destination on the source drive, a destination whose
// drive can't be told). The executable calls this once.

class CApp;

void RegisterDialogs(CApp& app);
