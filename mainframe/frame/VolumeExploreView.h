#pragma once
// CVolumeExploreView: the working area of the main window (and of the wizard's
// drive and result pages). A splitter whose left pane shows the found-object tree
// (or the find pane's search bar) and whose right pane shows one of eight
// numbered views (SetView): 1, 2 the found-object list; 3 the find results; 4, 5,
// 6 the volume information; 7 the recycle bin; 8 My Computer. Views 3 to 8 are
// stand-ins until their own classes come.
//
// It turns selections in the tree and the list into views (SelectObject), feeds
// the objects the store announces (WM_FOUND_OBJECT) into the tree and the list
// through the file filter, and carries out the commands of the Disk and File
// menus, which reach it through the top window's chain (OnCommand), and the posted
// messages the top window passes on (OnPostedMessage). Its command states follow
// the frame's own at every idle pass (UpdateCommandStates).
//
// Found objects travel as store handles and volumes as device-node ids; the view
// keeps no record pointer. The store's messages are queued as they arrive and
// handled in slices of at most kFoundObjectSlice per event-loop turn, so a pass
// that finds a million objects never holds the window.
//
// Questions go through the engine's question interface (engine/records/UserCallbacks.h):
// the size of Set New Size asks QuestionKind::ProbableFileSize as the recovery
// does, "try to open" QuestionKind::TryOpenWarning.
//
// Owned by its top window; GUI thread only.

#include <QPointer>
#include <QSplitter>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/records/Notifier.h"
#include "mainframe/frame/CommandStates.h"
#include "mainframe/frame/DriveRescan.h"

class CFilesListView;
class CFilesTreeView;
class CFindInFound;
class CVolume;
class CVolumeInfoView;
class QFileDialog;
class FoundObjectStore;
class QModelIndex;
struct FoundObject;

class CVolumeExploreView : public QSplitter {
  Q_OBJECT

 public:
  static constexpr int kSplitterPosition = 200;
  static constexpr int kSplitterPositionAfterLayout = 250;
  // The longest the store's messages may hold the event loop in one turn.
  static constexpr std::chrono::milliseconds kFoundObjectSlice{20};
  enum View : int {
    VIEW_PREVIOUS = 0,
    VIEW_LIST = 1,
    VIEW_LIST_2 = 2,
    VIEW_FIND = 3,
    VIEW_VOLUME_INFO = 4,
    VIEW_VOLUME_INFO_2 = 5,
    VIEW_VOLUME_INFO_3 = 6,
    VIEW_RECYCLE_BIN = 7,
    VIEW_MY_COMPUTER = 8,
  };

  explicit CVolumeExploreView(QWidget* parent = nullptr);
  ~CVolumeExploreView() override;

  // ---- Chain of the top window ----------------------------------------------------

  // A command of the Disk and File menus (and the wizard's); true when handled.
  bool OnCommand(int id);
  // A posted message the top window passes on; true when handled.
  bool OnPostedMessage(const PostedMessage& message);
  // The view's own command rules, applied after the frame's (idle time): the
  // focused list or tree becomes the control the file commands act on.
  void UpdateCommandStates(mainframe::CommandStates& states);
  // The frame's timers: 250 (item counts of the lists), 2000 (repaint while an
  // analysis runs).
  void OnFrameTimer(int timerId);

  // ---- Views ------------------------------------------------------------------------

  // Shows view 1..8 (0: the previous one); another number does nothing. Without
  // `force` nothing happens when the right pane shows that view's window already.
  void SetView(int view, bool force = false);
  int CurrentView() const { return currentView_; }
  int PreviousView() const { return previousView_; }
  // The windows of a view's right and left panes.
  QWidget* RightPaneOf(int view) const;
  QWidget* LeftPaneOf(int view) const;
  // The find pane's flag (the Search command toggles it) and whether its results
  // list shows.
  bool FindPaneFlag() const { return findPaneFlag_; }
  void SetFindPaneFlag(bool on) { findPaneFlag_ = on; }
  bool IsFindPaneVisible() const { return currentView_ == VIEW_FIND; }
  // Whether a found object (file or folder) is selected, and its handle (-1).
  bool HasCurrentObject() const;
  std::int64_t CurrentObject() const { return currentObject_; }

  CFilesTreeView* Tree() const { return tree_; }
  CFilesListView* List() const { return list_; }
  CFilesListView* FindResults() const { return findResults_; }
  CFindInFound* FindInFound() const { return findInFound_; }
  // The list, find results list or tree that last had the focus (null: none).
  QWidget* ActiveControl() const { return activeControl_; }

