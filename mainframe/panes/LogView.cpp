#include "mainframe/panes/LogView.h"

#include <QAbstractItemView>

#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "engine/records/Messages.h"
#include "mainframe/panes/LogLinesModel.h"

CLogView::CLogView(QWidget* parent) : QComboBox(parent), lines_(new CLogLinesModel(kMaxLines, this)) {
  setEditable(false);
  setModel(lines_);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(1);
  setMaxVisibleItems(qMax(1, kDropDownHeight / qMax(1, fontMetrics().height() + 2)));
  // Long lines: the drop-down is as wide as the box, and the text is cut at its
  // end rather than widening the list past the window.
  view()->setTextElideMode(Qt::ElideRight);
  applyTimer_.setSingleShot(true);
  applyTimer_.setInterval(0);
  connect(&applyTimer_, &QTimer::timeout, this, &CLogView::ApplyPending);
}

void CLogView::AddLine(const QString& line) {
  // Lines beyond what the box keeps are never shown: drop them here already.
  if (pending_.size() >= std::size_t(kMaxLines)) pending_.erase(pending_.begin(), pending_.begin() + kMaxLines / 2);
  pending_.push_back(line);
  if (!applyTimer_.isActive()) applyTimer_.start();
}

void CLogView::ApplyPending() {
  applyTimer_.stop();
  if (pending_.empty()) return;
  std::vector<QString> lines;
  lines.swap(pending_);
  lines_->AddLines(lines);
  setCurrentIndex(0);
}

bool CLogView::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event); m && m->message == WM_LOG_LINE) {
    AddLine(app::ToQString(m->text));
    return true;
  }
  return QComboBox::event(event);
}
