#include "mainframe/frame/FrameStatusBar.h"

#include <QProgressBar>
#include <QToolButton>

#include "controls/ControlId.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/panes/LogView.h"

namespace mainframe {

CFrameStatusBar::CFrameStatusBar(QWidget* parent) : CMultiPaneStatusBarEx(parent, false) {
  controls::SetControlId(this, ID_VIEW_STATUS_BAR);
  SetPanes({kPaneStatusText, kPaneProgress, kPaneLog}, {kStatusWidth, kProgressWidth, kLogWidth});

  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  log_ = new CLogView(this);
  controls::SetControlId(log_, 0);

  button_ = new QToolButton(this);
  button_->setText(QStringLiteral("..."));
  button_->setAutoRaise(true);  // flat
  button_->setToolTip(QStringLiteral("Log file"));
  controls::SetControlId(button_, ID_SHOW_LOG);  // the bar passes its click on as command 134

  ShowProgress(false);
}

QRect CFrameStatusBar::ButtonRect(const QRect& pane) {
  if (pane.isEmpty()) return {};
  QRect r = pane;
  r.setBottom(r.bottom() - 1);
  r.setLeft(r.right() - r.height() + 1);
  return r;
}

QRect CFrameStatusBar::LogBoxRect(const QRect& pane) {
  if (pane.isEmpty()) return {};
  QRect r = pane;
  r.setBottom(r.bottom() - 1);
  r.setRight(r.right() - r.height());
  return r;
}

void CFrameStatusBar::ShowProgress(bool show) {
  progressShown_ = show;
  progress_->setVisible(show);
  SetPaneWidth(kPaneProgress, show ? kProgressWidth : 0);
  PlaceChildren();
}

void CFrameStatusBar::SetProgressPosition(int position) { progress_->setValue(position); }

void CFrameStatusBar::PlaceChildren() {
  progress_->setGeometry(PaneRect(kPaneProgress));
  const QRect logPane = PaneRect(kPaneLog);
  button_->setGeometry(ButtonRect(logPane));
  log_->setGeometry(LogBoxRect(logPane));
}

void CFrameStatusBar::resizeEvent(QResizeEvent* event) {
  CMultiPaneStatusBarEx::resizeEvent(event);
  PlaceChildren();
}

}  // namespace mainframe
