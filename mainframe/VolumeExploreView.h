#pragma once
// CVolumeExploreView: the working area of the main window (and of the wizard's
// drive and result pages). A splitter whose left pane shows the found-object tree
// (or the find pane's search bar) and whose right pane shows one of eight
// numbered views (SetView): 1, 2 the found-object list; 3 the find results; 4, 5,
// 6 the volume information; 7 the recycle bin; 8 My Computer.
//
// It carries out the commands of the Disk and File menus, which reach it through
// the top window's chain (OnCommand), and the posted messages the top window
// passes on (OnPostedMessage). Its command states follow the frame's own at every
// idle pass (UpdateCommandStates).
//
// Here: the splitter with its two panes, Rescan Drives (32781: the drive list is
// refreshed on its own thread while the window stays alive, then the drive tree
// is rebuilt), Load Drive Image (32783), Stop Analyzing (32775, also the first
// step of the main window's close). The tree, the list, the views and the other
// commands fill the panes and the tables below.
//
// Owned by its top window; GUI thread only.

#include <QPointer>
#include <QSplitter>
#include <QTimer>

#include <cstdint>

#include "engine/Notifier.h"
#include "mainframe/CommandStates.h"
#include "mainframe/DriveRescan.h"

class QFileDialog;

class CVolumeExploreView : public QSplitter {
  Q_OBJECT

 public:
  static constexpr int kSplitterPosition = 200;
  static constexpr int kSplitterPositionAfterLayout = 250;
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
  // The view's own command rules, applied after the frame's (idle time).
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
  // The find pane's flag (the Search command toggles it) and whether its results
  // list shows.
  bool FindPaneFlag() const { return findPaneFlag_; }
  void SetFindPaneFlag(bool on) { findPaneFlag_ = on; }
  bool IsFindPaneVisible() const { return currentView_ == VIEW_FIND; }
  // Whether a found object (file or folder) is selected.
  bool HasCurrentObject() const;

  // ---- Drive tree -------------------------------------------------------------------

  // The drive tree rebuilds itself from the drive list; driveTreeRefreshed follows.
  void RefreshTree();
  // Selects the device node of a volume in the tree (once it is listed there).
  void SelectDeviceNode(std::int32_t nodeId);
  std::int32_t LastSelectedNode() const { return lastSelectedNode_; }
  // The check toggle of a tree item (a click on its check box); false when there
  // is no such item.
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

 signals:
  void driveTreeRefreshed();

 private slots:
  void OnRescanTimer();

 private:
  QWidget* left_ = nullptr;
  QWidget* right_ = nullptr;
  int currentView_ = 0;
  int previousView_ = 0;
  bool findPaneFlag_ = false;
  std::int32_t lastSelectedNode_ = 0;
  mainframe::CDriveRescan rescan_;
  QTimer rescanTimer_;
  bool waitCursor_ = false;
};
