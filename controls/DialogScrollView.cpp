#include "controls/DialogScrollView.h"

#include <QResizeEvent>
#include <QScrollBar>

CDialogScrollView::CDialogScrollView(QWidget* parent) : QScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  // Until the first layout the form keeps the size its host gave it.
  setWidgetResizable(false);
}

void CDialogScrollView::SetDialog(QWidget* dialog) {
  m_dialog = dialog;
  if (!dialog) return;
  // A form that was never sized gets the size its layout asks for.
  if (!dialog->testAttribute(Qt::WA_Resized)) dialog->resize(dialog->sizeHint().expandedTo(dialog->minimumSizeHint()));
  const QSize size = dialog->size();
  setWidget(dialog);
  dialog->resize(size);
  if (isVisible()) FirstLayout();
}

void CDialogScrollView::FirstLayout() {
  if (!m_dialog || !m_firstLayoutPending) return;
  m_firstLayoutPending = false;
  m_scrollSize = m_dialog->size();
  m_dialog->setMinimumSize(m_scrollSize);
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  // From now on the form fills the view, never below its first size.
  setWidgetResizable(true);
}

void CDialogScrollView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (m_dialog && m_firstLayoutPending) FirstLayout();
}

void CDialogScrollView::showEvent(QShowEvent* event) {
  QScrollArea::showEvent(event);
  if (m_dialog && m_firstLayoutPending) FirstLayout();
}
