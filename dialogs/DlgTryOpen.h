#pragma once
// CDlgTryOpen: the "Warning!" box (form 301) shown before "Try To Open..." opens
// found files with the programs associated with their types: what may go wrong
// with a damaged file, and the check box "Don't show this warning again."
// (AppSettings::NoTryOpenWarning), which is stored on OK and on Cancel alike.
// Returns 1 for OK, 2 for Cancel. The explorer view asks for it as the question
// QuestionKind::TryOpenWarning, while the warning is on.
//
// GUI thread only.

#include <QDialog>

#include "engine/records/UserCallbacks.h"

class QCheckBox;

class CDlgTryOpen : public QDialog {
  Q_OBJECT

 public:
  enum : int { IDD = 301, IDC_DONT_SHOW = 1126 };

  explicit CDlgTryOpen(QWidget* parent = nullptr);

  // 1 after OK.
  int Confirmed() const { return confirmed_; }

  // Whether "Try To Open..." may go on: true at once while the warning is switched
  // off, else the answer of the warning (OK).
  static bool Confirm(QWidget* owner);
  // The answer to QuestionKind::TryOpenWarning (registered at start-up): Ok after
  // OK, Cancel otherwise (and at once for a question already withdrawn).
  static Reply Ask(const Question& question, QWidget* owner);

 public slots:
  void accept() override;
  void reject() override;

 private:
  void Save();

  int confirmed_ = 0;
  QCheckBox* dontShow_ = nullptr;
};
