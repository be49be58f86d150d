#pragma once
// New Signature Wizard, page 2 "Scanning for matching fragments" (form 312): the
// analysis of the samples (AnalyseSamples into SignatureBuffer) with a bar and a
// log. It runs once per wizard, on WM_SIGNATURE_ANALYSE, which the page posts to
// itself when it is first shown; Next is offered once it has run.
//
// Owned by the wizard; GUI thread only.

#include "controls/ResizablePropertyPage.h"

class QPlainTextEdit;
class QProgressBar;

class CNewSignature_Step2 : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  CNewSignature_Step2();
  ~CNewSignature_Step2() override;

  void OnInitDialog() override;
  bool OnSetActive() override;

  // The analysis (WM_SIGNATURE_ANALYSE); only the first call works.
  void RunAnalysis();
  bool Analysed() const { return analysed_; }

  QPlainTextEdit* Log() const { return log_; }
  QProgressBar* Bar() const { return bar_; }

 protected:
  bool event(QEvent* event) override;

 private:
  // Appends at the end of the log (CR LF as a line break).
  void Append(const QString& text);

  QPlainTextEdit* log_;
  QProgressBar* bar_;
  bool analysed_ = false;
};
