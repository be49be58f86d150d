#pragma once
// CRecycleBinView: the desktop's trash as a list (view 7 of the explorer view):
// columns "Name", "Original Location", "Date Deleted" and "Size" (100 px each),
// each row with its file's icon, read once when the view is made. A right click
// on a row opens a menu with "Restore" (back to where it was deleted from,
// refused when something is there now: nothing is replaced) and "Delete" (for
// good, after a Yes/No question); the row goes once its item has left the trash.
// A right click beside the rows opens nothing. The window text is "Trash".
//
// Owned by the explorer view; GUI thread only.

#include <QWidget>

#include <vector>

#include "mainframe/explorer/TrashFolder.h"

class QTreeWidget;
class QTreeWidgetItem;
class QMenu;

class CRecycleBinView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kListId = 1132;
  static constexpr int kColumnWidth = 100;
  enum Column : int { kColumnName = 0, kColumnLocation, kColumnDeleted, kColumnSize, kColumnCount };
  enum Command : int { kCommandRestore = 1, kCommandDelete = 2 };

  // `trashFolder` empty: the user's trash.
  explicit CRecycleBinView(QWidget* parent = nullptr, const QString& trashFolder = {});

  QTreeWidget* List() const { return list_; }
  const CTrashFolder& Trash() const { return trash_; }
  // The entry of a row (null outside the rows).
  const TrashEntry* EntryAt(int row) const;

  // The menu a right click at `pos` (list viewport coordinates) opens; null beside
  // the rows. Its actions carry the commands above.
  QMenu* MakeContextMenu(const QPoint& pos);
  // Runs a command on a row; true when the item left the trash.
  bool RunCommand(int command, int row);

 private:
  void Fill();
  void OnContextMenu(const QPoint& pos);

  CTrashFolder trash_;
  QTreeWidget* list_;
  std::vector<TrashEntry> entries_;  // by row
};
