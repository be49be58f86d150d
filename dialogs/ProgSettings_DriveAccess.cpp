#include "dialogs/ProgSettings_DriveAccess.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "controls/ControlId.h"
#include "controls/UpDownCtrl.h"
#include "dialogs/FieldExchange.h"
#include "engine/records/AppSettings.h"

namespace {

void RangeOf(std::size_t offset, std::int32_t& low, std::int32_t& high) {
  if (!AppSettings::FieldRange(offset, low, high)) {
    low = 0;
    high = 0;
  }
}

}  // namespace

CProgSettings_DriveAccess::CProgSettings_DriveAccess(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Drive Access"), 290, app::IDI_SETTINGS_DRIVE_ACCESS, 1241,
                        QStringLiteral("ProgrammSettings.DriveAccess"), settings) {
  auto* grid = new QGridLayout;
  retries_ = new QLineEdit(this);
  controls::SetControlId(retries_, 1146);
  retriesSpin_ = new controls::CUpDownCtrl(this);
  controls::SetControlId(retriesSpin_, 1117);
  pause_ = new QLineEdit(this);
  controls::SetControlId(pause_, 1118);
  pauseSpin_ = new controls::CUpDownCtrl(this);
  controls::SetControlId(pauseSpin_, 1119);
  for (QLineEdit* e : {retries_, pause_}) e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 10);

  grid->addWidget(new QLabel(QStringLiteral("Retry attempts:"), this), 0, 0);
  auto* r = new QHBoxLayout;
  r->setSpacing(0);
  r->addWidget(retries_);
  r->addWidget(retriesSpin_);
  r->addStretch(1);
  grid->addLayout(r, 0, 1);
  auto* retriesNote = new QLabel(QStringLiteral("Increase if your medium is physically damaged."), this);
  retriesNote->setWordWrap(true);
  grid->addWidget(retriesNote, 1, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Pause between retry attempts:"), this), 2, 0);
  auto* p = new QHBoxLayout;
  p->setSpacing(0);
  p->addWidget(pause_);
  p->addWidget(pauseSpin_);
  p->addSpacing(4);
  p->addWidget(new QLabel(QStringLiteral("ms."), this));
  p->addStretch(1);
  grid->addLayout(p, 2, 1);
  auto* pauseNote = new QLabel(QStringLiteral("Use a pause between retries for old/unstable reading devices."), this);
  pauseNote->setWordWrap(true);
  grid->addWidget(pauseNote, 3, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setVerticalSpacing(8);
  Body()->addLayout(grid);
  Body()->addStretch(1);
}

void CProgSettings_DriveAccess::Prepare() {
  std::int32_t low, high;
  retriesSpin_->SetBuddy(retries_);
  RangeOf(AppSettings::kReadRetriesOffset, low, high);
  retriesSpin_->SetRange32(low, high);
  pauseSpin_->SetBuddy(pause_);
  RangeOf(AppSettings::kRetryPauseMsOffset, low, high);
  pauseSpin_->SetRange32(low, high);
}

void CProgSettings_DriveAccess::Load() {
  retries_->setText(QString::number(Settings().ReadRetries()));
  pause_->setText(QString::number(Settings().RetryPauseMs()));
}

int CProgSettings_DriveAccess::OnApply() {
  std::int32_t retries = 0, pause = 0;
  if (int r = dialogs::ExchangeInt(retries_, retriesSpin_->Low(), retriesSpin_->High(), retries)) return r;
  if (int r = dialogs::ExchangeInt(pause_, pauseSpin_->Low(), pauseSpin_->High(), pause)) return r;
  Settings().SetReadRetries(retries);
  Settings().SetRetryPauseMs(pause);
  return controls::kApplyAccepted;
}
