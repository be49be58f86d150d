#pragma once
// The application object (g_App): made once by start-up (app/Startup.h) and never
// destroyed before the process ends (tests make and destroy their own). It owns the
// settings record, the language tables, the run-state block, the engine's notifier
// and question answerer, knows the user-interface mode and its one top window, and
// carries the program-wide commands any top window forwards to it: switch mode,
// About, program settings, help and web links, the destination folder, exit.
//
// How the libraries above this one plug in (each registers at start-up through the
// one registration function it provides, called by the executable's main):
//   - top windows: SetTopWindowFactory(kind, factory) for the wizard-mode sheet,
//     the New Signature Wizard and the main frame; the factory makes the window
//     (unshown) and says which object takes log lines. Until one is registered a
//     placeholder window stands in.
//   - the program settings sheet: SetProgramSettingsHandler.
//   - the engine's questions: Callbacks().SetQuestionHandler(kind, handler).
//   - dialogs that follow one job: Notifier().NewReceiverKey/RegisterReceiver.
//   - idle work (command states): AddIdleHandler(handler, owner); handlers run
//     once the event loop has dealt with a burst of events (a zero-time timer,
//     armed again by the next event after it ran), after the application's own
//     idle save.
//   - work to stop at exit (recovery, image job): AddShutdownHook.
//
// A top window's close: its closeEvent runs its own close work (stop the analysis,
// the temporary-files question), then asks Exit(): 0 means stay open (ignore the
// event). During a mode switch Exit() answers 1 at once without the question and
// without quitting, so the switch closes the old window and makes the new one.
// Only Exit() (or a top sheet's sheetClosed()) ends the program; ending stops and
// joins the workers, closes the log file and leaves without static destruction.
// A top sheet (a window with the signal sheetClosed()) that ends itself ends the
// program without a further question: its close handlers call Exit() first where
// the question belongs. The sheets' Help buttons reach OnHelpCommand.
//
// GUI thread only, except the members the engine reaches through its own
// interfaces (string source, notifier, callbacks).

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Languages.h"
#include "app/UiCallbacks.h"
#include "app/UiNotifier.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"

class QMenuBar;
class Splash;
class QWidget;

// The dynamic property of a page that names its help topic ("files/x.html#a").
inline constexpr const char* kHelpTopicProperty = "helpTopic";

class CApp : public QObject {
  Q_OBJECT

 public:
  // The user-interface modes; the numbers are also the commands that switch.
  enum Mode : int {
    MODE_SIGNATURE_WIZARD = 100,
    MODE_MAIN_LEGEND = 32839,
    MODE_WIZARD = 32840,
    MODE_MAIN_DATA_VIEWER = 32841,
    MODE_MAIN_DATA_VIEWER_2 = 32842,
  };
  enum class WindowKind { WizardMode, SignatureWizard, MainFrame };
  static WindowKind KindOfMode(int mode);
  // Whether a main-frame mode shows the data viewer below the explorer view (else
  // the legend).
  static bool ModeShowsDataViewer(int mode) { return mode == MODE_MAIN_DATA_VIEWER || mode == MODE_MAIN_DATA_VIEWER_2; }

  struct ModeWindow {
    QWidget* window = nullptr;      // made unshown, without owner; null: not made
    QObject* logWindow = nullptr;   // takes WM_LOG_LINE; null: the window itself
  };
  using TopWindowFactory = std::function<ModeWindow(int mode)>;
  using SettingsSheetHandler = std::function<void(QWidget* owner, int page)>;
  using IdleHandler = std::function<void()>;
  using ExitFunction = std::function<void(int code)>;

  // `programDir` is where media/, Languages/ and the help files lie (the
  // executable's folder when empty). Makes this g_App and installs the settings
  // record, run-state block, string source, notifier and callbacks.
  explicit CApp(const QString& programDir = {});
  ~CApp() override;
  CApp(const CApp&) = delete;
  CApp& operator=(const CApp&) = delete;

  AppSettings& Settings() { return settings_; }
  CLanguages& Languages() { return *languages_; }
  ScanProgress& Progress() { return progress_; }
  CUiNotifier& Notifier() { return notifier_; }
  CUiCallbacks& Callbacks() { return callbacks_; }
  QString ProgramDir() const { return programDir_; }
  // A file or folder beside the program ("media", "Languages", "help").
  QString ProgramPath(const QString& name) const;

