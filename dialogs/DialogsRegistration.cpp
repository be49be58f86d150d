#include "dialogs/DialogsRegistration.h"

#include "app/App.h"

// The volume, file, image, virtual drive and "try to open" dialogs are opened by
// the main window's commands directly; they need no handler here.
void RegisterDialogs(CApp& /*app*/) {}
