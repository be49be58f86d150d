#include "dialogs/ProgSettings_Confirms.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "controls/ControlId.h"
#include "engine/records/AppSettings.h"

CProgSettings_Confirms::CProgSettings_Confirms(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Confirmations"), 288, app::IDI_SETTINGS_CONFIRMS, 1241,
                        QStringLiteral("ProgrammSettings.Confirms"), settings) {
  auto add = [this](int id, const QString& text) {
    auto* box = new QCheckBox(text, this);
    controls::SetControlId(box, id);
    Body()->addWidget(box);
    return box;
  };
  exit_ = add(1116, QStringLiteral("Confirm application shutdown"));
  scanAbort_ = add(1113, QStringLiteral("Confirm scan abort"));
  recoveryAbort_ = add(1114, QStringLiteral("Confirm recovery abort"));
  noTryOpenWarning_ = add(1126, QStringLiteral("Do not show warning message in \"Try to open\" "));
  Body()->addStretch(1);
}

void CProgSettings_Confirms::Load() {
  exit_->setChecked(Settings().ConfirmExit() != 0);
  scanAbort_->setChecked(Settings().ConfirmScanAbort() != 0);
  recoveryAbort_->setChecked(Settings().ConfirmRecoveryAbort() != 0);
  noTryOpenWarning_->setChecked(Settings().NoTryOpenWarning() != 0);
}

int CProgSettings_Confirms::OnApply() {
  Settings().SetConfirmExit(exit_->isChecked() ? 1 : 0);
  Settings().SetConfirmScanAbort(scanAbort_->isChecked() ? 1 : 0);
  Settings().SetConfirmRecoveryAbort(recoveryAbort_->isChecked() ? 1 : 0);
  Settings().SetNoTryOpenWarning(noTryOpenWarning_->isChecked() ? 1 : 0);
  return controls::kApplyAccepted;
}
