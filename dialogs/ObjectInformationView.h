#pragma once
// CObjectInformationView: the modal sheet "File Format Properties" that shows one
// file type or group of the database on its pages "Description", "Technical Info"
// and, for user types (ids of 1000 or more), "Signature". OK and Cancel (no Apply,
// no Help). The Properties command of both file-type trees opens it
// (ShowModal).
//
// The pages change the record in memory, under the database's edit lock; the
// record reaches the registry with the database's next save. What a page stored
// before Cancel (the Signature page stores at each move) stays.
//
// GUI thread only.

#include "controls/ResizablePropertySheet.h"

class FileType;
class FileTypeDatabase;
class CObjectInformationView_Decription;
class CObjectInformationView_SignatureStamp;
class CObjectInformationView_TechDecription;

class CObjectInformationView : public controls::CResizablePropertySheet {
  Q_OBJECT

 public:
  static constexpr int kIconId = 129;
  static constexpr std::int32_t kFirstUserTypeId = 1000;

  explicit CObjectInformationView(QWidget* parent = nullptr);
  ~CObjectInformationView() override;

  // The record shown (before the sheet is shown); `database` null: the program's.
  void SetObject(FileType* record, FileTypeDatabase* database = nullptr);

  // Builds the sheet over `owner`, shows `record` and runs it modally; the result.
  static int ShowModal(FileType* record, FileTypeDatabase* database, QWidget* owner);

  CObjectInformationView_Decription* DescriptionPage() const { return description_; }
  CObjectInformationView_TechDecription* TechnicalPage() const { return technical_; }
  CObjectInformationView_SignatureStamp* SignaturePage() const { return signature_; }

 private:
  CObjectInformationView_TechDecription* technical_ = nullptr;
  CObjectInformationView_Decription* description_ = nullptr;
  CObjectInformationView_SignatureStamp* signature_ = nullptr;
};
