#include "wizards/NewSignature_Step4.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/ResizablePropertySheet.h"
#include "dialogs/FieldExchange.h"
#include "search/FileType.h"
#include "search/FileTypeDatabase.h"
#include "wizards/NewSignature.h"
#include "wizards/SignatureSample.h"

CNewSignature_Step4::CNewSignature_Step4() : CResizablePropertyPage() {
  SetDialogId(321);
  SetHeaderTitle(QStringLiteral("Enter additional information"));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("New Signature Wizard"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto digits = [this](int id) {
    auto* edit = new QLineEdit(this);
    controls::SetControlId(edit, id);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
  };
  auto text = [this](int id, int maxUnits) {
    auto* edit = new QLineEdit(this);
    controls::SetControlId(edit, id);
    edit->setMaxLength(maxUnits - 1);
    return edit;
  };
  auto note = [this](const QString& words) {
    auto* label = new QLabel(words, this);
    label->setWordWrap(true);
    return label;
  };
  groups_ = new QComboBox(this);
  controls::SetControlId(groups_, 1045);
  auto* newGroup = new QPushButton(QStringLiteral("New..."), this);
  controls::SetControlId(newGroup, 1210);
  newGroup->setEnabled(false);  // no action
  extensions_ = text(1150, static_cast<int>(FileType::kExtensionsUnits));
  prefix_ = text(1141, static_cast<int>(FileType::kNamePrefixUnits));
  size_ = digits(1151);
  order_ = digits(316);
  id_ = digits(1118);
  coincidence_ = digits(1163);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                           controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  grid->setHorizontalSpacing(controls::DluToPixelsX(units, 6));
  int row = 0;
  grid->addWidget(new QLabel(QStringLiteral("Group:"), this), row, 0);
  grid->addWidget(groups_, row, 1);
  grid->addWidget(newGroup, row++, 2);
  grid->addWidget(new QLabel(QStringLiteral("File extentions:"), this), row, 0);
  grid->addWidget(extensions_, row++, 1);
  grid->addWidget(note(QStringLiteral("Hint:\tUse ';' to separate extentions.\n\tFirst extention used by default.")),
                  row++, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Typically file size (Kb):"), this), row, 0);
  grid->addWidget(size_, row++, 1);
  grid->addWidget(note(QStringLiteral("Set MAX file size for this format. We need to know because some 'formats "
                                      "don't store their length internally.")),
                  row++, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Recovered name prefix:"), this), row, 0);
  grid->addWidget(prefix_, row++, 1);
  grid->addWidget(note(QStringLiteral("For example, for JPEG pictures enter 'image' and recovered file names will be "
                                      "named 'image_1.jpg', 'image_2.jpg', etc.")),
                  row++, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Search Order:"), this), row, 0);
  grid->addWidget(order_, row++, 1);
  grid->addWidget(
      note(QStringLiteral("Order of this type in scan process. Set 0 for maximal and 100 for minimal priority.")),
      row++, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Internal Format ID:"), this), row, 0);
  grid->addWidget(id_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Coincidence (%):"), this), row, 0);
  grid->addWidget(coincidence_, row++, 1);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  resize(controls::DluToPixels(units, 353, 183));
}

CNewSignature_Step4::~CNewSignature_Step4() = default;

void CNewSignature_Step4::OnInitDialog() { InitNewSignature(); }

void CNewSignature_Step4::InitNewSignature() {
  groups_->clear();
  if (g_FileTypes) {
    for (const FileTypeGroup* group : g_FileTypes->Groups())
      groups_->addItem(app::ToQString(group->Title()), group->categoryId());
  }
  groups_->setCurrentIndex(groups_->count() ? 0 : -1);
  if (g_NewSignature) ::InitNewSignature(*g_NewSignature, g_FileTypes, g_SignatureSamples);
  LoadFields();
}

void CNewSignature_Step4::LoadFields() {
  if (!g_NewSignature) return;
  const FileType& t = *g_NewSignature;
  extensions_->setText(app::ToQString(t.Extensions()));
  prefix_->setText(app::ToQString(t.NamePrefix()));
  size_->setText(QString::number(t.typicalSizeKB()));
  order_->setText(QString::number(t.HeaderI32(kSearchOrderOffset)));
  id_->setText(QString::number(t.typeId()));
  coincidence_->setText(QString::number(t.HeaderI32(kCoincidenceOffset)));
}

bool CNewSignature_Step4::OnSetActive() {
  SetWizardButtons(controls::PSWIZB_BACK | controls::PSWIZB_NEXT);
  return true;
}

int CNewSignature_Step4::SaveFields() {
  if (!g_NewSignature) return 0;
  const std::optional<std::int32_t> size = dialogs::ReadInt32(size_);
  if (!size) return dialogs::RefuseNotANumber(size_);
  const std::optional<std::int32_t> order = dialogs::ReadInt32(order_);
  if (!order) return dialogs::RefuseNotANumber(order_);
  const std::optional<std::int32_t> id = dialogs::ReadInt32(id_);
  if (!id) return dialogs::RefuseNotANumber(id_);
  const QString idRefusal = TypeIdRefusal(g_FileTypes, *id);
  if (!idRefusal.isEmpty()) return dialogs::RefuseField(id_, idRefusal);
  std::int32_t coincidence = 0;
  if (dialogs::ExchangeInt(coincidence_, 0, 100, coincidence) != 0) return 1;
  if (groups_->currentIndex() < 0) return dialogs::RefuseField(groups_, QStringLiteral("Choose a group."));

  FileType& t = *g_NewSignature;
  t.SetExtensions(app::ToU16(extensions_->text()));
  t.SetNamePrefix(app::ToU16(prefix_->text()));
  t.SetTypicalSizeKB(*size);
  t.SetHeaderI32(kSearchOrderOffset, *order);
  t.SetTypeId(*id);
  t.SetHeaderI32(kCoincidenceOffset, coincidence);
  t.SetCategoryId(groups_->currentData().toInt());
  t.wizardFlag = 1;
  return 0;
}

int CNewSignature_Step4::OnWizardNext() {
  return SaveFields() == 0 ? controls::kWizardGoOn : controls::kWizardStay;
}
