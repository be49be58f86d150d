#include "mainframe/frame/MainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "controls/PaneContainerEx.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/explorer/StoreAccess.h"
#include "mainframe/find/FindInFound.h"
#include "mainframe/frame/CloseSequence.h"
#include "mainframe/frame/CommandRoute.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/FrameActions.h"
#include "mainframe/frame/FrameHost.h"
#include "mainframe/frame/FrameStatusBar.h"
#include "mainframe/frame/ProgressRule.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/panes/HexViewerPane.h"
#include "mainframe/panes/LegendPane.h"
#include "mainframe/panes/LogView.h"
#include "resources/StringTable.h"
#include "search/RecoveryJobs.h"
#include "search/RecoveryJobs.h"

using namespace mainframe;

// The close steps as the frame carries them out.
class CMainFrame::CloseSteps : public ICloseSteps {
 public:
  explicit CloseSteps(CMainFrame& frame) : frame_(frame) {}
  bool AskExit() override { return !g_App || g_App->AskExit(); }
  bool StopAnalysis(bool force) override { return frame_.explorer_->StopAnalysis(force) != 0; }
  void DeleteTemporaryFiles() override { TryOpenJob().DeleteTemporaryFiles(); }
  bool Quit(bool /*modeSwitch*/) override { return !g_App || g_App->Exit(false) != 0; }

 private:
  CMainFrame& frame_;
};

CMainFrame::CMainFrame(int mode, QWidget* parent) : QMainWindow(parent), mode_(mode) {
  setObjectName(QStringLiteral("MainFrame"));
  // Analyses started here include the signature pass.
  Settings().SetSignaturePass(1);

  // Menu bar, toolbar, accelerators.
  actions_ = new CFrameActions(this);
  connect(actions_, &CFrameActions::commandTriggered, this, &CMainFrame::OnCommand);
  if (g_App) g_App->SetMainMenu(actions_->MenuBar());

  // The client: the explorer view above the side pane, the status bar below.
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  splitter_ = new QSplitter(Qt::Vertical, central);
  splitter_->setObjectName(QStringLiteral("FrameSplitter"));
  splitter_->setChildrenCollapsible(false);
  explorer_ = new CVolumeExploreView(splitter_);
  legend_ = new CLegend_Pane(splitter_);
  dataViewer_ = new CHexViewer_Pane(splitter_);
  splitter_->addWidget(explorer_);
  splitter_->addWidget(legend_);
  splitter_->addWidget(dataViewer_);
  splitter_->setStretchFactor(0, 1);
  for (controls::CPaneContainerEx* pane : {static_cast<controls::CPaneContainerEx*>(legend_),
                                           static_cast<controls::CPaneContainerEx*>(dataViewer_)})
    connect(pane, &controls::CPaneContainerEx::closeRequested, this,
            [this](controls::CPaneContainerEx* p) { OnPaneClose(p); });
  // The search pane's close button leaves the find view.
  connect(explorer_->FindInFound()->Pane(), &controls::CPaneContainerEx::closeRequested, this,
          [this](controls::CPaneContainerEx* p) { OnPaneClose(p); });
  // The lower place holds the mode's pane; the other one stays hidden.
  (ShowsDataViewer() ? static_cast<QWidget*>(legend_) : static_cast<QWidget*>(dataViewer_))->hide();

  statusBar_ = new CFrameStatusBar(central);
  statusBar_->SetPaneText(kPaneStatusText, app::ToQString(BuiltinString(57345)));
  connect(statusBar_, &controls::CMultiPaneStatusBarEx::command, this, &CMainFrame::OnCommand);
  layout->addWidget(splitter_, 1);
  layout->addWidget(statusBar_);
  setCentralWidget(central);

  // The toolbar and status bar as the settings say (their check marks follow them).
  actions_->ToolBar()->setVisible(Settings().ShowToolbar() != 0);
  statusBar_->setVisible(Settings().ShowStatusBar() != 0);
  ShowProgress(false);

  progressTimer_.setInterval(kTimerProgress);
  connect(&progressTimer_, &QTimer::timeout, this, &CMainFrame::OnProgressTimer);
  progressTimer_.start();
  repaintTimer_.setInterval(kTimerRepaint);
  connect(&repaintTimer_, &QTimer::timeout, this, &CMainFrame::OnRepaintTimer);
  repaintTimer_.start();

  ShowLegend(Settings().ShowLegend() != 0 ? 1 : 0);

  if (g_App) {
    idleHandler_ = g_App->AddIdleHandler([this] { OnIdle(); }, this);
    g_App->SetTopWindow(this);
  }
  // The first window that lists drives starts the device watch (once per run).
  if (g_Computer) g_Computer->StartDriveWatch();
  Log().Info(u"Program running.");
  PostToSelf(WM_INIT_LAYOUT);

  if (g_App) {
    CLanguages& languages = g_App->Languages();
    languages.SetMainMenu(actions_->MenuBar());
    languages.RegisterToolbar(QStringLiteral("MainToolBar"), actions_->ToolBar());
    languages.SelectLanguage(Settings().LanguageIndex());
  }
  resize(900, 640);
}

