#pragma once
// CLogView: the drop-down list in the main window's status bar that shows the
// program log. It is the application's log window: every WM_LOG_LINE goes in at
// the top and is selected, so the newest line always shows.
//
// Owned by the main window's status bar; GUI thread only.

#include <QComboBox>

class CLogView : public QComboBox {
  Q_OBJECT

 public:
  static constexpr int kDropDownHeight = 300;

  explicit CLogView(QWidget* parent = nullptr);

  void AddLine(const QString& line);

 protected:
  bool event(QEvent* event) override;
};
