#pragma once
// CFileInformationViewDlg: "File Information" (form 348), what the program knows
// of one found object: its picture, name, ids, status, type, file-format
// signature, folder path, offset, sizes and times. Opened modally by the explorer
// view's "Information..." (command 32797).
//
// The object is named by its store handle together with the volume whose store
// holds it (an object of the find results or of a found partition belongs to a
// volume other than the current one). Its fields are read once, through a
// snapshot of the record, when the dialog refreshes its view (WM_REFRESH_VIEW,
// posted to itself when it is made); a handle that no longer resolves (the store
// was cleared) shows nothing.
//
// The dialog holds the volume (shared) while it is open. GUI thread only.

#include <QDialog>
#include <QIcon>
#include <QList>

#include <cstdint>
#include <memory>

#include "engine/store/FoundObject.h"

class CVolume;
class QLabel;

class CFileInformationViewDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 348,
    IDC_ICON = 1107,
    IDC_NAME = 1105,
    IDC_ID = 1094,
    IDC_PARENT_ID = 1095,
    IDC_OFFSET = 1096,
    IDC_SIZE = 1102,
    IDC_SIZE_ON_DISK = 1101,
    IDC_TYPE = 1104,
    IDC_SIGNATURE = 1258,
    IDC_STATUS = 1097,
    IDC_LOCATION = 1103,
    IDC_CREATED = 1098,
    IDC_MODIFIED = 1099,
    IDC_ACCESSED = 1100,
  };
  // The icons of the image list, in order: images 0 file, 1 deleted file, 2
  // folder, 6 deleted folder, and the others the tree numbers alike.
  static constexpr int kImageIcons[12] = {201, 202, 204, 203, 207, 208, 206, 205, 274, 275, 223, 225};

  CFileInformationViewDlg(std::shared_ptr<CVolume> volume, std::int64_t handle, QWidget* owner = nullptr);
  // The same for a record of the volume's store.
  CFileInformationViewDlg(std::shared_ptr<CVolume> volume, const FoundObject* object, QWidget* owner = nullptr);
  ~CFileInformationViewDlg() override;

  // Runs the dialog modally for the object.
  static int Show(std::shared_ptr<CVolume> volume, const FoundObject* object, QWidget* owner);

  // The image number of an object by its flags: 6 deleted folder, 2 folder, 1
  // deleted file, 0 file.
  static int ImageOf(std::uint16_t flags);
  // The type text: "Folder" for a folder; else the file type's description when
  // the object has a type (`typeDescription` not null); else the desktop's name
  // for the kind of file the name says (its extension; nothing when it does not
  // know it); else empty.
  static QString TypeText(bool isFolder, const QString* typeDescription, const QString& name);

  // Fills the fields from the object (WM_REFRESH_VIEW).
  void ShowObject();
  // The image the icon shows (-1 before ShowObject).
  int ShownImage() const { return shownImage_; }

 protected:
  bool event(QEvent* event) override;

 private:
  void Build();

  std::shared_ptr<CVolume> volume_;
  std::int64_t handle_ = -1;
  QList<QIcon> images_;
  QLabel* icon_ = nullptr;
  int shownImage_ = -1;
};
