#include "controls/WizardPropertySheet.h"

#include <QCoreApplication>
#include <QEvent>

#include "controls/DialogUnits.h"
#include "engine/records/Messages.h"

namespace controls {

CWizardPropertySheet::CWizardPropertySheet(const QString& title, int startPage, QWidget* parent, bool composited,
                                           bool wizard)
    : CResizablePropertySheet(title, startPage, parent, composited, wizard) {}

CWizardPropertySheet::~CWizardPropertySheet() = default;

int CWizardPropertySheet::InteriorLeft() const { return ScaledPixelsX(font(), kWizardSideBarWidth); }

void CWizardPropertySheet::resizeEvent(QResizeEvent* event) {
  // The base moves the controls and places the current page first.
  CResizablePropertySheet::resizeEvent(event);
  if (layoutChangePosted_) return;
  layoutChangePosted_ = true;
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(WM_PAGE_LAYOUT_CHANGED)));
}

bool CWizardPropertySheet::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(WM_PAGE_LAYOUT_CHANGED)) {
    layoutChangePosted_ = false;
    OnPageLayoutChanged();
    emit pageLayoutChanged();
    return true;
  }
  return CResizablePropertySheet::event(event);
}

}  // namespace controls
