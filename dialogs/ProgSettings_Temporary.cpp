#include "dialogs/ProgSettings_Temporary.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "dialogs/FieldExchange.h"
#include "engine/records/AppSettings.h"
#include "platform/Paths.h"

namespace {
constexpr int kFolderUnits = 4096;  // with the terminator
}

CProgSettings_Temporary::CProgSettings_Temporary(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Temporary Folder"), 293, app::IDI_SETTINGS_TEMPORARY, 1241,
                        QStringLiteral("ProgrammSettings.Temporary"), settings) {
  system_ = new QRadioButton(QStringLiteral("System default temporary folder"), this);
  controls::SetControlId(system_, 1122);
  custom_ = new QRadioButton(QStringLiteral("Custom temporary folder:"), this);
  controls::SetControlId(custom_, 1085);
  auto* group = new QButtonGroup(this);
  group->addButton(system_);
  group->addButton(custom_);
  folder_ = new QLineEdit(this);
  controls::SetControlId(folder_, 1148);
  browse_ = new QPushButton(QStringLiteral("Browse..."), this);
  controls::SetControlId(browse_, 1034);

  Body()->addWidget(system_);
  Body()->addWidget(custom_);
  auto* row = new QHBoxLayout;
  row->addSpacing(20);
  row->addWidget(folder_, 1);
  row->addWidget(browse_);
  Body()->addLayout(row);
  Body()->addStretch(1);

  connect(system_, &QRadioButton::clicked, this, &CProgSettings_Temporary::OnRadioClicked);
  connect(custom_, &QRadioButton::clicked, this, &CProgSettings_Temporary::OnRadioClicked);
  connect(browse_, &QPushButton::clicked, this, &CProgSettings_Temporary::OnBrowse);
}

QString CProgSettings_Temporary::SystemTempPath() {
  QString path = app::PathToQString(platform::TempDir());
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path;
}

bool CProgSettings_Temporary::SameFolder(const QString& a, const QString& b) {
  auto normal = [](QString p) {
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    return p;
  };
  return normal(a) == normal(b);
}

bool CProgSettings_Temporary::MakeUsableFolder(const QString& path) {
  if (path.isEmpty() || !path.startsWith(QLatin1Char('/'))) return false;
  return platform::MakeDirectories(app::QStringToPath(path));
}

void CProgSettings_Temporary::Prepare() {
  systemPath_ = SystemTempPath();
  Settings().SetUseCustomTempFolder(SameFolder(app::ToQString(Settings().TempFolder()), systemPath_) ? 0 : 1);
}

void CProgSettings_Temporary::Load() {
  const bool custom = Settings().UseCustomTempFolder() == 1;
  system_->setChecked(!custom);
  custom_->setChecked(custom);
  folder_->setText(app::ToQString(Settings().TempFolder()));
}

void CProgSettings_Temporary::UpdateEnabling() {
  const bool custom = Settings().UseCustomTempFolder() == 1;
  folder_->setEnabled(custom);
  browse_->setEnabled(custom);
}

void CProgSettings_Temporary::OnRadioClicked() {
  Settings().SetUseCustomTempFolder(custom_->isChecked() ? 1 : 0);
  UpdateEnabling();
}

void CProgSettings_Temporary::OnBrowse() {
  const QString chosen =
      QFileDialog::getExistingDirectory(QApplication::activeWindow(), QStringLiteral("Select New Temporary Folder"),
                                        folder_->text(), QFileDialog::ShowDirsOnly);
  // The path goes in as it is; the setting changes only when the page applies.
  if (!chosen.isEmpty()) folder_->setText(chosen);
}

int CProgSettings_Temporary::OnApply() {
  Settings().SetUseCustomTempFolder(custom_->isChecked() ? 1 : 0);
  if (!custom_->isChecked()) {
    Settings().SetTempFolder(app::ToU16(systemPath_));
    return controls::kApplyAccepted;
  }
  const QString folder = folder_->text();
  if (folder.size() > kFolderUnits - 1) return dialogs::RefuseTooLong(folder_, kFolderUnits - 1);
  if (!MakeUsableFolder(folder)) return dialogs::RefuseField(folder_, LangString(dialogs::IDS_TEMP_FOLDER_UNUSABLE));
  Settings().SetTempFolder(app::ToU16(folder));
  return controls::kApplyAccepted;
}
