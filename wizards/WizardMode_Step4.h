#pragma once
// "Step 4 of 9: Let the computer do all the work for you!" (form 330): the
// auto-pilot (1185, AppSettings::AutoRecover: every file a pass finds is recovered
// when the pass ends by itself), the destination folder (1032 with "Browse..."
// 1034) and "Keep the folder structure" (1113). Next stores them and checks the
// destination (CLocalComputer::CheckDestinationFolder, which says why it refuses);
// a refused folder keeps the page.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModePage.h"

class QCheckBox;
class QLineEdit;

class CWizardMode_Step4 : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 330,
    IDC_DESTINATION = 1032,
    IDC_BROWSE = 1034,
    IDC_KEEP_FOLDERS = 1113,
    IDC_WARNING = 1184,
    IDC_AUTO_RECOVER = 1185,
  };
  // The destination field holds 8192 bytes.
  static constexpr int kDestinationUnits = 4096;

  CWizardMode_Step4();
  ~CWizardMode_Step4() override;

  int OnWizardNext() override;
  // The folder picker; a chosen folder becomes the destination (with one "/" at
  // its end) and the fields are loaded again; a cancel changes nothing.
  void OnBrowse();

 protected:
  void InitPage() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoadFields();
  void SaveFields();

  QCheckBox* autoRecover_;
  QLabel* pilotText_ = nullptr;
  QLineEdit* destination_;
  QCheckBox* keepFolders_;
};
