#include "app/App.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QMenuBar>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "app/AboutDlg.h"
#include "app/HelpWindow.h"
#include "app/Icons.h"
#include "app/MessageBox.h"
#include "app/PlaceholderWindow.h"
#include "app/QtText.h"
#include "app/WebLinks.h"
#include "controls/Bitmaps.h"
#include "controls/Label.h"
#include "controls/ResizablePropertySheet.h"
#include "controls/Splash.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "search/FileTypeDatabase.h"
#include "search/Recovery.h"
#include "search/SignaturePass.h"

CApp* g_App = nullptr;

QString LangString(std::uint32_t id) { return app::ToQString(GetLangString(id)); }

void PostCloseToWindow(QWidget* window) {
  if (window) QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
}

namespace {
// Help and web commands.
enum : int {
  ID_HELP_CONTENTS = 57670,
  ID_HELP_GUIDE = 32817,
  ID_HELP_SEARCH = 32818,
  ID_HELP_WEB_SITE = 32789,
  ID_HELP_SUPPORT = 32795,
  ID_HELP_TESTIMONIALS = 32838,
};
}  // namespace

CApp::CApp(const QString& programDir) {
  programDir_ = programDir;
  if (programDir_.isEmpty() && QCoreApplication::instance()) programDir_ = QCoreApplication::applicationDirPath();
  languages_ = std::make_unique<CLanguages>(QStringLiteral("Languages"), programDir_);
  g_App = this;
  SetSettings(&settings_);
  SetScanProgress(&progress_);
  SetStringSource(languages_.get());
  SetNotifier(&notifier_);
  SetUserCallbacks(&callbacks_);
  app::SetUpIconTheme();
  controls::CLabel::SetLinkOpener([this](const QUrl& url) { callbacks_.OpenUrl(url); });
  // A page that names its own help topic (the wizard's, property "helpTopic") opens
  // it; any other help is the contents.
  controls::CResizablePropertySheet::SetHelpHandler([this](int command, QWidget* page) {
    const QString topic = page ? page->property(kHelpTopicProperty).toString() : QString();
    if (command == 0 && !topic.isEmpty()) {
      CHelpWindow::ShowTopic(topic);
      return;
    }
    OnHelpCommand(command);
  });
  if (auto* gui = qobject_cast<QApplication*>(QCoreApplication::instance())) gui->setQuitOnLastWindowClosed(false);
  exit_ = [](int code) {
    std::fflush(nullptr);
    std::quick_exit(code);
  };

  // Idle: every event but the idle timer's own counts as activity and arms a
  // zero-time timer, which runs the idle work once after the burst.
  idleTimer_.setSingleShot(true);
  idleTimer_.setInterval(0);
  connect(&idleTimer_, &QTimer::timeout, this, &CApp::RunIdleHandlers);
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

CApp::~CApp() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
  controls::CLabel::SetLinkOpener(nullptr);
  controls::CResizablePropertySheet::SetHelpHandler(nullptr);
  if (GetNotifier() == &notifier_) SetNotifier(nullptr);
  if (GetUserCallbacks() == &callbacks_) SetUserCallbacks(nullptr);
  SetStringSource(nullptr);
  if (&::Settings() == &settings_) SetSettings(nullptr);
  if (&GetScanProgress() == &progress_) SetScanProgress(nullptr);
  if (g_App == this) g_App = nullptr;
}

QString CApp::ProgramPath(const QString& name) const { return QDir(programDir_).filePath(name); }

CApp::WindowKind CApp::KindOfMode(int mode) {
  if (mode == MODE_WIZARD) return WindowKind::WizardMode;
  if (mode == MODE_SIGNATURE_WIZARD) return WindowKind::SignatureWizard;
  return WindowKind::MainFrame;
}

int CApp::LoadSettings() { return settings_.Load(); }

int CApp::OnIdle() {
  settings_.Save();
  return 0;
}

bool CApp::eventFilter(QObject* watched, QEvent* event) {
  // Any event but the idle timer's own is activity: the idle work runs once the
  // loop has dealt with what is queued (a zero-time timer fires after that).
  if (watched != &idleTimer_) {
    if (!idleTimer_.isActive() && !shutDown_) idleTimer_.start();
  }
  return QObject::eventFilter(watched, event);
}

