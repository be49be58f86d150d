#pragma once
// CLogView: the drop-down list in the main window's status bar that shows the
// program log. It is the application's log window: each WM_LOG_LINE goes in at the
// top and the newest line is the selected one, so it always shows.
//
// A burst of lines (an analysis logging every name it finds) is taken in once per
// event-loop turn: the lines wait in a queue that a zero-time timer empties into
// the box in one step. The box keeps the newest kMaxLines; the whole log stays in
// the program's log, its file and "Recovery log file.txt".
//
// Owned by the main window's status bar; GUI thread only.

#include <QComboBox>
#include <QTimer>

#include <vector>

class CLogLinesModel;

class CLogView : public QComboBox {
  Q_OBJECT

 public:
  static constexpr int kDropDownHeight = 300;
  static constexpr int kMaxLines = 10000;

  explicit CLogView(QWidget* parent = nullptr);

  // Queues a line; it shows at the next turn of the event loop.
  void AddLine(const QString& line);
  // Puts the queued lines in now (the timer does this by itself).
  void ApplyPending();
  int PendingCount() const { return int(pending_.size()); }
  CLogLinesModel* Lines() const { return lines_; }

 protected:
  bool event(QEvent* event) override;

 private:
  CLogLinesModel* lines_;
  std::vector<QString> pending_;
  QTimer applyTimer_;
};
