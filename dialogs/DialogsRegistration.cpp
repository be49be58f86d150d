#include "dialogs/DialogsRegistration.h"

#include "app/App.h"

void RegisterDialogs(CApp& /*app*/) {}
