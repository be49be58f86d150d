#include "wizards/WizardMode_Step7.h"

#include <QProgressBar>

#include <algorithm>

#include "app/QtText.h"
#include "controls/Label.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "wizards/WizardModeLogEdit.h"

CWizardMode_Step7::CWizardMode_Step7()
    : CWizardModeProgressPage(IDD, 150, QStringLiteral("Wizard.Step7"), IDC_DRIVE, QStringLiteral("Selected drive"),
                              CAutoPilot::Pass::kSectors) {
  BuildForm();
  AddCounter(QStringLiteral("Current cluster:"), IDC_CURRENT_CLUSTER, 0, 2);
  AddCounter(QStringLiteral("Total clusters:"), IDC_TOTAL_CLUSTERS, 1, 2);
  AddCounter(QStringLiteral("Free clusters:"), IDC_FREE_CLUSTERS, 2, 2);
}

CWizardMode_Step7::~CWizardMode_Step7() = default;

bool CWizardMode_Step7::StartPass(CVolume& volume) {
  return volume.StartAnalyseSectors(CVolume::kLostFileSearch, Settings().SkipAllocatedClusters() == 1);
}

void CWizardMode_Step7::ResetProgress() {
  if (std::shared_ptr<CVolume> volume = CurrentVolume()) DriveLabel()->SetText(app::ToQString(volume->GetDisplayName()));
  SetStartPending(true);
  ClearPassEnd();
  LogEdit()->ClearLog();
}

void CWizardMode_Step7::UpdateProgress() {
  ScanProgress& progress = GetScanProgress();
  const std::int64_t total = progress.total.load();
  // A pass that ran to its end has reached its total.
  const std::int64_t current = PassCompleted() ? total : progress.current.load();
  SetCounter(IDC_CURRENT_CLUSTER, current);
  SetCounter(IDC_TOTAL_CLUSTERS, total);
  SetCounter(IDC_FREE_CLUSTERS, progress.freeClusters.load());
  std::shared_ptr<CVolume> volume = CurrentVolume();
  SetCounter(IDC_FILES_FOUND, volume ? volume->SectorPassCounters().files.load() : 0);
  if (PassCompleted())
    Bar()->setValue(Bar()->maximum());
  else if (current != 0 && total != 0 && total / 100 != 0)
    Bar()->setValue(int(std::min<std::int64_t>(99, current / (total / 100))));
  if (volume) DriveLabel()->SetText(app::ToQString(volume->GetDisplayName()));
}
