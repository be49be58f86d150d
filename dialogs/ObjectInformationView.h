#pragma once
class FileType;
class FileTypeDatabase;
class QWidget;
class CObjectInformationView {
 public:
  static int ShowModal(FileType* record, FileTypeDatabase* database, QWidget* owner);
};
