#pragma once
// CMainFrame: the explorer-style main window of the modes 32839, 32841 and 32842.
// Menu bar, toolbar and accelerators come from CFrameActions; below them the
// explorer view (CVolumeExploreView) above one side pane: the legend (mode 32839
// and every other) or the data viewer (32841, 32842), hidden and shown by the
// Legend command; at the bottom the status bar with the status text, the progress
// bar and the log box.
//
// The frame routes the commands (its own table, then the explorer view), keeps
// the command states and the progress bar up to date at idle time and every
// 250 ms, continues the analysis queue when an analysis ends, and runs the close
// (CloseSequence.h). Posted engine messages arrive as CPostedEvents (app/
// PostedEvent.h); those the frame does not take go on to the explorer view.
//
// Made by the application object's factory (RegisterMainframe); GUI thread only.

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include "engine/records/Notifier.h"
#include "mainframe/frame/CommandStates.h"
#include "mainframe/panes/HexViewerPane.h"
#include "mainframe/panes/LegendPane.h"

class CLogView;
class CVolumeExploreView;
class QSplitter;

namespace controls {
class CPaneContainerEx;
}

namespace mainframe {
class CFrameActions;
class CFrameStatusBar;
class IFrameHost;
}  // namespace mainframe

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kTimerProgress = 250;
  static constexpr int kTimerRepaint = 2000;

  explicit CMainFrame(int mode, QWidget* parent = nullptr);
  ~CMainFrame() override;

  int Mode() const { return mode_; }
  bool ShowsDataViewer() const;
  CVolumeExploreView* ExploreView() const { return explorer_; }
  mainframe::CFrameActions* Actions() const { return actions_; }
  mainframe::CFrameStatusBar* StatusBar() const { return statusBar_; }
  CLogView* LogWindow() const;
  QSplitter* Splitter() const { return splitter_; }
  CLegend_Pane* LegendPane() const { return legend_; }
  CHexViewer_Pane* DataViewerPane() const { return dataViewer_; }
  // The side pane in the lower place for this mode.
  QWidget* LowerPane() const;

  // A command from the menu, toolbar, accelerators or the status bar's button.
  void OnCommand(int id);
  // A posted message (also the frame's own posts to itself).
  void OnPostedMessage(const PostedMessage& message);
  void PostToSelf(std::uint32_t message, std::int64_t wParam = 0, std::int64_t lParam = 0);

  // The built-in text of string `id` (not the language file's) in the first status
  // part.
  void SetStatusText(std::uint32_t id);
  QString StatusText() const;
  void ShowProgress(bool show);
  // -1 toggles AppSettings::ShowLegend, 0 and 1 set it; the lower pane follows.
  void ShowLegend(int state);
  void OnLayoutPanes();
  void OnPaneClose(QWidget* pane);
  void OnViewToolBar();
  void OnViewStatusBar();
  void OnViewSearch();

  // The idle work: check marks, command states (the frame's rule, then the
  // explorer view's), progress; the first idle of the run posts the caption
  // refresh and Rescan Drives and shows My Computer.
  void OnIdle();
  void UpdateCommandStates();
  void UpdateProgress();
  const mainframe::CommandStates& States() const { return states_; }

 signals:
  // A command went on to the explorer view's chain (`handled`: the view took it).
  void explorerCommand(int id, bool handled);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void OnProgressTimer();
  void OnRepaintTimer();

 private:
  class CloseSteps;

  int mode_;
  mainframe::CFrameActions* actions_ = nullptr;
  mainframe::CFrameStatusBar* statusBar_ = nullptr;
  QSplitter* splitter_ = nullptr;
  CVolumeExploreView* explorer_ = nullptr;
  CLegend_Pane* legend_ = nullptr;
  CHexViewer_Pane* dataViewer_ = nullptr;
  QTimer progressTimer_;
  QTimer repaintTimer_;
  mainframe::CommandStates states_;
  int idleHandler_ = 0;
  bool drivesShown_ = false;
};
