#pragma once
// "Step 6 of 9: View and recover after file system scan" (form 332): the current
// volume's files as the file-system pass found them. Next asks string 221 when
// the pass found files and none has been recovered since the drive was chosen;
// No keeps the page.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModeResultsPage.h"

class CWizardMode_Step6 : public CWizardModeResultsPage {
  Q_OBJECT

 public:
  enum : int { IDD = 332 };

  CWizardMode_Step6();
  ~CWizardMode_Step6() override;

  bool OnPageSetActive() override;
  int OnWizardNext() override;
};
