#include "dialogs/ProgSettings_SearchFileTypes.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/Icons.h"
#include "controls/ControlId.h"
#include "dialogs/SearchFileTypeTreeView.h"

CProgSettings_SearchFileTypes::CProgSettings_SearchFileTypes(AppSettings& settings, FileTypeDatabase* database)
    : CProgSettingsPage(QStringLiteral("File Types"), 351, app::IDI_SETTINGS_FILE_TYPES, 1241,
                        QStringLiteral("ProgrammSettings.SearchFileTypes"), settings) {
  auto* intro = new QLabel(
      QStringLiteral("Below are the supported file types, you can select those you want the program to look for. "
                     "In order to reduce the number of false positives, it is better to uncheck the extensions that "
                     "are unlikely to have ever been on your computer. "),
      this);
  intro->setWordWrap(true);
  Body()->addWidget(intro);
  tree_ = new CSearchFileTypeTreeView(this);
  tree_->SetDatabase(database);
  controls::SetControlId(tree_, 1042);
  Body()->addWidget(tree_, 1);
  auto* hint = new QLabel(
      QStringLiteral("Search results can be further filtered with View -> Filters\u2026 so that only the files you "
                     "need will be shown."),
      this);
  hint->setWordWrap(true);
  Body()->addWidget(hint);
}

void CProgSettings_SearchFileTypes::Prepare() {
  if (tree_->SubclassWindow()) tree_->ExchangeChecks(0);
}

int CProgSettings_SearchFileTypes::OnApply() {
  tree_->ExchangeChecks(1);
  return controls::kApplyAccepted;
}
