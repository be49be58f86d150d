#pragma once
// New Signature Wizard, page 5 "Provide description" (form 322): the new type's
// title, short description and description address. Next stores them. The
// "Category:" field has no action.
//
// Owned by the wizard; GUI thread only.

#include "controls/ResizablePropertyPage.h"

class QLineEdit;
class QPlainTextEdit;

class CNewSignature_Step5 : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CNewSignature_Step5();
  ~CNewSignature_Step5() override;

  void OnInitDialog() override;
  bool OnSetActive() override;
  int OnWizardNext() override;

 private:
  // Loads the fields from g_NewSignature.
  void LoadFields();

  QLineEdit* title_;
  QLineEdit* category_;
  QPlainTextEdit* description_;
  QLineEdit* address_;
};
