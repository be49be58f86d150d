#include "dialogs/ObjectInformationView_Decription.h"

#include <QFormLayout>
#include <optional>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/App.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "dialogs/FieldExchange.h"
#include "platform/Format.h"
#include "search/FileTypeDatabase.h"

CObjectInformationView_Decription::CObjectInformationView_Decription(FileType* type, FileTypeDatabase* database)
    : CResizablePropertyPage(QStringLiteral("Description")), type_(type), database_(database) {
  SetDialogId(319);
  setWindowTitle(QStringLiteral("File Format Description"));
  const controls::DialogBaseUnits units = controls::BaseUnitsOf(font());
  auto* form = new QFormLayout(this);
  form->setContentsMargins(controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7),
                           controls::DluToPixelsX(units, 7), controls::DluToPixelsY(units, 7));
  title_ = new QLineEdit(this);
  controls::SetControlId(title_, 1123);
  title_->setMaxLength(kTitleUnits - 1);
  description_ = new QPlainTextEdit(this);
  controls::SetControlId(description_, 1139);
  description_->setTabChangesFocus(true);
  address_ = new QLineEdit(this);
  controls::SetControlId(address_, 1142);
  form->addRow(QStringLiteral("Title:"), title_);
  form->addRow(QStringLiteral("Short description:"), description_);
  form->addRow(QStringLiteral("Desctiption url:"), address_);
  resize(controls::DluToPixels(units, 353, 183));
}

void CObjectInformationView_Decription::OnInitDialog() {
  SendPageInitialized();
  title_->setText(app::ToQString(type_->Title()));
  description_->setPlainText(app::ToQString(type_->Description()));
  loadedAddress_ = app::ToQString(type_->TechnicalText());
  address_->setText(loadedAddress_);
}

int CObjectInformationView_Decription::OnApply() {
  const QString title = title_->text();
  const QString description = description_->toPlainText();
  const QString address = address_->text();
  if (title.size() > kTitleUnits - 1) return dialogs::RefuseTooLong(title_, kTitleUnits - 1);
  if (description.size() > kDescriptionUnits - 1) return dialogs::RefuseTooLong(description_, kDescriptionUnits - 1);
  const bool addressChanged = address != loadedAddress_;
  if (addressChanged && address.size() > kAddressUnits - 1) return dialogs::RefuseTooLong(address_, kAddressUnits - 1);
  FileTypeDatabase* db = database_ ? database_ : g_FileTypes;
  if (db) {
    const std::u16string name =
        FileType::RegistryValueName(type_->categoryId(), type_->typeId(), app::ToU16(title), type_->Extensions());
    if (const FileType* other = db->ValueNameOwner(name, type_))
      return dialogs::RefuseField(
          title_, app::ToQString(platform::Format(GetLangString(dialogs::IDS_TYPE_NAME_TAKEN), other->DisplayName())));
  }
  {
    std::optional<FileTypeDatabase::EditLock> lock;
    if (db) lock.emplace(db->LockForEdit());
    type_->SetTitle(app::ToU16(title));
    type_->SetDescription(app::ToU16(description));
    if (addressChanged) type_->SetTechnicalText(app::ToU16(address));
  }
  loadedAddress_ = address;
  return controls::kApplyAccepted;
}
