#include "dialogs/DlgTryOpen.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FormParts.h"
#include "engine/records/AppSettings.h"

namespace {

const char* const kTexts[] = {
    "You are trying to open a file in a program associated with the file type. If the file is not damaged or "
    "partly overwritten, it will be opened and displayed as expected.",
    "If, however, the file is damaged in some way, certain problems may arise, e.g. the file will open but only "
    "\"garbage\" will be displayed, or the file will fail to open and the associated program will hang.",
    "If the program hangs, close the program that shows the file, or start the system monitor, find and select the "
    "program's executable in the list of processes and end it.",
};

}  // namespace

CDlgTryOpen::CDlgTryOpen(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Warning!"));
  controls::SetControlId(this, IDD);
  const controls::DialogBaseUnits du = controls::BaseUnitsOf(font());

  QVBoxLayout* layout = dialogs::MakeFormLayout(this);
  layout->setSpacing(controls::DluToPixelsY(du, 5));
  for (const char* text : kTexts) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  dontShow_ = new QCheckBox(QStringLiteral("Don't show this warning again."), this);
  controls::SetControlId(dontShow_, IDC_DONT_SHOW);
  dontShow_->setChecked(Settings().NoTryOpenWarning() != 0);
  layout->addWidget(dontShow_);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  controls::SetControlId(ok, 1);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  controls::SetControlId(cancel, 2);
  connect(ok, &QPushButton::clicked, this, &CDlgTryOpen::accept);
  connect(cancel, &QPushButton::clicked, this, &CDlgTryOpen::reject);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  // As tall as the wrapped texts need at the form's width.
  const int width = controls::DluToPixelsX(du, 260);
  setFixedSize(width, layout->totalHeightForWidth(width));
}

bool CDlgTryOpen::Confirm(QWidget* owner) {
  if (Settings().NoTryOpenWarning() != 0) return true;
  CDlgTryOpen dialog(owner);
  return dialog.exec() == 1;
}

Reply CDlgTryOpen::Ask(const Question& question, QWidget* owner) {
  Reply reply;
  reply.answer = Answer::Cancel;
  if (question.Withdrawn()) return reply;
  CDlgTryOpen dialog(owner);
  if (dialog.exec() == 1) reply.answer = Answer::Ok;
  return reply;
}

void CDlgTryOpen::Save() {
  Settings().SetNoTryOpenWarning(dontShow_->isChecked() ? 1 : 0);
  Settings().Save();
}

void CDlgTryOpen::accept() {
  confirmed_ = 1;
  Save();
  done(1);
}

void CDlgTryOpen::reject() {
  Save();
  done(2);
}
