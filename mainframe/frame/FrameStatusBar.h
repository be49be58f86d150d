#pragma once
// The main window's status bar: a CMultiPaneStatusBarEx with the panes 133 (the
// status text, 250 px), 159 (the progress bar, 200 px while shown, 0 while
// hidden) and 0 (the variable part, 200 px before it stretches) that holds the
// log box and, as a square at its right end, the "..." button (command 134, which
// the bar passes on as command(134)). The children follow their panes at every
// resize.
//
// Owned by the frame; GUI thread only.

#include <QRect>

#include "controls/MultiPaneStatusBarEx.h"

class CLogView;
class QProgressBar;
class QToolButton;

namespace mainframe {

class CFrameStatusBar : public controls::CMultiPaneStatusBarEx {
  Q_OBJECT

 public:
  static constexpr int kStatusWidth = 250;
  static constexpr int kProgressWidth = 200;
  static constexpr int kLogWidth = 200;

  explicit CFrameStatusBar(QWidget* parent = nullptr);

  QProgressBar* ProgressBar() const { return progress_; }
  QToolButton* LogButton() const { return button_; }
  CLogView* LogBox() const { return log_; }

  // 0 hides the progress bar and gives its pane no width; 1 shows it at 200 px.
  void ShowProgress(bool show);
  bool ProgressShown() const { return progressShown_; }
  void SetProgressPosition(int position);

  // Where the children go, from the pane rectangles: the progress bar fills pane
  // 159; the button is the square at the right end of pane 0 (its bottom less 1);
  // the log box the rest of pane 0.
  static QRect ButtonRect(const QRect& logPane);
  static QRect LogBoxRect(const QRect& logPane);
  void PlaceChildren();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QProgressBar* progress_ = nullptr;
  QToolButton* button_ = nullptr;
  CLogView* log_ = nullptr;
  bool progressShown_ = true;
};

}  // namespace mainframe
