#pragma once
// "Step 5 of 9: Scanning the file system..." (form 331): the file-system pass on
// the current volume, with its records counted (current 1174, total 1175) and the
// files it found (1172). On a FAT-family volume the bar is a marquee while the pass
// runs (its records are not clusters) and full once the volume is ready again;
// other volumes show current / (total / 100), which stays at 0 for a total under
// 100. Back asks string 223 first: Yes goes back to the file types (Step2) and
// arms the pass to start again when this page is next shown.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModeProgressPage.h"

class CWizardMode_Step5 : public CWizardModeProgressPage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 331,
    IDC_DRIVE = 1274,
    IDC_CURRENT_RECORD = 1174,
    IDC_TOTAL_RECORDS = 1175,
  };
  static constexpr int kMarqueeStepMs = 60;

  CWizardMode_Step5();
  ~CWizardMode_Step5() override;

  void UpdateProgress() override;
  void ResetProgress() override;
  int OnWizardBack() override;

  bool BarArmed() const { return barArmed_; }
  bool BarIsMarquee() const;

 protected:
  bool StartPass(CVolume& volume) override;

 private:
  // A marquee for a FAT-family volume, a percentage for the others.
  void SetBarStyle(const CVolume& volume);

  bool barArmed_ = true;
};