void CApp::RunIdleHandlers() {
  OnIdle();
  // A handler may add or remove handlers: walk by id over a snapshot.
  std::vector<int> ids;
  for (const IdleEntry& e : idleHandlers_) ids.push_back(e.id);
  for (int id : ids) {
    auto it = std::find_if(idleHandlers_.begin(), idleHandlers_.end(), [id](const IdleEntry& e) { return e.id == id; });
    if (it == idleHandlers_.end()) continue;
    if (it->owned && !it->owner) {
      idleHandlers_.erase(it);
      continue;
    }
    IdleHandler handler = it->handler;
    handler();
  }
}

int CApp::AddIdleHandler(IdleHandler handler, QObject* owner) {
  const int id = nextIdleId_++;
  idleHandlers_.push_back(IdleEntry{id, std::move(handler), owner, owner != nullptr});
  return id;
}

void CApp::RemoveIdleHandler(int id) {
  idleHandlers_.erase(
      std::remove_if(idleHandlers_.begin(), idleHandlers_.end(), [id](const IdleEntry& e) { return e.id == id; }),
      idleHandlers_.end());
}

void CApp::AddShutdownHook(std::function<void()> hook) { shutdownHooks_.push_back(std::move(hook)); }
void CApp::SetExitFunction(ExitFunction function) { exit_ = std::move(function); }

void CApp::SetTopWindowFactory(WindowKind kind, TopWindowFactory factory) { factories_[kind] = std::move(factory); }
void CApp::SetProgramSettingsHandler(SettingsSheetHandler handler) { settingsHandler_ = std::move(handler); }

int CApp::Run(int mode) {
  if (settings_.ShowSplash()) {
    splash_ = std::make_unique<Splash>();
    splash_->SetBitmap(controls::Bitmap(controls::kBitmapSplash));
    splash_->SetCloseOnClick(true);
    splash_->Start();
  }
  if (g_FileTypes) {
    g_FileTypes->LoadFileTypes();
    InstallSignaturePass(g_FileTypes);
  }
  SetUIMode(mode);
  if (!lastMade_ || !runLoop_) return -1;
  QCoreApplication::exec();
  return -1;
}

CApp::ModeWindow CApp::MakePlaceholder(int mode) {
  auto* window = new CPlaceholderWindow(mode);
  return ModeWindow{window, nullptr};
}

bool CApp::MakeModeWindow(int mode) {
  auto it = factories_.find(KindOfMode(mode));
  ModeWindow made = it != factories_.end() && it->second ? it->second(mode) : MakePlaceholder(mode);
  if (!made.window) return false;
  SetLogWindow(made.logWindow ? made.logWindow : made.window);
  SetTopWindow(made.window);
  // A modeless sheet that ends itself ends the program.
  if (made.window->metaObject()->indexOfSignal("sheetClosed()") >= 0)
    connect(made.window, SIGNAL(sheetClosed()), this, SLOT(OnTopSheetClosed()));
  SetMainCaption();
  made.window->showNormal();
  made.window->raise();
  made.window->activateWindow();
  return true;
}

int CApp::SetUIMode(int mode) {
  if (mode == -1) return settings_.UIMode();
  if (mode == 0) mode = settings_.UIMode();
  // The old window closes as a switch: its own close work runs, Exit() answers at
  // once, nothing asks about leaving and nothing quits.
  if (QPointer<QWidget> old = top_.data()) {
    switching_ = true;
    const bool closed = old->close();
    switching_ = false;
    if (closed && old) old->deleteLater();
  }
  settings_.SetUIMode(mode);
  lastMade_ = MakeModeWindow(mode);
  return -1;
}

void CApp::OnTopSheetClosed() {
  if (switching_ || quitting_) return;
  if (sender() != top_.data()) return;  // an old window, closed by a switch
  // The sheet has ended itself (its own close handlers ask Exit first when they
  // want the question): the program ends with it.
  Quit();
}

QWidget* CApp::SetTopWindow(QWidget* window) {
  if (window) {
    top_ = window;
    notifier_.SetTopWindow(window);
    if (window->isVisible()) {
      window->raise();
      window->activateWindow();
    }
  }
  return top_;
}

std::u16string CApp::SetRegistryKey(std::u16string_view path) {
  if (!path.empty()) registryKey_ = std::u16string(path.substr(0, 1023));
  return registryKey_;
}

