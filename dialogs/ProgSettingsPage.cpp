#include "dialogs/ProgSettingsPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"

CProgSettingsPage::CProgSettingsPage(const QString& caption, int dialogId, int iconId, int iconStaticId,
                                     const QString& section, AppSettings& settings)
    : CResizablePropertyPage(caption), settings_(settings), section_(section), iconId_(iconId) {
  SetDialogId(dialogId);
  setWindowTitle(caption);
  auto* row = new QHBoxLayout(this);
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  row->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                          controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  row->setSpacing(controls::DluToPixelsX(units, 7));
  icon_ = new QLabel(this);
  controls::SetControlId(icon_, iconStaticId);
  icon_->setFixedSize(48, 48);
  row->addWidget(icon_, 0, Qt::AlignTop);
  body_ = new QVBoxLayout;
  body_->setSpacing(controls::DluToPixelsY(units, 4));
  row->addLayout(body_, 1);
  resize(controls::DluToPixels(units, kWidthDlu, kHeightDlu));
}

CProgSettingsPage::~CProgSettingsPage() = default;

void CProgSettingsPage::OnInitDialog() {
  SendPageInitialized();
  icon_->setPixmap(app::IconById(iconId_).pixmap(48, 48));
  Prepare();
  if (g_App) g_App->Languages().TranslateWindow(section_, this);
  Load();
  UpdateEnabling();
}
