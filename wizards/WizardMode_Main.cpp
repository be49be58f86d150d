#include "wizards/WizardMode_Main.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLayout>
#include <QStyle>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

#include "app/App.h"
#include "app/Icons.h"
#include "app/PostedEvent.h"
#include "app/QtText.h"
#include "app/WebLinks.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/Label.h"
#include "controls/SheetLayout.h"
#include "dialogs/RecoveryCommands.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "search/Recovery.h"
#include "search/RecoveryJobs.h"
#include "wizards/WizardModeExplorerHost.h"
#include "wizards/WizardMode_Finish.h"
#include "wizards/WizardMode_LeftBar.h"
#include "wizards/WizardMode_Step0.h"
#include "wizards/WizardMode_Step1.h"
#include "wizards/WizardMode_Step2.h"
#include "wizards/WizardMode_Step3.h"
#include "wizards/WizardMode_Step4.h"
#include "wizards/WizardMode_Step5.h"
#include "wizards/WizardMode_Step6.h"
#include "wizards/WizardMode_Step7.h"
#include "wizards/WizardMode_Step8.h"

namespace {

// Menu 379: what a drive's item offers on the drive page.
struct DriveMenuItem {
  int id;
  const char* text;
};
constexpr DriveMenuItem kDriveMenu[] = {
    {mainframe::ID_SELECT_NODE, "Select"},
    {mainframe::ID_CREATE_IMAGE, "Create Drive Image..."},
    {mainframe::ID_LOAD_IMAGE, "Load Drive Image..."},
    {mainframe::ID_RESCAN_DRIVES, "Rescan Drives\tF5"},
    {mainframe::ID_DRIVE_PROPERTIES, "Properties"},
};

// Help and web commands the sheet passes to the application.
bool IsHelpCommand(int id) {
  switch (id) {
    case mainframe::ID_HELP_CONTENTS:
    case mainframe::ID_RECOVERY_GUIDE:
    case mainframe::ID_HELP_SEARCH:
    case mainframe::ID_TESTIMONIALS:
    case mainframe::ID_WEB_SITE:
    case mainframe::ID_SUPPORT_PAGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

CWizardMode_Main::CWizardMode_Main(const QString& title, int startPage, QWidget* parent)
    : CWizardPropertySheet(title, startPage, parent, false, true),
      step0_(new CWizardMode_Step0),
      step1_(new CWizardMode_Step1),
      step2_(new CWizardMode_Step2),
      step3_(new CWizardMode_Step3),
      step4_(new CWizardMode_Step4),
      step5_(new CWizardMode_Step5),
      step6_(new CWizardMode_Step6),
      step7_(new CWizardMode_Step7),
      step8_(new CWizardMode_Step8),
      finish_(new CWizardMode_Finish) {
  setObjectName(QStringLiteral("WizardModeMain"));
  // Log lines carry no time stamp in this mode.
  Log().SetTimeStamps(false);
  TakeOverSettings();
  SetWizardMode();
  setWindowIcon(app::IconById(IDI_ICON));
  SetWizard97Mode(IDB_HEADER);
  for (CWizardModePage* page : std::initializer_list<CWizardModePage*>{
           step0_, step1_, step2_, step3_, step4_, step5_, step6_, step7_, step8_, finish_})
    AddPage(page);
  for (CVolumeExploreView* view : {step1_->View(), step6_->View(), step8_->View()}) ConnectView(view);
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] { OnCommand(mainframe::ID_HELP_CONTENTS); });
}

CWizardMode_Main::~CWizardMode_Main() { RestoreSettings(); }

// ---- Settings the wizard borrows ----------------------------------------------------------

void CWizardMode_Main::TakeOverSettings() {
  AppSettings& s = Settings();
  signaturePass_ = s.SignaturePass();
  autoContinueQueue_ = s.AutoContinueQueue();
  settingsTaken_ = true;
  s.SetSignaturePass(0);
}

void CWizardMode_Main::RestoreSettings() {
  if (!settingsTaken_) return;
  settingsTaken_ = false;
  AppSettings& s = Settings();
  // A value the user set meanwhile (the settings sheet) stays.
  if (s.SignaturePass() == 0) s.SetSignaturePass(signaturePass_);
  if (s.AutoContinueQueue() == 0) s.SetAutoContinueQueue(autoContinueQueue_);
}

bool CWizardMode_Main::AskToEnd() {
  if (ending_) return true;
  RestoreSettings();
  if (g_App && g_App->Exit() == 0) {
    TakeOverSettings();
    return false;
  }
  ending_ = true;
  return true;
}

void CWizardMode_Main::SavePlacement() {}

void CWizardMode_Main::closeEvent(QCloseEvent* event) {
  SavePlacement();
  if (!AskToEnd()) {
    event->ignore();
    return;
  }
  CWizardPropertySheet::closeEvent(event);
}

void CWizardMode_Main::reject() {
  if (!AskToEnd()) return;
  CWizardPropertySheet::reject();
}

// ---- Layout -----------------------------------------------------------------------------------

void CWizardMode_Main::showEvent(QShowEvent* event) {
  CWizardPropertySheet::showEvent(event);
  if (!layoutDone_) InitLayout();
}

void CWizardMode_Main::InitLayout() {
  layoutDone_ = true;
  leftBar_ = new CWizardMode_LeftBar(this);
  leftBar_->SetCurrentStep(ActiveIndex());
  leftBar_->show();

  // The drive list is refreshed in the background; the drive page's tree follows
  // when it is done. Drives that come and go are watched from now on.
  step1_->View()->RescanDrives();
  if (g_Computer) g_Computer->StartDriveWatch();
  if (g_App) {
    g_App->SetLogWindow(this);
    g_App->SetTopWindow(this);
  }

  // The product link where a subtitle would stand.
  productLink_ = new controls::CLabel(this);
  const QString page = app::MakerPage(app::kProductsPath);
  productLink_->SetText(page);
  productLink_->SetLinkUrl(BuildEventUrl(page, QString::fromLatin1(kProductEvent)));
  productLink_->SetLink(true, false);
  productLink_->SetLinkCursor();
  productLink_->SetTransparent(true);
  QFont bold = font();
  bold.setBold(true);
  productLink_->setGeometry(QRect(QPoint(44, 10 + QFontMetrics(bold).height() + 3), productLink_->sizeHint()));
  productLink_->show();

  menuButton_ = new QPushButton(LangString(169), this);
  controls::SetControlId(menuButton_, ID_MENU_BUTTON);
  menuButton_->setAutoDefault(false);
  if (QWidget* helpButton = controls::FindControl(this, controls::kSheetHelpId)) menuButton_->setFont(helpButton->font());
  connect(menuButton_, &QPushButton::clicked, this, [this] { OnCommand(ID_MENU_BUTTON); });
  menuButton_->show();

  if (g_App) g_App->Languages().TranslateWindow(QStringLiteral("Wizard.Main"), this);
  BuildContextMenus();
  WidenForTheResults();
  OnRelayout();
}

void CWizardMode_Main::WidenForTheResults() {
  // The result pages' list shows its name, size and type columns whole beside the
  // tree: the sheet opens as much wider as that takes.
  const controls::CResizablePropertyPage* page = ActivePage();
  if (!page) return;
  CFilesListView* list = step6_->View()->List();
  int needed = step6_->Host()->TreeWidth() + step6_->View()->handleWidth() + 2 * list->frameWidth() +
               list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list) + 3;
  for (int column = 0; column < 3; ++column) needed += list->horizontalHeader()->sectionSize(column);
  const QMargins margins = step6_->layout() ? step6_->layout()->contentsMargins() : QMargins();
  needed += margins.left() + margins.right();
  const int room = page->width();
  if (room > 0 && needed > room) resize(width() + needed - room, height());
}

