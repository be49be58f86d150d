#pragma once
// The dialogs library plugs into the application object at start-up (handlers it
// registers with CApp). The executable calls this once.

class CApp;

void RegisterDialogs(CApp& app);