  // The wizard's pages: the tree's modes.
  void ShowForCurrentVolume(int flag);
  void ShowLostFiles(int flag);
  void SetTreeFlag(int value);

  // ---- Selection ----------------------------------------------------------------------

  // The centre of the view: a device node goes to SelectDevice; a file or folder
  // becomes the current object (unless `keep`), view 2 shows, WM_OBJECT_SELECTED
  // goes to the top window, and the list is filled with the folder's children.
  void SelectObject(std::int64_t handle, bool keep = false);
  void SelectDevice(std::int32_t nodeId);
  // The tree's selection moved.
  void OnTreeSelChanged(const QModelIndex& current);
  // The list's current row moved.
  void OnListSelChanged(int row);

  // ---- Store messages -------------------------------------------------------------

  // WM_FOUND_OBJECT: queued, handled at the end of the turn (see above).
  void OnFoundObject(std::int64_t handle, std::int64_t kind);
  // Handles every queued message now (tests).
  void FlushFoundObjects();

  // ---- Keys and the find pane -------------------------------------------------------

  // WM_TREE_KEY: Enter (13) or Backspace (8) from the list, the find results or the
  // tree.
  void OnTreeKey(int key, QWidget* sender);
  // WM_OPEN_OBJECT: the list, the find results or the tree took the focus.
  void OnViewFocused(QWidget* view);
  // A find result shown in its folder: the tree opened down to it, its folder
  // selected and its row selected in the list.
  void ShowInFolder(std::int64_t handle);

  // ---- Selection for the file commands ------------------------------------------------

  // The objects the file commands act on, from the control that last had the
  // focus: in a list (the found-object list or the find results), each selected
  // row in order, a folder's contents before the folder itself; in the tree, the
  // contents of the selected folder without it. A folder's contents are the files
  // below it that the file filter shows (engine/store/FolderContents.h). Appended to
  // `out` (emptied first) with the volume whose store holds the selection,
  // whichever volume was analysed last; returns the count.
  int CollectSelection(std::vector<FoundObject*>& out, std::shared_ptr<CVolume>* volume = nullptr);
  // Whether the control that last had the focus has a file or folder selected.
  bool HasSelection() const;
  // The first file or folder of that selection (-1: none); the current object
  // before any control had the focus.
  std::int64_t FirstSelectedObject() const;
  // Empties the list; with items in the tree, status 57114 and the pending flags.
  void ClearViews();

  // ---- Drive tree -------------------------------------------------------------------

  // The drive tree rebuilds itself from the drive list; driveTreeRefreshed follows.
  void RefreshTree();
  // Selects the device node of a volume in the tree (once it is listed there).
  void SelectDeviceNode(std::int32_t nodeId);
  std::int32_t LastSelectedNode() const { return lastSelectedNode_; }
  // The check toggle of a tree item (its folder's store handle, or a device item's
  // node id); false when there is no such item.
  bool OnToggleTreeCheck(std::int64_t item);

  // ---- Commands ---------------------------------------------------------------------

  // 32781: the drive list refreshes on its thread; the wait cursor shows and the
  // command is disabled until it is done (checked every 250 ms) or 15 s have
  // passed; then RefreshTree. A rescan while one waits does nothing.
  void RescanDrives();
  bool IsRescanning() const { return rescan_.Busy(); }
  // 32783: the open dialog for a drive image; the file opened as a volume, the
  // tree rebuilt and the new volume's node selected. A file that can't be opened
  // changes nothing (the engine logs why).
  void OnLoadImage();
  // 32775 and the main window's close: when an analysis runs, the computer
  // finishes it (`force`: without the confirmation), then status "Aborting..." and
  // the signature pass switched off. 0 when the user declined: the
  // analysis goes on and nothing changed. The analysis thread logs "Operation
  // aborted. Incomplete drive analysis!" when it ends stopped.
  int StopAnalysis(bool force = false);
  // 32774: the selected device node's volume analysed (views cleared, tree
  // rebuilt, signature pass on, the volume's item bold while it runs).
  void OnStartAnalysis();
  // 32787: the recovery options dialog (the one set below, else the dialogs
  // library's); its OK posts WM_START_RECOVERY. An empty selection says so in a
  // message box (and the log) and asks for no destination.
  void OnRecover();
  // WM_START_RECOVERY: the selection into the recovery job, its start (the job
  // logs "Recovery started."; an empty list is logged and shown) and the
  // progress dialog on it (dialogs/RecoveryCommands.h).
  void OnStartRecovery();
  // 32809: "try to open" of the selection, after its warning unless switched off,
  // followed by the progress dialog until the copy ends.
  void OnTryOpen();
  // 32782: the drive image dialog for the selected device node's volume; a
  // completed image is opened as a volume, the tree rebuilt and its node selected.
  void OnCreateImage();
  // 32797: the file information of the selection's first object, with its own
  // volume.
  void OnInformation();
  // 32872: the volume information sheet of the selected device node's volume.
  void OnDriveProperties();
  // The volume of the tree's selected device node; null for any other item (and
  // for My Computer and the Recycle Bin).
  std::shared_ptr<CVolume> SelectedDeviceVolume() const;
  CVolumeInfoView* VolumeInfoView() const { return volumeInfo_; }
  // 32831: the probable size question for the first object of the selection; on
  // OK every object's size is set by the chosen mode as the recovery settles it.
  void OnSetNewSize();
  // 32845: every object of the selection gets the size -1 (not known).
  void OnResetSize();
  // 32862: the partition search on the selected volume.
  void OnSearchLostDrives();
  // 32871: the selected device node's volume becomes the selected volume; the
  // command goes on to the parent (parentCommand).
  void OnSelectNode();