CMainFrame::~CMainFrame() {
  if (g_App && idleHandler_) g_App->RemoveIdleHandler(idleHandler_);
}

bool CMainFrame::ShowsDataViewer() const { return CApp::ModeShowsDataViewer(mode_); }

QWidget* CMainFrame::LowerPane() const {
  return ShowsDataViewer() ? static_cast<QWidget*>(dataViewer_) : static_cast<QWidget*>(legend_);
}

CLogView* CMainFrame::LogWindow() const { return statusBar_->LogBox(); }

// ---- Messages and commands ---------------------------------------------------------------

void CMainFrame::PostToSelf(std::uint32_t message, std::int64_t wParam, std::int64_t lParam) {
  PostedMessage m;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  QCoreApplication::postEvent(this, new CPostedEvent(std::move(m)));
}

bool CMainFrame::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event)) {
    OnPostedMessage(*m);
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::OnPostedMessage(const PostedMessage& m) {
  switch (m.message) {
    case WM_SET_STATUS_TEXT:
      SetStatusText(static_cast<std::uint32_t>(m.wParam));
      break;
    case WM_ANALYSIS_DONE:
      // Items of the store as it was before the analysis that found nothing go.
      explorer_->Tree()->Model()->PruneStale();
      if (g_Computer) g_Computer->ContinueQueue();
      break;
    case WM_TREE_SELECTION_CHANGED:
      // A drive node (or nothing) selected: the data viewer shows no file any more.
      if (m.lParam < 0 && ShowsDataViewer()) dataViewer_->SetObject(nullptr, -1);
      break;
    case WM_OBJECT_SELECTED:
      // The explorer's current object goes to the data viewer (wParam: its handle).
      if (ShowsDataViewer()) dataViewer_->SetObject(CStoreAccess::VolumeOf(m.wParam), m.wParam);
      break;
    case WM_FILE_SYSTEM_PASS_DONE:
    case WM_SECTOR_PASS_DONE:
    case WM_UPDATE_CAPTION:
    case WM_PANE_TOGGLED:
      break;
    case WM_INIT_LAYOUT:
      OnLayoutPanes();
      explorer_->OnPostedMessage(m);
      break;
    case WM_TOGGLE_TREE_CHECK:
      explorer_->OnToggleTreeCheck(m.lParam);
      break;
    case WM_DEVICE_CHANGED:
      explorer_->RefreshTree();
      break;
    case WM_LOG_LINE:
      LogWindow()->AddLine(app::ToQString(m.text));
      break;
    default:
      explorer_->OnPostedMessage(m);
      break;
  }
}

void CMainFrame::OnCommand(int id) {
  IFrameHost& host = FrameHost();
  switch (RouteCommand(id)) {
    case FrameRoute::VirtualVolume:
      if (host.ShowVirtualVolume(this)) explorer_->RefreshTree();
      break;
    case FrameRoute::ViewToolBar:
      OnViewToolBar();
      break;
    case FrameRoute::ViewStatusBar:
      OnViewStatusBar();
      break;
    case FrameRoute::ToggleLegend:
      ShowLegend(-1);
      break;
    case FrameRoute::Filters:
      host.ShowFilters(this);
      break;
    case FrameRoute::ShowLogFile:
      host.ShowLogFile();
      break;
    case FrameRoute::ViewSearch:
      OnViewSearch();
      break;
    case FrameRoute::ProgramSettings:
      host.ShowProgramSettings(id);
      break;
    case FrameRoute::SetUIMode:
      host.SetUIMode(id);
      break;
    case FrameRoute::Help:
      host.OnHelpCommand(id);
      break;
    case FrameRoute::About:
      host.ShowAbout();
      break;
    case FrameRoute::Exit:
      // A close request to itself, after this command has returned.
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
      break;
    case FrameRoute::PaneClose:
      break;  // the panes' own signal carries the pane (OnPaneClose)
    case FrameRoute::Explorer: {
      const bool handled = explorer_->OnCommand(id);
      emit explorerCommand(id, handled);
      break;
    }
  }
}

// ---- Status bar and progress -----------------------------------------------------------------

void CMainFrame::SetStatusText(std::uint32_t id) {
  const QString text = app::ToQString(BuiltinString(id));
  // Idle passes set it again and again: only a change repaints.
  if (statusBar_->PaneText(kPaneStatusText) != text) statusBar_->SetPaneText(kPaneStatusText, text);
}

QString CMainFrame::StatusText() const { return statusBar_->PaneText(kPaneStatusText); }

void CMainFrame::ShowProgress(bool show) {
  statusBar_->ShowProgress(show);
  PostToSelf(WM_PANE_TOGGLED);
}

void CMainFrame::UpdateProgress() {
  try {
    ScanProgress& progress = GetScanProgress();
    ProgressInput in;
    in.running = progress.IsRunning();
    if (std::shared_ptr<CVolume> volume = progress.Volume()) in.family = volume->GetFileSystemFamily();
    in.current = progress.current.load(std::memory_order_relaxed);
    in.total = progress.total.load(std::memory_order_relaxed);
    const ProgressStep step = ComputeProgress(in);
    if (!step.visible) {
      if (statusBar_->ProgressShown()) ShowProgress(false);
      SetStatusText(57345);
      return;
    }
    if (!statusBar_->ProgressShown()) ShowProgress(true);
    if (step.position) statusBar_->SetProgressPosition(*step.position);
  } catch (...) {
    // The bar keeps its position.
  }
}

void CMainFrame::OnProgressTimer() {
  UpdateProgress();
  explorer_->OnFrameTimer(kTimerProgress);
  // A queued drive that waited for a recovery copying from its store starts once
  // the copy has ended.
  if (g_Computer && g_Computer->QueueWaitsForStore() && !GetScanProgress().IsRunning() &&
      !RecoveryJob().IsThreadAlive() && !TryOpenJob().IsThreadAlive())
    g_Computer->ContinueQueue();
}

void CMainFrame::OnRepaintTimer() {
  if (GetScanProgress().IsRunning()) explorer_->OnFrameTimer(kTimerRepaint);
}

// ---- Panes -------------------------------------------------------------------------------------

void CMainFrame::ShowLegend(int state) {
  const int on = state < 0 ? (Settings().ShowLegend() != 0 ? 0 : 1) : (state != 0 ? 1 : 0);
  Settings().SetShowLegend(on);
  actions_->SetChecked(ID_VIEW_LEGEND, on != 0);
  LowerPane()->setVisible(on != 0);
}

void CMainFrame::OnLayoutPanes() {
  // The splitter's position is the upper pane's height; the bar between the two
  // panes comes out of the lower one.
  const int h = splitter_->height();
  const int position = ShowsDataViewer() ? h / 3 : h - h / 3;
  const int lower = std::max(0, h - position - splitter_->handleWidth());
  QList<int> sizes{position, 0, 0};
  sizes[ShowsDataViewer() ? 2 : 1] = lower;
  splitter_->setSizes(sizes);
}

void CMainFrame::OnPaneClose(QWidget* pane) {
  if (pane == legend_ || pane == dataViewer_) {
    ShowLegend(0);
    return;
  }
  if (pane && explorer_->isAncestorOf(pane)) {
    explorer_->SetView(CVolumeExploreView::VIEW_PREVIOUS);
    explorer_->SetFindPaneFlag(false);
  }
}

void CMainFrame::OnViewToolBar() {
  Settings().SetShowToolbar(Settings().ShowToolbar() != 0 ? 0 : 1);
  actions_->ToolBar()->setVisible(Settings().ShowToolbar() != 0);
  actions_->SetChecked(ID_VIEW_TOOLBAR, Settings().ShowToolbar() != 0);
}

void CMainFrame::OnViewStatusBar() {
  const bool show = !statusBar_->isVisible();
  Settings().SetShowStatusBar(show ? 1 : 0);
  statusBar_->setVisible(show);
  actions_->SetChecked(ID_VIEW_STATUS_BAR, show);
}

void CMainFrame::OnViewSearch() {
  explorer_->SetFindPaneFlag(!explorer_->FindPaneFlag());
  explorer_->SetView(explorer_->FindPaneFlag() ? CVolumeExploreView::VIEW_FIND : CVolumeExploreView::VIEW_PREVIOUS);
}

// ---- Idle ----------------------------------------------------------------------------------------

void CMainFrame::OnIdle() {
  actions_->SetChecked(ID_VIEW_TOOLBAR, Settings().ShowToolbar() != 0);
  actions_->SetChecked(ID_VIEW_STATUS_BAR, Settings().ShowStatusBar() != 0);
  actions_->SetChecked(ID_VIEW_LEGEND, Settings().ShowLegend() != 0);
  UpdateCommandStates();
  UpdateProgress();
  // The first idle of the run: the caption, the first drive-list refresh and the
  // start page. A frame made later in the run (after a mode switch) skips the
  // refresh.
  if (Settings().Loaded() != 0) {
    Settings().SetLoaded(0);
    PostToSelf(WM_UPDATE_CAPTION);
    QMetaObject::invokeMethod(this, [this] { OnCommand(ID_RESCAN_DRIVES); }, Qt::QueuedConnection);
    explorer_->SetView(CVolumeExploreView::VIEW_MY_COMPUTER);
    drivesShown_ = true;
  } else if (!drivesShown_) {
    // A frame made later in the run shows at once the drive list the program
    // already holds.
    drivesShown_ = true;
    explorer_->RefreshTree();
    explorer_->SetView(CVolumeExploreView::VIEW_MY_COMPUTER);
  }
}

void CMainFrame::UpdateCommandStates() {
  CommandStateInput in;
  in.running = GetScanProgress().IsRunning();
  in.volumeSelected = g_Computer && g_Computer->IsVolumeSelected();
  in.objectSelected = explorer_->HasCurrentObject();
  in.findPaneVisible = explorer_->IsFindPaneVisible();
  in.rescanBusy = explorer_->IsRescanning();
  CommandStates states = ComputeCommandStates(in, states_);
  explorer_->UpdateCommandStates(states);
  actions_->Apply(states);
  for (const auto& [id, state] : states) states_[id] = state;
}

// ---- Close -----------------------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
  CloseSteps steps(*this);
  const bool modeSwitch = g_App && g_App->IsSwitching();
  if (RunCloseSequence(steps, Settings().ConfirmExit() != 0, modeSwitch) == CloseResult::Close) {
    progressTimer_.stop();
    repaintTimer_.stop();
    event->accept();
  } else {
    event->ignore();
  }
}
