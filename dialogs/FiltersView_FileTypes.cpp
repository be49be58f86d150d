#include "dialogs/FiltersView_FileTypes.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "dialogs/ObjectInformationTreeView.h"
#include "engine/store/FileFilter.h"
#include "engine/volume/LocalComputer.h"

CFiltersView_FileTypes::CFiltersView_FileTypes(FileFilter* filter, FileTypeDatabase* database)
    : CResizablePropertyPage(QStringLiteral("File Types")), filter_(filter) {
  SetDialogId(299);
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                             controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  layout->setSpacing(controls::DluToPixelsY(units, 3));
  layout->addWidget(new QLabel(QStringLiteral("Specify the file types you want to appear in the list:"), this));
  all_ = new QRadioButton(QStringLiteral("Show all files"), this);
  controls::SetControlId(all_, kShowAll);
  known_ = new QRadioButton(QStringLiteral("Show only known file types"), this);
  controls::SetControlId(known_, kKnownOnly);
  custom_ = new QRadioButton(QStringLiteral("Custom:"), this);
  controls::SetControlId(custom_, kCustom);
  auto* group = new QButtonGroup(this);
  for (QRadioButton* r : {all_, known_, custom_}) {
    group->addButton(r);
    layout->addWidget(r);
  }
  tree_ = new CObjectInformationTreeView(this);
  tree_->SetDatabase(database);
  controls::SetControlId(tree_, 1152);
  layout->addWidget(tree_, 1);
  resize(controls::DluToPixels(units, 240, 220));

  connect(all_, &QRadioButton::clicked, this, [this] { SetMode(kShowAll); });
  connect(known_, &QRadioButton::clicked, this, [this] { SetMode(kKnownOnly); });
  connect(custom_, &QRadioButton::clicked, this, [this] { SetMode(kCustom); });
}

void CFiltersView_FileTypes::OnInitDialog() {
  SendPageInitialized();
  if (!filter_ && g_Computer) filter_ = &g_Computer->Filter();
  if (tree_->SubclassTree()) tree_->SyncChecks(0);
  if (!filter_) return;
  switch (filter_->GetTypeMode()) {
    case 0:
      all_->setChecked(true);
      SetMode(kShowAll);
      break;
    case 1:
      known_->setChecked(true);
      SetMode(kKnownOnly);
      break;
    case 2:
      custom_->setChecked(true);
      SetMode(kCustom);
      break;
    default:
      break;  // no radio button checked, the tree enabled
  }
}

int CFiltersView_FileTypes::CheckedMode() const {
  if (all_->isChecked()) return FileFilter::kAllTypes;
  if (known_->isChecked()) return FileFilter::kKnownTypesOnly;
  if (custom_->isChecked()) return FileFilter::kMarkedTypesOnly;
  return -1;
}

void CFiltersView_FileTypes::SetMode(int id) {
  tree_->setEnabled(id == kCustom);
  if (filter_ && CheckedMode() >= 0) filter_->SetTypeMode(CheckedMode());
}

int CFiltersView_FileTypes::OnApply() {
  tree_->SyncChecks(1);
  if (filter_ && CheckedMode() >= 0) filter_->SetTypeMode(CheckedMode());
  return controls::kApplyAccepted;
}