int CWizardMode_Main::SideBarWidth() const { return controls::ScaledPixelsX(font(), kSideBarWidth); }

void CWizardMode_Main::OnRelayout() {
  if (!layoutDone_) return;
  const QWidget* header = controls::FindControl(this, controls::kWizardHeaderLineId);
  const QWidget* lower = controls::FindControl(this, controls::kWizardButtonLineId);
  const QWidget* help = controls::FindControl(this, controls::kSheetHelpId);
  if (leftBar_ && header && lower) {
    const int top = header->y() + header->height() - 1;
    leftBar_->setGeometry(leftBar_->x(), top, SideBarWidth(), std::max(0, lower->y() - top));
  }
  if (menuButton_ && help)
    menuButton_->setGeometry(controls::ScaledPixelsX(font(), kMenuButtonLeft), help->y(),
                             controls::ScaledPixelsX(font(), kMenuButtonWidth), help->height());
}

void CWizardMode_Main::BuildContextMenus() {
  // The menus the found-object views of the embedded explorer views take their
  // context menus from: 0 the drive's ("Select" ...), 1 the main window's "File".
  contextMenus_ = new QMenuBar(this);
  contextMenus_->hide();
  QMenu* drive = contextMenus_->addMenu(QStringLiteral("&Disk"));
  for (const DriveMenuItem& item : kDriveMenu) {
    QAction* action = drive->addAction(QString::fromLatin1(item.text));
    controls::SetCommandId(action, item.id);
  }
  const auto menus = mainframe::MainMenu();
  if (menus.size() > 1) {
    QMenu* file = contextMenus_->addMenu(app::ToQString(std::u16string(menus[1].title)));
    for (const mainframe::MenuItem& item : menus[1].items) {
      if (item.id == 0) {
        file->addSeparator();
        continue;
      }
      QAction* action = file->addAction(app::ToQString(std::u16string(item.text)));
      controls::SetCommandId(action, item.id);
    }
  }
  // The views open these menus as popups of their own (never from the hidden
  // bar, which therefore hears nothing): each menu hands its chosen command on.
  for (QMenu* menu : {drive, contextMenus_->actions().value(1) ? contextMenus_->actions().value(1)->menu() : nullptr}) {
    if (!menu) continue;
    connect(menu, &QMenu::triggered, this, [this](QAction* action) {
      if (const int id = controls::CommandId(action)) OnCommand(id);
    });
  }
  if (g_App) g_App->SetMainMenu(contextMenus_);
}

