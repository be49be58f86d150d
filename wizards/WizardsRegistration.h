#pragma once
// The wizards' part of start-up: the executable's main calls this once, and the
// application object then makes the New Signature Wizard for mode 100.

class CApp;

void RegisterWizards(CApp& app);
