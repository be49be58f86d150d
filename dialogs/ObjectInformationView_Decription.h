#pragma once
// File-format page "Description" (form 319 "File Format Description"): the title,
// the short description and the description address of a file type or group.
//
// OK refuses a text longer than its field, and a title that would make the
// record's registry value name another record's (naming that one), with the focus
// on the control. The texts are written under the database's edit lock; the
// address is written only when it was changed, so a stored text longer than the
// part shown here is not cut. GUI thread only.

#include "controls/ResizablePropertyPage.h"

class FileType;
class FileTypeDatabase;
class QLineEdit;
class QPlainTextEdit;

class CObjectInformationView_Decription : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kTitleUnits = 100;        // with the terminator
  static constexpr int kDescriptionUnits = 260;  // with the terminator
  static constexpr int kAddressUnits = 260;      // exchanged, with the terminator

  CObjectInformationView_Decription(FileType* type, FileTypeDatabase* database);

  void OnInitDialog() override;
  int OnApply() override;

 private:
  FileType* type_;
  FileTypeDatabase* database_;
  QLineEdit* title_;
  QPlainTextEdit* description_;
  QLineEdit* address_;
  QString loadedAddress_;
};
