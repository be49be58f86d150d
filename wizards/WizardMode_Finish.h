#pragma once
// "Step 9 of 9: Recovery completed" (form 335): how many files the two passes
// found on the current volume (1181) and how many were recovered since the drive
// was chosen (1180: the files the recoveries wrote, not the ones selected), both
// counted again at each showing. "Explore Recovered Files" (1223) opens the folder
// the last recovery wrote into, "Process Another Drive" (1030) goes back to the
// drive page, "Send your feedback to us!" (1031) opens the feedback page. Finish
// ends the program (CApp::Exit: it may ask first).
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModePage.h"

namespace controls {
class CLabel;
}

class CWizardMode_Finish : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int {
    IDD = 335,
    IDC_FOUND = 1181,
    IDC_RECOVERED = 1180,
    IDC_EXPLORE = 1223,
    IDC_ANOTHER_DRIVE = 1030,
    IDC_FEEDBACK = 1031,
  };

  CWizardMode_Finish();
  ~CWizardMode_Finish() override;

  bool OnPageSetActive() override;
  bool OnWizardFinish() override;

  int FoundCount() const { return found_; }
  int RecoveredCount() const { return recovered_; }
  // The two counts from the current volume and the sheet.
  void UpdateCounts();
  void OnExplore();
  void OnAnotherDrive();
  void OnFeedback();

 private:
  controls::CLabel* foundLabel_;
  controls::CLabel* recoveredLabel_;
  int found_ = 0;
  int recovered_ = 0;
};
