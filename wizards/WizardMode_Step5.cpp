#include "wizards/WizardMode_Step5.h"

#include <QProgressBar>

#include <algorithm>

#include "app/App.h"
#include "app/MessageBox.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "wizards/WizardModeLogEdit.h"
#include "wizards/WizardMode_Step2.h"

CWizardMode_Step5::CWizardMode_Step5()
    : CWizardModeProgressPage(IDD, 148, QStringLiteral("Wizard.Step5"), IDC_DRIVE, QStringLiteral("Selected drive:"),
                              CAutoPilot::Pass::kFileSystem) {
  BuildForm();
  AddCounter(QStringLiteral("Current record:"), IDC_CURRENT_RECORD, 0, 2);
  AddCounter(QStringLiteral("Total records:"), IDC_TOTAL_RECORDS, 1, 2);
}

CWizardMode_Step5::~CWizardMode_Step5() = default;

bool CWizardMode_Step5::StartPass(CVolume& volume) {
  // The pass alone chains nothing and queues nothing; the sheet gives the main
  // window's values back when it closes.
  Settings().SetSignaturePass(0);
  Settings().SetAutoContinueQueue(0);
  // The reset came with the drive page, before this drive was chosen: the bar
  // follows the drive the pass runs on.
  SetBarStyle(volume);
  return volume.StartAnalyseFileSystem();
}

bool CWizardMode_Step5::BarIsMarquee() const { return Bar()->minimum() == 0 && Bar()->maximum() == 0; }

void CWizardMode_Step5::ResetProgress() {
  SetStartPending(true);
  ClearPassEnd();
  QProgressBar* bar = Bar();
  bar->setRange(0, 99);
  bar->setValue(0);
  barArmed_ = true;
  if (std::shared_ptr<CVolume> volume = CurrentVolume()) SetBarStyle(*volume);
  LogEdit()->ClearLog();
}

void CWizardMode_Step5::SetBarStyle(const CVolume& volume) {
  // Records of a FAT volume are no measure of the pass: the bar only shows that
  // it works.
  QProgressBar* bar = Bar();
  if (volume.GetFileSystemFamily() == 0) {
    bar->setRange(0, 0);
  } else if (BarIsMarquee()) {
    bar->setRange(0, 99);
    bar->setValue(0);
  }
  barArmed_ = true;
}

void CWizardMode_Step5::UpdateProgress() {
  ScanProgress& progress = GetScanProgress();
  const std::int64_t total = progress.total.load();
  // A pass that ran to its end has reached its total.
  const std::int64_t current = PassCompleted() ? total : progress.current.load();
  SetCounter(IDC_CURRENT_RECORD, current);
  SetCounter(IDC_TOTAL_RECORDS, total);
  std::shared_ptr<CVolume> volume = CurrentVolume();
  SetCounter(IDC_FILES_FOUND, volume ? volume->FileSystemPassCounters().files.load() : 0);
  if (!volume) return;
  QProgressBar* bar = Bar();
  if (PassCompleted()) {
    barArmed_ = false;
    bar->setRange(0, 99);
    bar->setValue(99);  // full
    return;
  }
  const bool analysing = volume->GetState() == CVolume::kAnalysing || volume->HasAnalysisThread();
  if (analysing) {
    if (current != 0 && total != 0 && total / 100 != 0)
      bar->setValue(int(std::min<std::int64_t>(99, current / (total / 100))));
    barArmed_ = true;
  } else if (volume->GetState() == CVolume::kReady && barArmed_) {
    barArmed_ = false;
    if (volume->GetFileSystemFamily() == 0) {
      bar->setRange(0, 99);
      bar->setValue(99);  // full
    }
  }
}

int CWizardMode_Step5::OnWizardBack() {
  if (app::ShowMessageBox(window(), LangString(223), LangString(157), Buttons::YesNo, MessageIcon::Question) !=
      Answer::Yes)
    return controls::kWizardStay;
  SetStartPending(true);
  return CWizardMode_Step2::IDD;
}
