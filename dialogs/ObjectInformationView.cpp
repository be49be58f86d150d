#include "dialogs/ObjectInformationView.h"

#include "app/Icons.h"
#include "dialogs/ObjectInformationView_Decription.h"
#include "dialogs/ObjectInformationView_SignatureStamp.h"
#include "dialogs/ObjectInformationView_TechDecription.h"
#include "search/FileType.h"

CObjectInformationView::CObjectInformationView(QWidget* parent)
    : CResizablePropertySheet(QStringLiteral("File Format Properties"), 0, parent) {
  SetNoApplyNow();
  SetHasHelp(false);
  setWindowIcon(app::IconById(kIconId));
}

CObjectInformationView::~CObjectInformationView() = default;

void CObjectInformationView::SetObject(FileType* record, FileTypeDatabase* database) {
  if (!record || description_) return;
  description_ = new CObjectInformationView_Decription(record, database);
  technical_ = new CObjectInformationView_TechDecription(record, database);
  AddPage(description_);
  AddPage(technical_);
  if (record->typeId() >= kFirstUserTypeId) {
    signature_ = new CObjectInformationView_SignatureStamp(record, database);
    AddPage(signature_);
  }
}

int CObjectInformationView::ShowModal(FileType* record, FileTypeDatabase* database, QWidget* owner) {
  CObjectInformationView sheet(owner);
  sheet.SetObject(record, database);
  return sheet.DoModal();
}
