#pragma once
// CDataInfo_View: the data viewer's information form (dialog 109) about one found
// object: its picture (1107), name (1105), status (1097), id (1094), parent id
// (1095), offset (1096), type (1104), location (1103), size (1102), size on disk
// (1101) and its three times (1098 created, 1099 modified, 1100 accessed), each
// under its own label. Location and size on disk are the object's own volume's;
// size on disk is the size itself where the volume has no cluster size, and
// "unknown" with the size where that is not known.
//
// The object is named by its volume and store handle and read again at every
// Refresh (posted to itself after SetObject, and whenever the form is shown), so
// the form never keeps a record across a store's Clear: a handle that no longer
// resolves empties the form.
//
// Owned by its pane; GUI thread only.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "engine/store/FoundObject.h"

class CVolume;
class QLabel;

class CDataInfo_View : public QWidget {
  Q_OBJECT

 public:
  // The form's control ids.
  enum ControlId : int {
    kIdIcon = 1107,
    kIdName = 1105,
    kIdStatus = 1097,
    kIdId = 1094,
    kIdParentId = 1095,
    kIdOffset = 1096,
    kIdType = 1104,
    kIdLocation = 1103,
    kIdSize = 1102,
    kIdSizeOnDisk = 1101,
    kIdCreated = 1098,
    kIdModified = 1099,
    kIdAccessed = 1100,
  };
  static constexpr int kIconSize = 32;

  // What the form shows of one record. Its picture is one of the found-object
  // views' images (they number the icons 201, 202, 204 and 206 of the form's image
  // list alike): 0 live file, 1 deleted file, 2 folder, 6 deleted folder.
  struct Texts {
    int image = 0;
    QString name, status, id, parentId, offset, type, location, size, sizeOnDisk, created, modified, accessed;
  };
  // The texts of a record, given its volume's cluster size in bytes and the type
  // and location texts (which need the volume and the type database).
  static Texts MakeTexts(const FoundObject& record, std::int64_t clusterBytes, const QString& type,
                         const QString& location);
  // The size on disk: whole clusters; the size when there is no cluster size; -1
  // when the size is not known.
  static std::int64_t SizeOnDisk(std::int64_t size, std::int64_t clusterBytes);
  // A record's type text: "Folder" for folders; a nameless object's file type; a
  // named file's type by its name; nothing for device nodes.
  static QString TypeText(const FoundObject& record);

  explicit CDataInfo_View(QWidget* parent = nullptr);

  // Shows the record `handle` of `volume`'s store (a null volume or -1: none), at
  // the next turn of the event loop.
  void SetObject(std::shared_ptr<CVolume> volume, std::int64_t handle);
  std::int64_t Handle() const { return handle_; }
  void Refresh();
  // The value label of a control id (tests).
  QLabel* Field(int controlId) const;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Show(const Texts& texts);
  QLabel* AddRow(class QGridLayout* grid, int row, const QString& label, int id);

  std::shared_ptr<CVolume> volume_;
  std::int64_t handle_ = -1;
  QLabel* icon_ = nullptr;
  QLabel* name_ = nullptr;
};
