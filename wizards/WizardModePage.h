#pragma once
// CWizardModePage: what the ten pages of the step-by-step wizard share. Each is a
// resizable wizard page with a form of 310 x 198 dialog units built at
// construction (its controls carry their numbers), the header title of its string
// id and an empty subtitle. Its first activation initialises it: it tells the
// sheet (WM_PAGE_INITIALIZED), loads its fields (InitPage) and is translated from
// its section of the language tables ("Wizard.Step0" .. "Wizard.Finish"). Help is
// the help for the page (the sheet's handler with command 0 and the page). Each
// showing gives the keyboard to the page's first control.
//
// Owned by the wizard-mode sheet; GUI thread only.

#include <QLabel>
#include <QString>

#include "controls/ResizablePropertyPage.h"

class CWizardMode_Main;
class QVBoxLayout;

class CWizardModePage : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kWidthDlu = 310;
  static constexpr int kHeightDlu = 198;
  // The hint at the bottom of most pages ("Click Next to continue...").
  static constexpr int IDC_HINT = 1182;

  // `dialogId` names the page's form, `titleId` the string of its header title,
  // `section` its section of the language tables.
  CWizardModePage(int dialogId, int titleId, const QString& section);
  ~CWizardModePage() override;

  QString Section() const { return section_; }
  // The sheet the page is in (null before it is added).
  CWizardMode_Main* Main() const;
  bool IsActive() const;

  void OnInitDialog() final;
  // The page is being shown: OnPageSetActive with IsActive() already true (the
  // sheet makes the page current only after this returns).
  bool OnSetActive() final;
  // The keyboard to the page's first control that Tab reaches, unless the focus
  // is inside the page already (run after each showing).
  void FocusFirstControl();
  // The help topic of the page at `step` (0 welcome, 1..9).
  static QString HelpTopic(int step);

 protected:
  // The page's own initialisation, after WM_PAGE_INITIALIZED and before the
  // translation.
  virtual void InitPage() {}
  // The page's own part of its showing; false keeps the page from showing.
  virtual bool OnPageSetActive() { return true; }

  // ---- Form parts ----------------------------------------------------------------
  // A static text that wraps, with `id` when it has one (0: none).
  QLabel* AddText(const QString& text, int id = 0);
  // The page's outer layout (7 dialog units of margin).
  QVBoxLayout* Layout() const { return layout_; }
  // Pixels of `dlu` horizontal or vertical dialog units in the page's font.
  int DluX(int dlu) const;
  int DluY(int dlu) const;

 private:
  QString section_;
  QVBoxLayout* layout_;
  bool activating_ = false;
};
