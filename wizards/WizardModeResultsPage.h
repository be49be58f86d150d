#pragma once
// CWizardModeResultsPage: the two result pages, after the file-system pass
// (Step6) and after the signature pass (Step8). Each shows the explorer view of
// the main window over placeholder 1220 (without the drives' menu) with four
// buttons: "Recover..." (1177), "Try to Open..." (1178) and "Information..."
// (1179) post their commands (32787, 32809, 32797) to the view, "Filters" (1276)
// opens the filters sheet. What is recovered is the view's selection (the list or
// tree that last had the focus), never the check marks.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModePage.h"

class CVolumeExploreView;
class CWizardModeExplorerHost;

class CWizardModeResultsPage : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int { IDC_RECOVER = 1177, IDC_TRY_OPEN = 1178, IDC_INFORMATION = 1179, IDC_FILTERS = 1276 };

  CWizardModeResultsPage(int dialogId, int titleId, const QString& section, const QString& hint);
  ~CWizardModeResultsPage() override;

  CVolumeExploreView* View() const;
  CWizardModeExplorerHost* Host() const { return host_; }
  // A button's command, posted to the view.
  void PostCommand(int id);
  // "Filters": the filters sheet, modal.
  void OnFilters();

 protected:
  void InitPage() override;

 private:
  CWizardModeExplorerHost* host_;
};