  int LoadSettings();
  // Saves the settings record when it changed; 0.
  int OnIdle();
  // Shows the splash when the settings ask for it, loads the file-type database
  // (and installs the signature pass over it), makes the first mode's window, then
  // runs the event loop until the program quits; -1.
  int Run(int mode);
  // -1: the current mode, nothing changes. 0: the current mode made anew. Else
  // closes the old top window (as a switch: no exit question, no quit), stores the
  // mode, makes, titles and shows the mode's window. Returns -1.
  int SetUIMode(int mode);
  // Whether Run runs the event loop (tests make the window and return).
  void SetRunEventLoop(bool run) { runLoop_ = run; }
  // Whether the last SetUIMode made its window.
  bool LastModeWindowMade() const { return lastMade_; }
  QWidget* SetTopWindow(QWidget* window = nullptr);
  QWidget* TopWindow() const { return top_; }
  std::u16string SetRegistryKey(std::u16string_view path = {});
  QString GetTitle();
  // The top window's caption = GetTitle().
  void SetMainCaption();
  QObject* SetLogWindow(QObject* window = nullptr);
  // The main window's menu bar, kept for the views' context menus.
  QMenuBar* SetMainMenu(QMenuBar* menu = nullptr);

  void ShowAbout();
  void ShowProgramSettings(int commandId);
  static int SettingsPageForCommand(int commandId);
  bool ExploreDestinationFolder();
  // Help and web commands (help contents, topic, search, the maker's pages).
  int OnHelpCommand(int commandId);
  // Asks (when "Confirm application shutdown" is on), saves the settings and ends
  // the program; 1 when quitting, 0 when the user declined. Inside a mode switch: 1
  // at once, nothing asked, nothing ended.
  int Exit();
  // The same with the question left out when `ask` is false: the main window asks
  // it first in its close (AskExit), before it stops anything.
  int Exit(bool ask);
  // The exit question alone: true for Yes, when the setting is off, and inside a
  // mode switch (nothing is asked then).
  bool AskExit();
  bool IsSwitching() const { return switching_; }
  bool IsQuitting() const { return quitting_; }
  // The start-up splash, once Run has made it.
  Splash* GetSplash() const { return splash_.get(); }

  // ---- Registration ---------------------------------------------------------------
  void SetTopWindowFactory(WindowKind kind, TopWindowFactory factory);
  void SetProgramSettingsHandler(SettingsSheetHandler handler);
  // Returns an id for RemoveIdleHandler; the handler goes with its owner.
  int AddIdleHandler(IdleHandler handler, QObject* owner = nullptr);
  void RemoveIdleHandler(int id);
  // Run at the end, last added first, before the engine's own threads are stopped.
  void AddShutdownHook(std::function<void()> hook);
  // How the process ends (std::quick_exit unless a test replaces it).
  void SetExitFunction(ExitFunction function);

  // Runs the idle work now (the idle timer does this by itself).
  void RunIdleHandlers();
  // Stops and joins every worker (shutdown hooks, the analysis forced, the drive
  // list's threads), saves the settings and closes the log file. Once.
  void Shutdown();
  // Shutdown, then the exit function with `code` (which does not return unless a
  // test replaced it).
  void EndProcess(int code);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void OnTopSheetClosed();

 private:
  bool MakeModeWindow(int mode);
  // Saves the settings and ends the program (the end of Exit, without the question).
  void Quit();
  ModeWindow MakePlaceholder(int mode);

  AppSettings settings_;
  std::unique_ptr<CLanguages> languages_;
  ScanProgress progress_;
  CUiNotifier notifier_;
  CUiCallbacks callbacks_;
  QString programDir_;
  QPointer<QWidget> top_;
  std::u16string registryKey_;
  QString title_;
  QPointer<QObject> logWindow_;
  QPointer<QMenuBar> mainMenu_;
  std::unique_ptr<Splash> splash_;
  bool switching_ = false;
  bool quitting_ = false;
  bool shutDown_ = false;
  bool lastMade_ = false;
  bool runLoop_ = true;

  std::map<WindowKind, TopWindowFactory> factories_;
  SettingsSheetHandler settingsHandler_;
  struct IdleEntry {
    int id;
    IdleHandler handler;
    QPointer<QObject> owner;
    bool owned;
  };
  std::vector<IdleEntry> idleHandlers_;
  int nextIdleId_ = 1;
  QTimer idleTimer_;
  std::vector<std::function<void()>> shutdownHooks_;
  ExitFunction exit_;
};

extern CApp* g_App;

// Asks a window to close, as a posted request (it runs its close work when the
// event loop gets to it).
void PostCloseToWindow(QWidget* window);

// The text of a string id in the current language, as a QString.
QString LangString(std::uint32_t id);
