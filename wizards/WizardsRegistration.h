#pragma once
// The wizards' part of start-up: the executable's main calls this once, and the
// application object then makes the step-by-step wizard for mode 32840 and the New
// Signature Wizard for mode 100.

class CApp;

void RegisterWizards(CApp& app);
