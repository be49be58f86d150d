#include "dialogs/DialogsRegistration.h"

#include "app/App.h"
#include "dialogs/DlgTryOpen.h"
#include "dialogs/ProgSettings.h"
#include "dialogs/RecoveryQuestions.h"

void RegisterDialogs(CApp& app) {
  app.SetProgramSettingsHandler([&app](QWidget* owner, int page) { CProgSettings::Show(owner, page, app.Settings()); });
  CRecoveryQuestions::Register(app.Callbacks());
  app.Callbacks().SetQuestionHandler(QuestionKind::TryOpenWarning, &CDlgTryOpen::Ask);
}
