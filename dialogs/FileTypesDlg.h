#pragma once
// CFileTypesDlg: the dialog "File Types" (form 105) with the tree of file types
// whose checks are the types' showInFilter flags (tree 1042), OK and Cancel. OK
// stores the checks and saves the database; Cancel leaves every flag as it was.
// No command of the program offers it; it is built for whoever wants it.
//
// GUI thread only.

#include <QDialog>

class CObjectInformationTreeView;
class FileTypeDatabase;

class CFileTypesDlg : public QDialog {
  Q_OBJECT

 public:
  // `database` null: the program's.
  explicit CFileTypesDlg(QWidget* owner = nullptr, FileTypeDatabase* database = nullptr);
  ~CFileTypesDlg() override;

  CObjectInformationTreeView* Tree() const { return tree_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  CObjectInformationTreeView* tree_;
  bool initialised_ = false;
};
