#include "mainframe/LogView.h"

#include <QAbstractItemView>

#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "engine/Messages.h"

CLogView::CLogView(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(1);
  setMaxVisibleItems(qMax(1, kDropDownHeight / qMax(1, fontMetrics().height() + 2)));
}

void CLogView::AddLine(const QString& line) {
  insertItem(0, line);
  setCurrentIndex(0);
}

bool CLogView::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event); m && m->message == WM_LOG_LINE) {
    AddLine(app::ToQString(m->text));
    return true;
  }
  return QComboBox::event(event);
}