QString CApp::GetTitle() {
  title_ = QStringLiteral("Vandrel Pro");
  return title_;
}

void CApp::SetMainCaption() {
  if (top_) top_->setWindowTitle(GetTitle());
}

QObject* CApp::SetLogWindow(QObject* window) {
  if (window) {
    logWindow_ = window;
    notifier_.SetLogWindow(window);
  }
  return logWindow_;
}

QMenuBar* CApp::SetMainMenu(QMenuBar* menu) {
  if (menu) mainMenu_ = menu;
  return mainMenu_;
}

void CApp::ShowAbout() {
  CAboutDlg dialog(QApplication::activeWindow());
  dialog.exec();
}

int CApp::SettingsPageForCommand(int commandId) {
  switch (commandId) {
    case 32798: return 0;
    case 32802: return 0;
    case 32799: return 1;
    case 32829: return 2;
    case 32810: return 3;
    case 32800: return 4;
    case 32811: return 5;
    case 32801: return 6;
    default: return 0;
  }
}

void CApp::ShowProgramSettings(int commandId) {
  if (settingsHandler_) settingsHandler_(QApplication::activeWindow(), SettingsPageForCommand(commandId));
}

bool CApp::ExploreDestinationFolder() {
  const QString folder = app::ToQString(settings_.DestinationFolder());
  return callbacks_.OpenUrl(QUrl::fromLocalFile(folder));
}

int CApp::OnHelpCommand(int commandId) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  switch (commandId) {
    case ID_HELP_GUIDE:
      CHelpWindow::ShowTopic(QString::fromLatin1(CHelpWindow::kQuickStartTopic));
      break;
    case ID_HELP_SEARCH:
      CHelpWindow::ShowSearch();
      break;
    case ID_HELP_WEB_SITE:
      callbacks_.OpenUrl(QUrl(BuildEventUrl(app::MakerPage(app::kProductsPath), QStringLiteral("OnHelp"))));
      break;
    case ID_HELP_SUPPORT:
      callbacks_.OpenUrl(QUrl(BuildEventUrl(app::MakerPage(app::kSupportPath), QStringLiteral("OnHelp"))));
      break;
    case ID_HELP_TESTIMONIALS:
      callbacks_.OpenUrl(QUrl(BuildEventUrl(app::MakerPage(app::kTestimonialsPath), QStringLiteral("OnHelp"))));
      break;
    default:  // 57670, 0 and anything else: the contents
      CHelpWindow::ShowContents();
      break;
  }
  QApplication::restoreOverrideCursor();
  return 0;
}

int CApp::Exit() { return Exit(true); }

bool CApp::AskExit() {
  if (switching_ || !settings_.ConfirmExit()) return true;
  return app::ShowMessageBox(QApplication::activeWindow(), LangString(158), LangString(157), Buttons::YesNo,
                             MessageIcon::Question) == Answer::Yes;
}

int CApp::Exit(bool ask) {
  if (switching_) {
    settings_.Save();
    return 1;
  }
  if (ask && !AskExit()) return 0;
  Quit();
  return 1;
}

void CApp::Quit() {
  settings_.Save();
  quitting_ = true;
  if (settings_.ExitProcessOnQuit()) {
    EndProcess(0);
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

void CApp::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  idleTimer_.stop();
  for (auto it = shutdownHooks_.rbegin(); it != shutdownHooks_.rend(); ++it) (*it)();
  if (g_Computer) {
    // The recovery jobs: a stop answers an open question; each thread is joined.
    for (const std::shared_ptr<CRecovery>& job : {g_Computer->RecoveryJob(), g_Computer->TryOpenJob()}) {
      if (!job) continue;
      job->StopRecovery();
      job->Join();
    }
    std::shared_ptr<CVolume> scanned = g_Computer->ScannedVolume();
    if (scanned && scanned->HasAnalysisThread()) g_Computer->FinishAnalysis(scanned, true);
    progress_.running.store(0);
    CVolume::JoinAnalysisThreads();
    g_Computer->Volumes().Shutdown();
  }
  settings_.Save();
  if (g_Log) g_Log->CloseFile();
}

void CApp::EndProcess(int code) {
  Shutdown();
  if (exit_) exit_(code);
}
