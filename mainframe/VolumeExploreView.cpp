#include "mainframe/VolumeExploreView.h"

#include <QApplication>
#include <QFileDialog>
#include <QFrame>

#include "app/QtText.h"
#include "engine/AppSettings.h"
#include "engine/LocalComputer.h"
#include "engine/Messages.h"
#include "engine/ProgramLog.h"
#include "engine/ScanProgress.h"
#include "engine/Volume.h"
#include "mainframe/CommandTable.h"

namespace {

QWidget* MakePane(QWidget* parent) {
  auto* pane = new QFrame(parent);
  pane->setFrameShape(QFrame::StyledPanel);
  pane->setAutoFillBackground(true);
  pane->setBackgroundRole(QPalette::Base);
  return pane;
}

}  // namespace

CVolumeExploreView::CVolumeExploreView(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
  setChildrenCollapsible(false);
  left_ = MakePane(this);
  right_ = MakePane(this);
  addWidget(left_);
  addWidget(right_);
  setStretchFactor(0, 0);
  setStretchFactor(1, 1);
  setSizes({kSplitterPosition, 600});
  rescanTimer_.setInterval(mainframe::CDriveRescan::kPollInterval);
  connect(&rescanTimer_, &QTimer::timeout, this, &CVolumeExploreView::OnRescanTimer);
}

CVolumeExploreView::~CVolumeExploreView() {
  if (waitCursor_) QApplication::restoreOverrideCursor();
}

// ---- Chain ---------------------------------------------------------------------------------

bool CVolumeExploreView::OnCommand(int id) {
  switch (id) {
    case mainframe::ID_RESCAN_DRIVES:
      RescanDrives();
      return true;
    case mainframe::ID_LOAD_IMAGE:
      OnLoadImage();
      return true;
    case mainframe::ID_STOP_ANALYSIS:
      StopAnalysis();
      return true;
    default:
      return false;
  }
}

bool CVolumeExploreView::OnPostedMessage(const PostedMessage& message) {
  switch (message.message) {
    case WM_INIT_LAYOUT: {
      const int total = std::max(kSplitterPositionAfterLayout + 1, width());
      setSizes({kSplitterPositionAfterLayout, total - kSplitterPositionAfterLayout});
      return true;
    }
    case WM_DEVICE_CHANGED:
      RefreshTree();
      return true;
    default:
      return false;
  }
}

void CVolumeExploreView::UpdateCommandStates(mainframe::CommandStates& /*states*/) {}

void CVolumeExploreView::OnFrameTimer(int /*timerId*/) {}

// ---- Views ---------------------------------------------------------------------------------

void CVolumeExploreView::SetView(int view, bool force) {
  if (view == VIEW_PREVIOUS) view = previousView_;
  if (view < VIEW_LIST || view > VIEW_MY_COMPUTER) return;
  if (!force && view == currentView_) return;
  previousView_ = currentView_;
  currentView_ = view;
}

bool CVolumeExploreView::HasCurrentObject() const { return false; }

// ---- Drive tree ----------------------------------------------------------------------------

void CVolumeExploreView::RefreshTree() { emit driveTreeRefreshed(); }

void CVolumeExploreView::SelectDeviceNode(std::int32_t nodeId) { lastSelectedNode_ = nodeId; }

bool CVolumeExploreView::OnToggleTreeCheck(std::int64_t /*item*/) { return false; }

// ---- Commands ------------------------------------------------------------------------------

void CVolumeExploreView::RescanDrives() {
  if (!g_Computer || !rescan_.Start(g_Computer->Volumes())) return;
  if (!waitCursor_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    waitCursor_ = true;
  }
  rescanTimer_.start();
}

void CVolumeExploreView::OnRescanTimer() {
  if (!rescan_.Poll()) return;
  rescanTimer_.stop();
  if (waitCursor_) {
    QApplication::restoreOverrideCursor();
    waitCursor_ = false;
  }
  RefreshTree();
}

void CVolumeExploreView::OnLoadImage() {
  if (!g_Computer) return;
  QFileDialog dialog(window(), QString());
  dialog.setObjectName(QStringLiteral("LoadDriveImageDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The labels as the program words them; the pattern in brackets at the end is
  // what the dialog matches ("*" for all files: many image files have no dot).
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters({QStringLiteral("Drive Image Files ( *.dsk ) (*.dsk)"), QStringLiteral("All Files ( *.* ) (*)")});
  dialog.setDefaultSuffix(QStringLiteral("dsk"));
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  std::shared_ptr<CVolume> volume = g_Computer->OpenImageFile(app::ToU16(files.front()));
  if (!volume) return;
  RefreshTree();
  SelectDeviceNode(volume->DeviceNodeId());
}

int CVolumeExploreView::StopAnalysis(bool force) {
  if (!g_Computer) return 1;
  std::shared_ptr<CVolume> volume = g_Computer->AnalysedVolume();
  const bool running = GetScanProgress().IsRunning() || (volume && volume->HasAnalysisThread());
  if (!running || !volume) return 1;
  // The stop may ask first: nothing changes before the user agreed.
  if (!g_Computer->FinishAnalysis(volume, force)) return 0;  // No: the scan goes on
  Log().SendStatus(57112);
  Settings().SetSignaturePass(0);
  return 1;
}
