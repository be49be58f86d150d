#include "dialogs/DialogsRegistration.h"

#include "app/App.h"
#include "dialogs/ProgSettings.h"

void RegisterDialogs(CApp& app) {
  app.SetProgramSettingsHandler([&app](QWidget* owner, int page) { CProgSettings::Show(owner, page, app.Settings()); });
}
