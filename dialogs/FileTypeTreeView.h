#pragma once
// The check-box tree of file-type groups and their types. One class serves both
// trees of the program; it is given the flag its checks stand for:
//   - searchEnabled (CSearchFileTypeTreeView): which types the signature search
//     looks for; the settings page "File Types" and the wizard's file-type step.
//   - showInFilter (CObjectInformationTreeView): which types the found-object views
//     show in the filter's custom mode; the filters sheet and the file types dialog.
// The two differ only in the flag and in a group's label (the group's display name,
// or its title also when empty).
//
// Roots are the listed groups in the database's group order, each holding the
// listed types of its category in list order. Every check change, by mouse, by
// Space or by a call, propagates: a group gives its state to all its types; a type
// checks its group when any type of the group is checked, else unchecks it. The
// boxes are two-state (no partial state).
//
// Items point at the database's records, which the tree does not own (the
// database never removes a record). Flags are written only by StoreChecks, under
// the database's edit lock, followed by a save. Right click: menu 316 ("Check All",
// "Uncheck All", "Properties...") or, for a tree without boxes, 295
// ("Properties..."); the click does not move the selection. Properties and a double
// click open the "File Format Properties" sheet on the selected record.
//
// Owner: the parent page or dialog. GUI thread only.

#include <QHash>
#include <QIcon>
#include <QRect>
#include <QTreeWidget>

class FileType;
class FileTypeDatabase;
class QMenu;

class CFileTypeTreeView : public QTreeWidget {
  Q_OBJECT

 public:
  enum class Flag { SearchEnabled, ShowInFilter };

  static constexpr int kIdCheckAll = 32804;
  static constexpr int kIdUncheckAll = 32805;
  static constexpr int kIdProperties = 32808;
  static constexpr int kMenuWithChecks = 316;
  static constexpr int kMenuPropertiesOnly = 295;
  // Icons of the type items without an icon of their own, and of the groups.
  static constexpr int kIconType = 204;
  static constexpr int kIconGroup = 203;

  explicit CFileTypeTreeView(Flag flag, QWidget* parent = nullptr);
  ~CFileTypeTreeView() override;

  Flag flag() const { return flag_; }
  // The database shown (null: the program's, g_FileTypes). Set before Fill.
  void SetDatabase(FileTypeDatabase* database) { database_ = database; }
  FileTypeDatabase* Database() const;
  // Whether the items carry check boxes (default yes); decides the context menu.
  void SetHasCheckBoxes(bool on) { hasCheckBoxes_ = on; }
  bool HasCheckBoxes() const { return hasCheckBoxes_; }

  // Empties the tree and inserts the groups and types. False without a database.
  bool Fill();
  // Each type item's check from the type's flag, then its group's from its types.
  void LoadChecks();
  // Each type's flag from its item's check (under the edit lock), then the database
  // is saved; false when the save failed.
  bool StoreChecks();
  // Every group and type checked (or unchecked).
  void CheckAll(bool checked);
  // Sets an item's check; it propagates as a click does.
  void SetChecked(QTreeWidgetItem* item, bool checked);
  bool IsChecked(const QTreeWidgetItem* item) const;

  // Opens "File Format Properties" on the selected item's record; false when no
  // item is selected.
  bool ShowProperties();
  // The context menu (316 or 295), its actions carrying their command ids and
  // connected to the tree. The caller owns it.
  QMenu* MakeContextMenu(QWidget* parent = nullptr);

  // The record of an item (a group for a root), and the item of a record.
  FileType* RecordOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* ItemOf(const FileType* record) const;
  bool IsGroupItem(const QTreeWidgetItem* item) const { return item && !item->parent(); }
  // The label of a record by this tree's rule.
  QString LabelOf(const FileType& record, bool group) const;
  // Where an item's check box is drawn, in viewport coordinates.
  QRect CheckBoxRect(const QTreeWidgetItem* item) const;
  // Refreshes an item's label from its record (after its properties changed).
  void RefreshLabel(QTreeWidgetItem* item);

 signals:
  // A check changed (by the user or a call), after its propagation.
  void checksChanged();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void Propagate(QTreeWidgetItem* item);
  void SetCheckSilently(QTreeWidgetItem* item, bool checked);
  QIcon IconForExtension(const QString& extension);

  Flag flag_;
  FileTypeDatabase* database_ = nullptr;
  bool hasCheckBoxes_ = true;
  bool propagating_ = false;
  QHash<QString, QIcon> iconCache_;
};
