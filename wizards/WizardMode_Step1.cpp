#include "wizards/WizardMode_Step1.h"

#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesTreeModel.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/explorer/MyComputerView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "wizards/WizardModeExplorerHost.h"
#include "wizards/WizardMode_Main.h"

CWizardMode_Step1::CWizardMode_Step1()
    : CWizardModePage(IDD, 144, QStringLiteral("Wizard.Step1")), host_(new CWizardModeExplorerHost(this)) {
  QVBoxLayout* layout = Layout();
  layout->addWidget(AddText(QStringLiteral("Select the drive letter of yourcard reader, digital device or hard drive:")));
  layout->addWidget(host_, 1);
  layout->addWidget(AddText(QStringLiteral("Click Next to continue..."), IDC_HINT));
  CVolumeExploreView* view = host_->View();
  controls::SetControlId(view->Tree(), IDC_TREE);
  connect(view, &CVolumeExploreView::treeSelectionChanged, this, [this] { UpdateButtons(); });
  // F5, as the drive menu's "Rescan Drives" shows it.
  auto* rescan = new QShortcut(QKeySequence(Qt::Key_F5), this);
  rescan->setContext(Qt::WidgetWithChildrenShortcut);
  connect(rescan, &QShortcut::activated, this, [this] { View()->RescanDrives(); });
  // The view's "Select" comes as a posted command.
  connect(
      view, &CVolumeExploreView::parentCommand, this,
      [this](int id) {
        if (id == mainframe::ID_SELECT_NODE) OnSelectNode();
      },
      Qt::QueuedConnection);
}

CWizardMode_Step1::~CWizardMode_Step1() = default;

CVolumeExploreView* CWizardMode_Step1::View() const { return host_->View(); }

void CWizardMode_Step1::InitPage() {
  View()->setSizes({host_->TreeWidth(), std::max(1, View()->width() - host_->TreeWidth())});
  View()->SetTreeFlag(1);
  View()->RefreshTree();
  // Beside the tree, the wizard's own road instead of the main window's start page.
  if (auto* page = qobject_cast<CMyComputerView*>(View()->RightPaneOf(CVolumeExploreView::VIEW_MY_COMPUTER)))
    page->ShowPage(QString::fromLatin1(kDrivePage));
}

bool CWizardMode_Step1::OnPageSetActive() {
  // A new choice of drive starts both passes again.
  if (CWizardMode_Main* main = Main()) {
    PostedMessage reset;
    reset.message = CWizardMode_Main::WM_RESET_PROGRESS;
    main->OnMessage(reset);
  }
  UpdateButtons();
  // The keyboard works the tree from the start: the arrow keys choose a drive, the
  // Menu key or Shift+F10 opens its menu.
  QTimer::singleShot(0, View()->Tree(), [this] {
    if (IsActive()) View()->Tree()->setFocus(Qt::OtherFocusReason);
  });
  return true;
}

std::shared_ptr<CVolume> CWizardMode_Step1::SelectedDrive() const {
  CFilesTreeView* tree = View()->Tree();
  const QModelIndex selected = tree->currentIndex();
  if (!selected.isValid() || !tree->Model()->IsDevice(selected)) return nullptr;
  std::shared_ptr<CVolume> volume = tree->Model()->VolumeOfItem(selected);
  // My Computer and the Recycle Bin are no drives.
  if (!volume || volume->GetKind() == 0) return nullptr;
  return volume;
}

void CWizardMode_Step1::UpdateButtons() {
  if (!IsActive()) return;
  std::shared_ptr<CVolume> drive = SelectedDrive();
  const bool usable = drive && drive->GetState() != CVolume::kNotReady;
  SetWizardButtons(controls::PSWIZB_BACK | (usable ? controls::PSWIZB_NEXT : 0));
}

bool CWizardMode_Step1::ChooseSelectedDrive() {
  std::shared_ptr<CVolume> drive = SelectedDrive();
  if (!drive || drive->GetState() == CVolume::kNotReady || !g_Computer) return false;
  if (drive->ClearFoundObjects() != CVolume::ClearResult::kCleared) return false;
  g_Computer->SetSelectedVolume(drive);
  g_Computer->SetAnalysedVolume(drive);
  g_Computer->SetScannedVolume(drive);
  if (CWizardMode_Main* main = Main()) main->OnDriveChosen();
  return true;
}

int CWizardMode_Step1::OnWizardNext() { return ChooseSelectedDrive() ? controls::kWizardGoOn : controls::kWizardStay; }

void CWizardMode_Step1::OnSelectNode() {
  if (!IsActive() || !ChooseSelectedDrive()) return;
  if (CWizardMode_Main* main = Main()) main->SetActivePage(main->PageIndex(this) + 1);
}
