#pragma once
// The dialogs library plugs into the application object at start-up: the program
// settings sheet (CApp::ShowProgramSettings). The executable calls this once.

class CApp;

void RegisterDialogs(CApp& app);