  // The recovery options dialog (32787): returns true when its OK asked for the
  // recovery (it posts WM_START_RECOVERY itself). Null: none registered.
  using RecoveryOptionsDialog = std::function<bool(QWidget* owner)>;
  void SetRecoveryOptionsDialog(RecoveryOptionsDialog dialog) { recoveryOptions_ = std::move(dialog); }

 protected:
  // Posted messages sent to this view itself (the search bar's WM_FIND_STOP).
  bool event(QEvent* event) override;

 signals:
  void driveTreeRefreshed();
  // WM_OBJECT_SELECTED: a found object became current (its handle), also sent to
  // the top window as the posted message's event.
  void objectSelected(qint64 handle);
  // WM_TREE_SELECTION_CHANGED: the tree's selection moved; a folder's handle, a
  // device node's id, or -1.
  void treeSelectionChanged(qint64 item);
  // A command this view passes on to its parent (32871).
  void parentCommand(int id);
  // A job on this view's selection has run with its progress dialog (the dialog
  // has closed): 0 the recovery (WM_START_RECOVERY), 1 "try to open" (32809).
  void recoveryEnded(int kind);

 private slots:
  void OnRescanTimer();

 private:
  struct PendingFound {
    std::int64_t handle;
    std::int64_t kind;
  };
  void MakeViews();
  void ScheduleFoundObjects();
  void HandleFoundObjects(bool all);
  void HandleFoundObject(const PendingFound& message);
  // Handles up to `most` plain additions of the analysed store from the queue's
  // head under one read of the store; 0 when the head is anything else.
  std::size_t HandleAddedRun(std::size_t most);
  // The first object of an analysis: the old store's items go, the node shows the
  // new root folder.
  void ShowNewRootFolder(FoundObjectStore& store);
  // The handles the control that last had the focus has selected (the tree: its
  // current item's folder); `fromTree` tells which.
  std::vector<std::int64_t> ActiveSelection(bool* fromTree = nullptr) const;
  void SendToTop(std::uint32_t message, std::int64_t wParam, std::int64_t lParam);
  void MarkAnalysedVolumeBold();

  QWidget* stash_ = nullptr;
  QWidget* left_ = nullptr;
  QWidget* right_ = nullptr;
  CFilesTreeView* tree_ = nullptr;
  CFilesListView* list_ = nullptr;
  CFilesListView* findResults_ = nullptr;
  CFindInFound* findInFound_ = nullptr;
  QWidget* searchBar_ = nullptr;
  CVolumeInfoView* volumeInfo_ = nullptr;
  QWidget* recycleBin_ = nullptr;
  QWidget* myComputer_ = nullptr;
  int currentView_ = 0;
  int previousView_ = 0;
  bool findPaneFlag_ = false;
  std::int32_t lastSelectedNode_ = 0;
  std::int64_t currentObject_ = -1;
  QPointer<QWidget> activeControl_;
  bool filling_ = false;
  std::vector<PendingFound> pendingFound_;
  std::size_t pendingNext_ = 0;
  bool foundScheduled_ = false;
  RecoveryOptionsDialog recoveryOptions_;
  mainframe::CDriveRescan rescan_;
  QTimer rescanTimer_;
  bool waitCursor_ = false;
};
