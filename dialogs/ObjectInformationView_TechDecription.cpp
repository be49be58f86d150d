#include "dialogs/ObjectInformationView_TechDecription.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <optional>

#include "app/App.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FieldExchange.h"
#include "platform/Format.h"
#include "search/FileTypeDatabase.h"

CObjectInformationView_TechDecription::CObjectInformationView_TechDecription(FileType* type,
                                                                             FileTypeDatabase* database)
    : CResizablePropertyPage(QStringLiteral("Technical Info")), type_(type), database_(database) {
  SetDialogId(314);
  setWindowTitle(QStringLiteral("File Format Technical Information "));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                           controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  grid->setHorizontalSpacing(controls::DluToPixelsX(units, 6));
  auto digits = [this](int id) {
    auto* edit = new QLineEdit(this);
    controls::SetControlId(edit, id);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
  };
  auto note = [this](const QString& text) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    return label;
  };
  id_ = digits(1118);
  id_->setReadOnly(true);
  size_ = digits(1151);
  prefix_ = new QLineEdit(this);
  controls::SetControlId(prefix_, 1141);
  prefix_->setMaxLength(kPrefixUnits - 1);
  order_ = digits(316);
  extensions_ = new QLineEdit(this);
  controls::SetControlId(extensions_, 1150);
  extensions_->setMaxLength(kExtensionsUnits - 1);
  category_ = new QComboBox(this);
  controls::SetControlId(category_, 1045);

  int row = 0;
  grid->addWidget(new QLabel(QStringLiteral("Internal Format ID:"), this), row, 0);
  grid->addWidget(id_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Group:"), this), row, 0);
  grid->addWidget(category_, row++, 1);
  grid->addWidget(new QLabel(QStringLiteral("Typically file size (Kb):"), this), row, 0);
  grid->addWidget(size_, row, 1);
  grid->addWidget(note(QStringLiteral("Set MAX file size for this format. We need to know because some 'formats "
                                      "don't store their length internally.")),
                  row++, 2);
  grid->addWidget(new QLabel(QStringLiteral("Recovered name prefix:"), this), row, 0);
  grid->addWidget(prefix_, row, 1);
  grid->addWidget(note(QStringLiteral("For example, for JPEG pictures enter 'image' and recovered file names will "
                                      "be named 'image_1.jpg', 'image_2.jpg', etc.")),
                  row++, 2);
  grid->addWidget(new QLabel(QStringLiteral("Search Order:"), this), row, 0);
  grid->addWidget(order_, row, 1);
  grid->addWidget(
      note(QStringLiteral("Order of this type in scan process. Set 0 for maximal and 100 for minimal priority.")),
      row++, 2);
  grid->addWidget(new QLabel(QStringLiteral("File extentions:"), this), row, 0);
  grid->addWidget(extensions_, row, 1);
  grid->addWidget(note(QStringLiteral("Hint:\tUse ';' to separate extentions.\n\tFirst extention used by default.")),
                  row++, 2);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 2);
  grid->setRowStretch(row, 1);
  resize(controls::DluToPixels(units, 353, 183));
}

FileTypeDatabase* CObjectInformationView_TechDecription::Database() const {
  return database_ ? database_ : g_FileTypes;
}

bool CObjectInformationView_TechDecription::IsGroup() const {
  FileTypeDatabase* db = Database();
  return db && db->FindGroup(type_->categoryId()) == type_;
}

void CObjectInformationView_TechDecription::OnInitDialog() {
  SendPageInitialized();
  int select = 0;
  ownGroupListed_ = false;
  if (FileTypeDatabase* db = Database()) {
    for (FileTypeGroup* group : db->Groups()) {
      if (group->categoryId() == type_->categoryId()) {
        select = category_->count();
        ownGroupListed_ = true;
      }
      category_->addItem(app::ToQString(group->Title()), group->categoryId());
    }
  }
  category_->setCurrentIndex(category_->count() ? select : -1);
  initialCategoryIndex_ = category_->currentIndex();
  category_->setEnabled(!IsGroup());
  id_->setEnabled(type_->typeId() >= 1000);
  id_->setText(QString::number(type_->typeId()));
  size_->setText(QString::number(type_->typicalSizeKB()));
  prefix_->setText(app::ToQString(type_->NamePrefix()));
  order_->setText(QString::number(type_->HeaderI32(kSearchOrderOffset)));
  extensions_->setText(app::ToQString(type_->Extensions()));
}

int CObjectInformationView_TechDecription::OnApply() {
  const std::optional<std::int32_t> size = dialogs::ReadInt32(size_);
  if (!size) return dialogs::RefuseNotANumber(size_);
  const std::optional<std::int32_t> order = dialogs::ReadInt32(order_);
  if (!order) return dialogs::RefuseNotANumber(order_);
  const QString prefix = prefix_->text();
  if (prefix.size() > kPrefixUnits - 1) return dialogs::RefuseTooLong(prefix_, kPrefixUnits - 1);
  const QString extensions = extensions_->text();
  if (extensions.size() > kExtensionsUnits - 1) return dialogs::RefuseTooLong(extensions_, kExtensionsUnits - 1);
  const bool group = IsGroup();
  std::int32_t category = type_->categoryId();
  // A type whose group is not listed keeps it unless the user picks one.
  const bool picked = ownGroupListed_ || category_->currentIndex() != initialCategoryIndex_;
  if (!group && picked && category_->currentIndex() >= 0) category = category_->currentData().toInt();

  FileTypeDatabase* db = Database();
  if (db) {
    const std::u16string name =
        FileType::RegistryValueName(category, type_->typeId(), type_->Title(), app::ToU16(extensions));
    if (const FileType* other = db->ValueNameOwner(name, type_)) {
      QWidget* cause = category != type_->categoryId() ? static_cast<QWidget*>(category_) : extensions_;
      return dialogs::RefuseField(
          cause, app::ToQString(platform::Format(GetLangString(dialogs::IDS_TYPE_NAME_TAKEN), other->DisplayName())));
    }
  }
  {
    std::optional<FileTypeDatabase::EditLock> lock;
    if (db) lock.emplace(db->LockForEdit());
    const bool extensionsChanged = app::ToU16(extensions) != type_->Extensions();
    type_->SetTypicalSizeKB(*size);
    type_->SetNamePrefix(app::ToU16(prefix));
    type_->SetHeaderI32(kSearchOrderOffset, *order);
    type_->SetExtensions(app::ToU16(extensions));
    if (!group) type_->SetCategoryId(category);
    type_->wizardFlag = 1;
    if (db && extensionsChanged && !group) db->RebuildExtensionMap();
  }
  return controls::kApplyAccepted;
}
