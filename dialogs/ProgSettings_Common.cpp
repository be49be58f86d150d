#include "dialogs/ProgSettings_Common.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "controls/ControlId.h"
#include "engine/records/AppSettings.h"

CProgSettings_Common::CProgSettings_Common(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Common Settings"), 291, app::IDI_SETTINGS_COMMON, 1241,
                        QStringLiteral("ProgrammSettings.Common"), settings) {
  splash_ = new QCheckBox(QStringLiteral("Show Splash screen at startup"), this);
  controls::SetControlId(splash_, 1112);
  Body()->addWidget(splash_);
  Body()->addStretch(1);
}

void CProgSettings_Common::Load() { splash_->setChecked(Settings().ShowSplash() != 0); }

int CProgSettings_Common::OnApply() {
  Settings().SetShowSplash(splash_->isChecked() ? 1 : 0);
  return controls::kApplyAccepted;
}
