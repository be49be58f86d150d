#include "controls/ResizablePropertyPage.h"

#include <QCoreApplication>
#include <QEvent>

#include "controls/ResizablePropertySheet.h"
#include "engine/records/Messages.h"

namespace controls {

CResizablePropertyPage::CResizablePropertyPage(const QString& title, bool exterior, bool composited, QWidget* parent)
    : QWidget(parent), title_(title), exterior_(exterior), composited_(composited) {}

CResizablePropertyPage::~CResizablePropertyPage() = default;

QString CResizablePropertyPage::Title() const { return title_.isEmpty() ? windowTitle() : title_; }

void CResizablePropertyPage::SetHeaderTitle(const QString& title) {
  headerTitle_ = title;
  if (sheet_) sheet_->update();
}

void CResizablePropertyPage::SetHeaderSubTitle(const QString& subTitle) {
  headerSubTitle_ = subTitle;
  if (sheet_) sheet_->update();
}

QSize CResizablePropertyPage::TemplateSize() const {
  if (testAttribute(Qt::WA_Resized)) return size();
  return sizeHint().expandedTo(minimumSizeHint()).expandedTo(QSize(0, 0));
}

void CResizablePropertyPage::SendPageInitialized() {
  if (!sheet_) return;
  QEvent initialised(static_cast<QEvent::Type>(WM_PAGE_INITIALIZED));
  QCoreApplication::sendEvent(sheet_, &initialised);
}

void CResizablePropertyPage::SetModified(bool changed) {
  if (sheet_) sheet_->SetModified(this, changed);
}

void CResizablePropertyPage::SetWizardButtons(int flags) {
  if (sheet_) sheet_->SetWizardButtons(flags);
}

void CResizablePropertyPage::OnHelp() {
  if (sheet_) sheet_->RunHelp(this);
}

void CResizablePropertyPage::Initialize() {
  if (initialized_) return;
  initialized_ = true;
  if (exterior_) setProperty(kIsExteriorProperty, 1);
  OnInitDialog();
}

}  // namespace controls
