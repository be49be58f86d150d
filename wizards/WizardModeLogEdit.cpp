#include "wizards/WizardModeLogEdit.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>

#include "controls/ControlId.h"

CWizardModeLogEdit::CWizardModeLogEdit(QWidget* parent) : QPlainTextEdit(parent) {
  controls::SetControlId(this, IDC_LOG);
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setMaximumBlockCount(0);
}

CWizardModeLogEdit::~CWizardModeLogEdit() = default;

void CWizardModeLogEdit::AppendLine(const QString& line) {
  pending_.append(line);
  if (scheduled_) return;
  scheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    scheduled_ = false;
    FlushTurn(false);
  });
}

void CWizardModeLogEdit::Flush() { FlushTurn(true); }

void CWizardModeLogEdit::ClearLog() {
  pending_.clear();
  next_ = 0;
  clear();
}

void CWizardModeLogEdit::FlushTurn(bool all) {
  if (next_ >= pending_.size()) return;
  const qsizetype end = all ? pending_.size() : std::min(pending_.size(), next_ + kLinesPerTurn);
  QString text;
  for (qsizetype i = next_; i < end; ++i) {
    text += pending_[i];
    text += QLatin1Char('\n');
  }
  next_ = end;
  if (next_ >= pending_.size()) {
    pending_.clear();
    next_ = 0;
  } else if (!scheduled_) {
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
      scheduled_ = false;
      FlushTurn(false);
    });
  }
  // Each line goes where the last one ended, and the end stays in view while the
  // user has not scrolled away from it.
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum() - 1;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
  if (atEnd) bar->setValue(bar->maximum());
}
