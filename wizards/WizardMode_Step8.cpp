#include "wizards/WizardMode_Step8.h"

#include "app/App.h"
#include "app/MessageBox.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "wizards/WizardMode_Main.h"

CWizardMode_Step8::CWizardMode_Step8()
    : CWizardModeResultsPage(IDD, 151, QStringLiteral("Wizard.Step8"),
                             QStringLiteral("Click Next to view recovery summary...")) {}

CWizardMode_Step8::~CWizardMode_Step8() = default;

bool CWizardMode_Step8::OnPageSetActive() {
  if (!snapshotTaken_) {
    snapshot_ = Main() ? Main()->RecoveredCount() : 0;
    snapshotTaken_ = true;
  }
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_NEXT);
  View()->ShowLostFiles(1);
  return true;
}

int CWizardMode_Step8::OnWizardNext() {
  std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
  const std::int64_t found = volume ? volume->SectorPassCounters().files.load() : 0;
  const int recovered = Main() ? Main()->RecoveredCount() : 0;
  if (found != 0 && recovered <= snapshot_ &&
      app::ShowMessageBox(window(), LangString(222), LangString(157), Buttons::YesNo, MessageIcon::Question) !=
          Answer::Yes)
    return controls::kWizardStay;
  return controls::kWizardGoOn;
}
