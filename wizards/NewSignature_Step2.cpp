#include "wizards/NewSignature_Step2.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/records/Messages.h"
#include "wizards/NewSignature.h"
#include "wizards/SignatureSample.h"

CNewSignature_Step2::CNewSignature_Step2() : CResizablePropertyPage() {
  SetDialogId(312);
  SetHeaderTitle(QStringLiteral("Scanning for matching fragments"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  bar_ = new QProgressBar(this);
  controls::SetControlId(bar_, 1035);
  bar_->setTextVisible(false);
  log_ = new QPlainTextEdit(this);
  controls::SetControlId(log_, 316);
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                             controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  layout->addWidget(bar_);
  layout->addWidget(new QLabel(QStringLiteral("Log:"), this));
  layout->addWidget(log_, 1);
  resize(controls::DluToPixels(units, 201, 140));
}

CNewSignature_Step2::~CNewSignature_Step2() = default;

void CNewSignature_Step2::OnInitDialog() {
  bar_->setRange(0, static_cast<int>(g_SignatureSamples.size()) + 1);
  bar_->setValue(0);
  SetWizardButtons(0);
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_SIGNATURE_ANALYSE)));
}

bool CNewSignature_Step2::OnSetActive() {
  SetWizardButtons(analysed_ ? controls::PSWIZB_NEXT : 0);
  return true;
}

bool CNewSignature_Step2::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(WM_SIGNATURE_ANALYSE)) {
    RunAnalysis();
    return true;
  }
  return CResizablePropertyPage::event(event);
}

void CNewSignature_Step2::Append(const QString& text) {
  QTextCursor cursor = log_->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  log_->setTextCursor(cursor);
}

void CNewSignature_Step2::RunAnalysis() {
  if (analysed_) return;
  analysed_ = true;
  const std::vector<SignatureSample>& samples = g_SignatureSamples;
  Append(QStringLiteral("Begin Analyse %1 files.").arg(samples.size()));
  for (const QString& path : g_UnreadableSamples)
    Append(QStringLiteral("\r\nLeft out, can't be read: %1").arg(path));
  AnalyseSamples(samples, SignatureBufferData(), SignatureBufferMask(), [&](std::size_t i) {
    bar_->setValue(bar_->value() + 1);
    Append(QStringLiteral("\r\nAnalyse: %1").arg(samples[i].path));
  });
  bar_->setValue(bar_->value() + 1);
  Append(QStringLiteral("\r\nEnd Analyse %1 files.").arg(samples.size()));
  QTextCursor cursor = log_->textCursor();
  cursor.setPosition(std::min(1, log_->document()->characterCount() - 1));
  log_->setTextCursor(cursor);
  SetWizardButtons(controls::PSWIZB_NEXT);
}
