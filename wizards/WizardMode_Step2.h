#pragma once
// "Step 2 of 9: Select File Types" (form 327): the file types the signature pass
// searches for (the tree 1042, the types' searchEnabled flags) and the file name
// mask of the filter (check 1217 and edit 316, the edit on only while the check
// is). The check and the mask go into the computer's filter at every click and
// every edit, so nothing typed is lost whatever leaves the page; Next stores the
// tree's checks (the database is saved) and saves the filter.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include "wizards/WizardModePage.h"

class CSearchFileTypeTreeView;
class QCheckBox;
class QLineEdit;

class CWizardMode_Step2 : public CWizardModePage {
  Q_OBJECT

 public:
  enum : int { IDD = 327, IDC_TYPES = 1042, IDC_USE_MASK = 1217, IDC_MASK = 316, IDC_MASK_TEXT = 1215 };

  CWizardMode_Step2();
  ~CWizardMode_Step2() override;

  int OnWizardNext() override;

  // Stores the check and the mask into the filter and sets the edit's enable state.
  void OnOptionClicked();

  CSearchFileTypeTreeView* Tree() const { return tree_; }

 protected:
  void InitPage() override;

 private:
  CSearchFileTypeTreeView* tree_;
  QCheckBox* useMask_;
  QLineEdit* mask_;
};
