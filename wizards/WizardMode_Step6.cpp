#include "wizards/WizardMode_Step6.h"

#include "app/App.h"
#include "app/MessageBox.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "wizards/WizardMode_Main.h"

CWizardMode_Step6::CWizardMode_Step6()
    : CWizardModeResultsPage(IDD, 149, QStringLiteral("Wizard.Step6"),
                             QStringLiteral("If you can't see the file(s) you were looking for, press Next to carry "
                                            "out the deep scan. The program will scan every sector on your drive (it "
                                            "may take some time).")) {}

CWizardMode_Step6::~CWizardMode_Step6() = default;

bool CWizardMode_Step6::OnPageSetActive() {
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_NEXT);
  View()->ShowForCurrentVolume(1);
  return true;
}

int CWizardMode_Step6::OnWizardNext() {
  std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
  const std::int64_t found = volume ? volume->FileSystemPassCounters().files.load() : 0;
  const int recovered = Main() ? Main()->RecoveredCount() : 0;
  if (found != 0 && recovered == 0 &&
      app::ShowMessageBox(window(), LangString(221), LangString(157), Buttons::YesNo, MessageIcon::Question) !=
          Answer::Yes)
    return controls::kWizardStay;
  return controls::kWizardGoOn;
}
