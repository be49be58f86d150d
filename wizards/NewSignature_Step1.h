#pragma once
// New Signature Wizard, page 1 "Add files for analysis" (form 311): the sample
// files. "Select files..." adds the files chosen in the multi-select open dialog to
// a sorted list (a file already listed is not added twice), "Remove" takes the
// selected entries out, "Skip" goes straight to the fragment editor without an
// analysis. Next is offered with two or more entries; it reads the first 512
// bytes of each (CollectSamples into g_SignatureSamples). Files that can't be read
// are left out (the analysis page logs them); with fewer than two left the page
// says so and stays.
//
// Owned by the wizard; GUI thread only.

#include <QStringList>

#include "controls/ResizablePropertyPage.h"

class QListWidget;
class QPushButton;

class CNewSignature_Step1 : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CNewSignature_Step1();
  ~CNewSignature_Step1() override;

  void OnInitDialog() override;
  bool OnSetActive() override;
  int OnWizardNext() override;

  // Next with two or more entries, no button otherwise.
  void UpdateButtons();
  // The buttons' actions.
  void OnSelectFiles();
  void OnRemove();
  void OnSkip();
  // Adds paths to the list (those not listed yet).
  void AddFiles(const QStringList& paths);

  QListWidget* List() const { return list_; }
  // The list's entries, in list order.
  QStringList Entries() const;
  // The paths last chosen in the file dialog.
  const QStringList& ChosenPaths() const { return chosen_; }

 private:
  QListWidget* list_;
  QStringList chosen_;
};
