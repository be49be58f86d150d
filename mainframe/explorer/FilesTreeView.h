#pragma once
// CFilesTreeView: the found-object tree (the explorer view's left pane). Device
// nodes (My Computer, physical and logical drives, image files, partitions found
// on them) and, below the analysed volume's node, the folders of its store with
// the two synthetic roots "Lost folders" and "Lost files". Folders are fetched when
// an item is expanded and dropped again when it collapses; files never appear
// here. Every insertion goes through the file filter.
//
// Three modes: the full tree (the default), the volume mode (the analysed volume's
// node at the root) and the lost-files mode ("Lost files" at the root), used by
// the wizard's pages.
//
// A rebuild (Refresh) keeps what the user had open: the items that were expanded
// and the selected item are expanded and selected again, found by their node ids
// (which a drive stays under for the whole run) and store handles.
//
// A right click opens the selected item's menu at the click; the Menu key and
// Shift+F10 open it below the item. What it tells the explorer view, as signals: treeKey(13 or 8) for Enter,
// Backspace and a double click (Enter); focused() when it takes the focus
// (delivered at once); itemCollapsed(index) after a collapse, whose folders are
// gone.
//
// GUI thread only.

#include <QPersistentModelIndex>
#include <QTreeView>

#include <cstdint>
#include <memory>
#include <vector>

#include "mainframe/explorer/FilesTreeModel.h"

class CVolume;
class QMenu;

class CFilesTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit CFilesTreeView(QWidget* parent = nullptr);
  ~CFilesTreeView() override;

  CFilesTreeModel* Model() const { return model_; }

  // ---- Modes and rebuild ------------------------------------------------------------

  // Rebuilds the tree for the current mode, then opens again what was open.
  void Refresh();
  void SetVolumeMode(int flag);
  void SetLostFilesMode(int flag);
  void SetDisplayFlag(int value);
  int VolumeMode() const { return volumeMode_; }
  int LostFilesMode() const { return lostFilesMode_; }
  void SetDeviceMenuEnabled(int flag) { deviceMenu_ = flag; }
  int DeviceMenuEnabled() const { return deviceMenu_; }

  // ---- What the analysis adds ---------------------------------------------------------

  // The analysed volume's store holds its root folder (made, ".", when missing);
  // the volume's item is marked as having children.
  void EnsureRootFolder();
  void EnsureLostFoldersRoot();
  // A lost folder was made (store message 16): appended under "Lost folders" when
  // that item is expanded.
  void AddLostFolder(std::int64_t handle);
  void EnsureLostFilesRoot();
  // A partition was opened as a volume: its node first under its parent volume's.
  void AddVolumeNode(const std::shared_ptr<CVolume>& volume);
  // A folder under an item, sorted (through the filter); queued when `queued`.
  void InsertFolderItem(const QModelIndex& parent, std::int64_t handle, bool queued = true);

  // The pending flags an analysis clears one by one.
  bool rootPending = true;
  bool firstFolderPending = true;
  bool lostFilesPending = true;
  void SetPendingFlags() { rootPending = firstFolderPending = lostFilesPending = true; }

  // ---- Items --------------------------------------------------------------------------

  QModelIndex MyComputerItem() const { return myComputer_; }
  QModelIndex RecycleBinItem() const { return recycleBin_; }
  QModelIndex LostFoldersItem() const { return lostFolders_; }
  QModelIndex LostFilesItem() const { return lostFiles_; }
  // The analysed volume's device item (invalid when the tree has none).
  QModelIndex AnalysedVolumeItem() const;
  QModelIndex SelectedItem() const { return currentIndex(); }
  void SelectItem(const QModelIndex& index);
  // Expands an item (fetching its folders) when it can be.
  void ExpandItem(const QModelIndex& index);

  // Toggles an item's kept mark (WM_TOGGLE_TREE_CHECK); no check box shows it.
  void ToggleCheck(const QModelIndex& index) { model_->ToggleCheck(index); }

  // The menu a right click would open for the selected item (null: none).
  QMenu* ContextMenu() const;

 signals:
  void treeKey(int key);
  void focused();
  void itemCollapsed(const QModelIndex& index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct OpenState;
  OpenState SaveOpenState() const;
  void RestoreOpenState(const OpenState& state);
  void BuildFullTree();
  void BuildVolumeMode();
  void BuildLostFilesMode();
  QModelIndex InsertVolume(const QModelIndex& parent, const std::shared_ptr<CVolume>& volume, int image,
                           const QString& text, bool expand);
  void RegisterSpecialNodes();
  // The selected item's menu at a screen position; below the item for the keys.
  void OpenContextMenu(const QPoint& globalPos);
  QPoint KeyboardMenuPosition() const;
  std::int64_t EnsureLostFilesRecord();
  void OnExpanded(const QModelIndex& index);
  void OnCollapsed(const QModelIndex& index);

  CFilesTreeModel* model_;
  QPersistentModelIndex myComputer_;
  QPersistentModelIndex recycleBin_;
  QPersistentModelIndex lostFolders_;
  QPersistentModelIndex lostFiles_;
  int volumeMode_ = 0;
  int lostFilesMode_ = 0;
  int recycleBinPlacement_ = -1;
  int deviceMenu_ = 1;
  // The lost roots' records this tree made sure of, by handle (-1: none yet).
  std::int64_t lostFoldersRecord_ = -1;
  std::int64_t lostFilesRecord_ = -1;
  // The stores My Computer and the Recycle Bin were registered in (once each).
  std::vector<std::uint32_t> registeredIn_;
  bool refreshing_ = false;
};
