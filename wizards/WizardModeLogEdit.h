#pragma once
// The progress pages' log (control 1171): a read-only text that takes the log
// lines the page receives while it is the program's log window. Lines are gathered
// as they arrive and appended once per turn of the event loop, at most
// kLinesPerTurn at a time, so a pass that logs every file it finds never holds the
// window. No limit on the text.
//
// Owned by its page; GUI thread only.

#include <QPlainTextEdit>
#include <QStringList>

class CWizardModeLogEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int IDC_LOG = 1171;
  static constexpr int kLinesPerTurn = 2000;

  explicit CWizardModeLogEdit(QWidget* parent = nullptr);
  ~CWizardModeLogEdit() override;

  // Appends a line (at the end, whatever the selection), at the next turn.
  void AppendLine(const QString& line);
  // Appends what is gathered now (tests).
  void Flush();
  // Empties the text and drops what is gathered.
  void ClearLog();
  // Lines gathered and not appended yet.
  int Pending() const { return int(pending_.size()) - int(next_); }

 private:
  void FlushTurn(bool all);

  QStringList pending_;
  qsizetype next_ = 0;
  bool scheduled_ = false;
};
