#include "dialogs/ProgSettings_Logging.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/UpDownCtrl.h"
#include "dialogs/FieldExchange.h"
#include "engine/records/AppSettings.h"

namespace {
constexpr int kNameUnits = 1024;  // with the terminator
}

CProgSettings_Logging::CProgSettings_Logging(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Logging"), 292, app::IDI_SETTINGS_LOGGING, 1241,
                        QStringLiteral("ProgrammSettings.Logging"), settings) {
  toFile_ = new QCheckBox(QStringLiteral("Save log in file"), this);
  controls::SetControlId(toFile_, 1112);
  nameLabel_ = new QLabel(QStringLiteral("Log file name:"), this);
  controls::SetControlId(nameLabel_, 4242);
  name_ = new QLineEdit(this);
  controls::SetControlId(name_, 1062);
  sizeLabel_ = new QLabel(QStringLiteral("Maximum log file size:"), this);
  controls::SetControlId(sizeLabel_, 4244);
  size_ = new QLineEdit(this);
  controls::SetControlId(size_, 1147);
  size_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), size_));
  size_->setMaximumWidth(size_->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 10);
  sizeSpin_ = new controls::CUpDownCtrl(this);
  controls::SetControlId(sizeSpin_, 1117);
  kbLabel_ = new QLabel(QStringLiteral("KB"), this);
  controls::SetControlId(kbLabel_, 4243);
  clear_ = new QCheckBox(QStringLiteral("Clear log file on startup"), this);
  controls::SetControlId(clear_, 1124);
  debugger_ = new QCheckBox(QStringLiteral("Write log in system debug window"), this);
  controls::SetControlId(debugger_, 1125);

  Body()->addWidget(toFile_);
  auto* grid = new QGridLayout;
  grid->setContentsMargins(20, 0, 0, 0);
  grid->addWidget(nameLabel_, 0, 0);
  grid->addWidget(name_, 0, 1);
  grid->addWidget(sizeLabel_, 1, 0);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->setSpacing(0);
  sizeRow->addWidget(size_);
  sizeRow->addWidget(sizeSpin_);
  sizeRow->addSpacing(4);
  sizeRow->addWidget(kbLabel_);
  sizeRow->addStretch(1);
  grid->addLayout(sizeRow, 1, 1);
  grid->addWidget(clear_, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  Body()->addLayout(grid);
  Body()->addSpacing(8);
  Body()->addWidget(debugger_);
  Body()->addStretch(1);

  connect(toFile_, &QCheckBox::clicked, this, &CProgSettings_Logging::OnLogToFileClicked);
}

void CProgSettings_Logging::Prepare() {
  std::int32_t low = 1, high = 102400;
  AppSettings::FieldRange(AppSettings::kMaxLogSizeKBOffset, low, high);
  sizeSpin_->SetBuddy(size_);
  sizeSpin_->SetRange32(low, high);
}

void CProgSettings_Logging::Load() {
  toFile_->setChecked(Settings().LogToFile() != 0);
  name_->setText(app::ToQString(Settings().LogFileName()));
  size_->setText(QString::number(Settings().MaxLogSizeKB()));
  clear_->setChecked(Settings().ClearLogAtStart() != 0);
  debugger_->setChecked(Settings().LogToDebugger() != 0);
}

void CProgSettings_Logging::UpdateEnabling() {
  const bool on = Settings().LogToFile() == 1;
  for (QWidget* w : std::initializer_list<QWidget*>{name_, clear_, size_, sizeSpin_, nameLabel_, kbLabel_, sizeLabel_})
    w->setEnabled(on);
  debugger_->setEnabled(true);
}

int CProgSettings_Logging::Save(bool refuse) {
  Settings().SetLogToFile(toFile_->isChecked() ? 1 : 0);
  Settings().SetClearLogAtStart(clear_->isChecked() ? 1 : 0);
  Settings().SetLogToDebugger(debugger_->isChecked() ? 1 : 0);
  const QString name = name_->text();
  if (name.size() > kNameUnits - 1) {
    if (refuse) return dialogs::RefuseTooLong(name_, kNameUnits - 1);
  } else {
    Settings().SetLogFileName(app::ToU16(name));
  }
  std::int32_t size = 0;
  if (refuse) {
    if (int r = dialogs::ExchangeInt(size_, sizeSpin_->Low(), sizeSpin_->High(), size)) return r;
    Settings().SetMaxLogSizeKB(size);
  } else if (std::optional<std::int32_t> v = dialogs::ReadInt32(size_);
             v && *v >= sizeSpin_->Low() && *v <= sizeSpin_->High()) {
    Settings().SetMaxLogSizeKB(*v);
  }
  return controls::kApplyAccepted;
}

void CProgSettings_Logging::OnLogToFileClicked() {
  Save(false);
  UpdateEnabling();
}

int CProgSettings_Logging::OnApply() { return Save(true); }
