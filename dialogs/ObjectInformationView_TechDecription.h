#pragma once
// File-format page "Technical Info" (form 314 "File Format Technical Information
// "): the type id (never editable, disabled for the built-in ids below 1000), the
// typical size in KB, the recovered-name prefix, the search order, the extensions
// and the group the type belongs to.
//
// A group's own group is locked: changing it would leave every type of the group
// without one. OK refuses a number that is not one and a change that would make
// the record's registry value name another record's, with the focus on the
// control; otherwise it writes the fields under the database's edit lock, marks the
// type as edited (wizardFlag 1) and rebuilds the extension map. GUI thread only.

#include "controls/ResizablePropertyPage.h"

class FileType;
class FileTypeDatabase;
class QComboBox;
class QLineEdit;

class CObjectInformationView_TechDecription : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr std::size_t kSearchOrderOffset = 48;
  static constexpr int kPrefixUnits = 30;      // with the terminator
  static constexpr int kExtensionsUnits = 100;  // with the terminator

  CObjectInformationView_TechDecription(FileType* type, FileTypeDatabase* database);

  void OnInitDialog() override;
  int OnApply() override;

 private:
  FileTypeDatabase* Database() const;
  bool IsGroup() const;

  FileType* type_;
  FileTypeDatabase* database_;
  QLineEdit* id_;
  QLineEdit* size_;
  QLineEdit* prefix_;
  QLineEdit* order_;
  QLineEdit* extensions_;
  QComboBox* category_;
  bool ownGroupListed_ = false;
  int initialCategoryIndex_ = -1;
};
