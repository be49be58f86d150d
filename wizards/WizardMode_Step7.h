#pragma once
// "Step 7 of 9: Scanning drive sectors..." (form 336): the signature pass on the
// current volume, over the free clusters only or the entire drive as the scanning
// mode (Step3, AppSettings::SkipAllocatedClusters) says. It shows the position
// (1192), the total (1191) and the free clusters (1190), and the files the pass
// found (1172); the bar is current / (total / 100). Over the free clusters only,
// position and total count free clusters.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModeProgressPage.h"

class CWizardMode_Step7 : public CWizardModeProgressPage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 336,
    IDC_DRIVE = 1275,
    IDC_FREE_CLUSTERS = 1190,
    IDC_TOTAL_CLUSTERS = 1191,
    IDC_CURRENT_CLUSTER = 1192,
  };

  CWizardMode_Step7();
  ~CWizardMode_Step7() override;

  void UpdateProgress() override;
  void ResetProgress() override;

 protected:
  bool StartPass(CVolume& volume) override;
};
