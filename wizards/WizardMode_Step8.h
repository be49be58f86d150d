#pragma once
// "Step 8 of 9: View and recover after sectors scan" (form 337): the files the
// signature pass found ("Lost files" at the root of the tree). The first showing
// after a drive choice notes how many files had been recovered (the snapshot);
// Next asks string 222 when the pass found files and nothing was recovered since;
// No keeps the page.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModeResultsPage.h"

class CWizardMode_Step8 : public CWizardModeResultsPage {
  Q_OBJECT

 public:
  enum : int { IDD = 337 };

  CWizardMode_Step8();
  ~CWizardMode_Step8() override;

  bool OnPageSetActive() override;
  int OnWizardNext() override;

  bool SnapshotTaken() const { return snapshotTaken_; }
  int Snapshot() const { return snapshot_; }
  // A new drive choice: the next showing takes the snapshot again.
  void ResetSnapshot() { snapshotTaken_ = false; }

 private:
  bool snapshotTaken_ = false;
  int snapshot_ = 0;
};
