#pragma once
// The found-object list as an item model: a flat array of store handles (never
// record pointers), read through the store on every request, so no record is held
// across a store's Clear. Columns: name, size, type, date (the creation time) and,
// in the find pane, the folder.
//
// Filling follows the list's protocol: Clear empties it; AddObject appends what
// the file filter shows (from the user-interface thread or from the find thread);
// SetItemCount, called on the main frame's 250 ms timer and after each fill,
// pushes the new count to the view (one row insertion) and sorts: the whole list
// when the sort changed, otherwise only the new tail, merged into the sorted rows.
// While `busy` is set nothing is pushed; `stopFill` asks a running fill to stop.
//
// Records are read from the store of the computer's current analysed volume, and
// from the volume a handle names when that is another one.
//
// Threads: AddObject, the flags and the counts may be used from any thread;
// everything else on the GUI thread.

#include <QAbstractTableModel>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/store/FoundObjectStore.h"
#include "mainframe/explorer/FoundObjectSorter.h"
#include "mainframe/icons/ObjectTypeNames.h"

class CVolume;
class FileFilter;

class CFilesListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column : int { kColumnName = 0, kColumnSize, kColumnType, kColumnDate, kColumnFolder };
  enum Role : int {
    HandleRole = Qt::UserRole + 1,  // qint64: the row's store handle
    ImageRole,                      // int: the row's image number
  };

  // `columns`: 4 for the explorer's list, 5 for the find results.
  explicit CFilesListModel(int columns = 4, QObject* parent = nullptr);
  ~CFilesListModel() override;

  // ---- Filling --------------------------------------------------------------------

  // Appends the record unless the filter (null: the computer's) hides it. The
  // caller holds `view` over the record's store. Any thread.
  void AddObject(const FoundObjectStore::ReadView& view, const FoundObject* record, const FileFilter* filter = nullptr);
  // A record a store message announces, while its folder is shown: appended like
  // AddObject unless the list has it already (a fill that ran after the record was
  // stored took it, and its message was still on its way).
  void OfferObject(const FoundObjectStore::ReadView& view, const FoundObject* record);
  // The store's record count when the list was filled from it: records below it
  // were offered by the fill.
  void SetFillMark(std::size_t storeCount) { fillMark_ = storeCount; }
  // Stops a fill (stopFill set and cleared), sets busy and dirty and empties the
  // list; the view shows no rows until the next SetItemCount.
  void Clear();
  // When not busy and the count changed or dirty is set: pushes the count and
  // sorts. Returns true when it pushed.
  bool SetItemCount();

  std::atomic<std::int32_t>& Busy() { return busy_; }
  std::atomic<std::int32_t>& StopFill() { return stopFill_; }
  std::atomic<std::int32_t>& Dirty() { return dirty_; }
  // Objects appended so far (pushed or not).
  std::size_t ItemCount() const;
  // The count last pushed (the view's rows).
  int LastCount() const { return lastCount_; }

  // ---- Sorting --------------------------------------------------------------------

  // A click on a column header: toggles the direction, makes the column (name for
  // the type and folder columns) the sort column and sets dirty; the rows are
  // sorted at the next SetItemCount.
  void HeaderClicked(int column);
  int SortColumn() const { return sortColumn_; }
  bool Descending() const { return descending_; }

  // ---- Look-ups -------------------------------------------------------------------

  // The handle of a row, or -1 outside the rows.
  std::int64_t HandleAt(int row) const;
  // The row of a handle among the rows, or -1.
  int RowOf(std::int64_t handle) const;
  // Type-ahead: from `start` to the end, then from 0 to just before `start`, the
  // first row whose record is named and whose name begins with `first` (letters
  // without case: bit 0x20 cleared on both); -1 when none.
  int FindItem(int start, char16_t first) const;

  // While a view paints (between BeginPaint and EndPaint), the record of each row
  // is read once for all its cells and roles, and the rows from the first one asked
  // for on under one look at the store: an analysis adding objects holds the store
  // for a moment at a time, and a paint that asked it once per cell would wait on
  // it hundreds of times.
  void BeginPaint();
  void EndPaint();

  // The size column's text: nothing for a folder, "unknown" for -1, else whole
  // GB, MB or KB above each threshold (strictly), bytes below.
  static QString SizeText(std::int64_t size, bool folder);

  // ---- QAbstractItemModel ---------------------------------------------------------

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Sorts items_: all of it when fullSort_, else the rows from `sorted` on are
  // merged into those before them (the first `keyed` of them have their keys).
  void Sort(std::size_t sorted, std::size_t keyed);
  void RemapPersistent(const std::vector<std::int64_t>& before);
  bool HasRow(std::int64_t handle) const;
  // The record of a row (its handle given), with its volume and the store's root
  // folder id; false when the handle no longer resolves.
  // The copy's name lies in `name` (or in the paint's own copy), never in the
  // store.
  bool ReadRow(int row, std::int64_t handle, FoundObject& out, std::shared_ptr<CVolume>& volume,
               std::int32_t& root, std::u16string& name) const;

  const int columns_;
  // The rows: handles with their sort keys (GUI thread).
  CFoundObjectSorter::Rows items_;
  int lastCount_ = 0;
  bool fullSort_ = true;  // the rows are not in the current order

  mutable std::mutex pendingMutex_;
  std::vector<std::int64_t> pending_;  // appended by another thread, not yet taken into items_
  std::vector<CFoundObjectSorter::Row> pendingRows_;  // appended on the model's thread, with keys

  std::atomic<std::int32_t> busy_{0};
  std::atomic<std::int32_t> stopFill_{0};
  std::atomic<std::int32_t> dirty_{0};

  std::size_t fillMark_ = 0;
  int sortColumn_ = 0;
  bool descending_ = false;
  mutable CObjectTypeNames typeNames_;

  // The rows read during a paint, from row paintFirst_ on.
  struct PaintRow {
    std::int64_t handle = -1;
    bool resolved = false;
    std::int32_t root = 0;
    FoundObject record;  // its name in `name`, copied under the store's lock
    std::u16string name;
  };
  bool painting_ = false;
  mutable int paintFirst_ = 0;
  mutable std::vector<PaintRow> paintRows_;
  mutable std::shared_ptr<CVolume> paintVolume_;
};
