#pragma once
// New Signature Wizard, page 4 "Enter additional information" (form 321): the new
// type's group, extensions, typical size, name prefix, search order, id and
// coincidence percentage. The first showing sets the type's defaults
// (InitNewSignature). Next stores the fields and refuses a value the type can't
// take: a number that is not one, a coincidence outside 0..100, an id outside
// 1000..32767 or one that another type has.
//
// Owned by the wizard; GUI thread only.

#include "controls/ResizablePropertyPage.h"

class QComboBox;
class QLineEdit;

class CNewSignature_Step4 : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CNewSignature_Step4();
  ~CNewSignature_Step4() override;

  void OnInitDialog() override;
  bool OnSetActive() override;
  int OnWizardNext() override;

  // Sets the defaults of g_NewSignature, fills the group list and loads the fields.
  void InitNewSignature();

  QComboBox* Groups() const { return groups_; }

 private:
  void LoadFields();
  // 0 when every field was stored, else the refusal (shown).
  int SaveFields();

  QComboBox* groups_;
  QLineEdit* extensions_;
  QLineEdit* prefix_;
  QLineEdit* size_;
  QLineEdit* order_;
  QLineEdit* id_;
  QLineEdit* coincidence_;
};
