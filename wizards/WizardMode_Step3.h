#pragma once
// "Step 3 of 9: Choose sector-by-sector scanning mode" (form 329): the signature
// pass reads the entire drive (1122, value 0) or the free drive space only (1085,
// value 1, the default): AppSettings::SkipAllocatedClusters, stored on Next.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModePage.h"

class QRadioButton;

class CWizardMode_Step3 : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int { IDD = 329, IDC_ENTIRE_DRIVE = 1122, IDC_FREE_SPACE = 1085 };

  CWizardMode_Step3();
  ~CWizardMode_Step3() override;

  int OnWizardNext() override;

 protected:
  void InitPage() override;

 private:
  QRadioButton* entire_;
  QRadioButton* free_;
};
