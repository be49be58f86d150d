#pragma once
// "Step 1 of 9: Select drive" (form 324): the drive tree of the explorer view (the
// main window's, over placeholder 1220) to pick the drive to work on. Each showing
// asks the sheet to reset both progress pages (0x0303), so that the passes start
// again for the drive chosen. Next is on while a drive whose query did not fail is
// selected.
//
// Choosing the drive (Next, or "Select" of the drive's menu, command 32871): the
// selected drive becomes the current volume (the one the passes and the result
// pages work on) and its found objects are cleared, then the next page shows. A
// drive whose objects can't be cleared now (a recovery reads them) keeps the page.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include <memory>

#include "wizards/WizardModePage.h"

class CVolume;
class CVolumeExploreView;
class CWizardModeExplorerHost;

class CWizardMode_Step1 : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int { IDD = 324, IDC_TREE = 1168 };
  // The page beside the tree (media folder): the wizard's road.
  static constexpr const char* kDrivePage = "WizardDrives.html";

  CWizardMode_Step1();
  ~CWizardMode_Step1() override;

  bool OnPageSetActive() override;
  int OnWizardNext() override;

  CVolumeExploreView* View() const;
  // The drive selected in the tree (null: none, or a node that is no drive).
  std::shared_ptr<CVolume> SelectedDrive() const;
  // Back, and Next while a drive whose query did not fail is selected.
  void UpdateButtons();
  // Makes the selected drive the current volume with its found objects cleared;
  // false (nothing changed) when there is none or the clear was refused.
  bool ChooseSelectedDrive();
  // Command 32871: the choice, then the next page.
  void OnSelectNode();

 protected:
  void InitPage() override;

 private:
  CWizardModeExplorerHost* host_;
};