void CWizardMode_Main::OnPageInitialized() {
  if (!centred_) {
    centred_ = true;
    CWizardPropertySheet::OnPageInitialized();
  }
  setWindowTitle(g_App ? g_App->GetTitle() : QStringLiteral("Vandrel Pro"));
}

// ---- Messages -----------------------------------------------------------------------------------

bool CWizardMode_Main::event(QEvent* event) {
  if (const PostedMessage* m = CPostedEvent::Of(event)) {
    OnMessage(*m);  // a message outside the table is dropped
    return true;
  }
  return CWizardPropertySheet::event(event);
}

CVolumeExploreView* CWizardMode_Main::CurrentView() const {
  const controls::CResizablePropertyPage* page = ActivePage();
  if (page == step1_) return step1_->View();
  if (page == step6_) return step6_->View();
  if (page == step8_) return step8_->View();
  return nullptr;
}

bool CWizardMode_Main::OnMessage(const PostedMessage& message) {
  switch (message.message) {
    case WM_SET_STATUS_TEXT:
      return true;
    case WM_FILE_SYSTEM_PASS_DONE:
      OnPassDone(false);
      return true;
    case WM_SECTOR_PASS_DONE:
      OnPassDone(true);
      return true;
    case WM_START_RECOVERY: {
      const controls::CResizablePropertyPage* page = ActivePage();
      CVolumeExploreView* view = page == step6_ ? step6_->View() : page == step8_ ? step8_->View() : nullptr;
      if (view) {
        PostedMessage start;
        start.message = WM_START_RECOVERY;
        QCoreApplication::postEvent(view, new CPostedEvent(std::move(start)));
      }
      return true;
    }
    case WM_UPDATE_CAPTION:
      if (g_App) g_App->SetMainCaption();
      return true;
    case WM_RESET_PROGRESS:
      OnResetProgress();
      return true;
    case WM_VOLUME_ADDED:
      // A partition a pass found: the drive page lists it beneath its drive.
      step1_->View()->OnPostedMessage(message);
      return true;
    case WM_DEVICE_CHANGED:
      if (ActivePage() == step1_) {
        CVolumeExploreView* view = step1_->View();
        QMetaObject::invokeMethod(
            view, [view] { view->OnCommand(mainframe::ID_REFRESH_TREE); }, Qt::QueuedConnection);
      }
      return true;
    default:
      return false;
  }
}

