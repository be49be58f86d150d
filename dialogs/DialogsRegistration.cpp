#include "dialogs/DialogsRegistration.h"

#include "app/App.h"
#include "dialogs/RecoveryQuestions.h"

void RegisterDialogs(CApp& app) { CRecoveryQuestions::Register(app.Callbacks()); }