void CWizardMode_Main::OnPassDone(bool sectorPass) {
  if (std::shared_ptr<CVolume> volume = CurrentVolume(); volume && g_Computer)
    g_Computer->FinishAnalysis(volume, false);
  CWizardModeProgressPage* page = sectorPass ? static_cast<CWizardModeProgressPage*>(step7_)
                                             : static_cast<CWizardModeProgressPage*>(step5_);
  page->OnPassDone();
}

void CWizardMode_Main::OnResetProgress() {
  step5_->ResetProgress();
  step7_->ResetProgress();
}

bool CWizardMode_Main::OnCommand(int id) {
  if (id == ID_SETTINGS) {
    if (g_App) g_App->ShowProgramSettings(id);
    return true;
  }
  if (id == ID_MENU_BUTTON) {
    OnMenuButton();
    return true;
  }
  if (id == ID_CANCEL) {
    AskToEnd();
    return true;
  }
  if (id == ID_ABOUT) {
    if (g_App) g_App->ShowAbout();
    return true;
  }
  if (id == mainframe::ID_MODE_EXPLORER || id == mainframe::ID_MODE_DATA_VIEWER) {
    // The switch closes this sheet: it runs once the command's own handling is over.
    if (g_App) QMetaObject::invokeMethod(g_App, [id] { g_App->SetUIMode(id); }, Qt::QueuedConnection);
    return true;
  }
  if (IsHelpCommand(id)) {
    if (g_App) g_App->OnHelpCommand(id);
    return true;
  }
  if (CVolumeExploreView* view = CurrentView()) return view->OnCommand(id);
  return false;
}

QMenu* CWizardMode_Main::MakeMenuPopup(QWidget* parent) {
  auto* menu = new QMenu(parent);
  controls::SetCommandId(menu->addAction(QStringLiteral("Settings...")), ID_SETTINGS);
  menu->addSeparator();
  // The way from the wizard to the main window.
  controls::SetCommandId(menu->addAction(QStringLiteral("&Explorer Mode")), mainframe::ID_MODE_EXPLORER);
  controls::SetCommandId(menu->addAction(QStringLiteral("Explorer Mode with &Data Viewer")),
                         mainframe::ID_MODE_DATA_VIEWER);
  menu->addSeparator();
  controls::SetCommandId(menu->addAction(QStringLiteral("About...")), ID_ABOUT);
  if (g_App) g_App->Languages().RegisterMenu(QStringLiteral("Wizard.Menu"), menu);
  return menu;
}

void CWizardMode_Main::OnMenuButton() {
  if (!menuButton_) return;
  QMenu* menu = MakeMenuPopup(this);
  QAction* chosen = menu->exec(menuButton_->mapToGlobal(QPoint(0, 0)));
  const int id = chosen ? controls::CommandId(chosen) : 0;
  delete menu;
  if (id) OnCommand(id);
}

// ---- Drive and recoveries -----------------------------------------------------------------------

std::shared_ptr<CVolume> CWizardMode_Main::CurrentVolume() {
  std::shared_ptr<CVolume> volume = g_Computer ? g_Computer->AnalysedVolume() : nullptr;
  if (!volume || volume->GetKind() == 0) return nullptr;
  return volume;
}

void CWizardMode_Main::OnPageShown(const CWizardModePage* page) {
  // The welcome page is no step; the others are steps 1 to 9 in page order.
  if (leftBar_) leftBar_->SetCurrentStep(std::max(0, PageIndex(page)));
}

void CWizardMode_Main::OnDriveChosen() {
  recovered_ = 0;
  step8_->ResetSnapshot();
}

void CWizardMode_Main::ConnectView(CVolumeExploreView* view) {
  // The view runs its jobs with the progress dialog (its Recover... opens the
  // recovery options dialog, whose OK posts WM_START_RECOVERY to this sheet, which
  // passes it to the current page's view); what a recovery wrote is counted here.
  connect(view, &CVolumeExploreView::recoveryEnded, this, [this](int kind) {
    if (kind == 0) CountRecovery(RecoveryJob());
  });
}

void CWizardMode_Main::CountRecovery(CRecovery& job) {
  if (job.GetKind() != CRecovery::Kind::Recovery) return;
  recovered_ += job.SuccessCount();
  lastDestination_ = app::ToQString(job.Destination());
}

int CWizardMode_Main::FollowRecovery(CRecovery& job, bool closeWhenDone) {
  CRecoveryProgressDlg dialog(job, this);
  dialog.SetCloseWhenDone(closeWhenDone ? 1 : 0);
  const int result = dialog.exec();
  CountRecovery(job);
  return result;
}

void CWizardMode_Main::AutoRecover(CAutoPilot::Pass pass) {
  QMetaObject::invokeMethod(
      this,
      [this, pass] {
        std::shared_ptr<CVolume> volume = CurrentVolume();
        if (!volume || !g_Computer) return;
        std::vector<FoundObject*> files = CAutoPilot::CollectFiles(volume->Store(), g_Computer->Filter(), pass);
        if (!files.empty()) {
          if (CRecoveryCommands::RefuseWhileAJobEnds(this)) return;
          Log().InfoId(185);
          CRecovery& job = RecoveryJob();
          // Nobody is there to answer the size question: a carved file whose end is
          // unknown runs up to the next file found, unless the job has a mode already.
          const std::int32_t mode = job.SizeMode();
          const std::int64_t sizeKB = job.SizeKB();
          if (mode == 0) job.SetSizeMode(kAutoPilotSizeMode);
          int result = -1;
          if (job.SetSelection(CRecoveryCommands::Of(volume, files)) && job.StartRecovery())
            result = FollowRecovery(job, true);
          if (mode == 0) job.SetSizeMode(0, sizeKB);
          // Stopped, or a question answered Cancel (nothing could be written): the
          // auto-pilot halts on this page.
          if (result != 0 || job.SuccessCount() == 0) return;
        }
        AutoContinue(pass);
      },
      Qt::QueuedConnection);
}

void CWizardMode_Main::AutoContinue(CAutoPilot::Pass pass) {
  // Through the pass's results page: after the file-system pass on to the sector
  // pass (its page starts it on showing), after the sector pass to the summary.
  if (pass == CAutoPilot::Pass::kFileSystem) {
    if (SetActivePage(step6_)) SetActivePage(step7_);
  } else {
    if (SetActivePage(step8_)) SetActivePage(finish_);
  }
}

void CWizardMode_Main::ExploreRecoveredFiles() {
  if (!g_App) return;
  if (lastDestination_.isEmpty()) {
    g_App->ExploreDestinationFolder();
    return;
  }
  g_App->Callbacks().OpenUrl(QUrl::fromLocalFile(lastDestination_));
}
