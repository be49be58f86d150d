#pragma once
// What the main window's tests share: the program's objects as start-up makes
// them (the application object with a private configuration folder, the computer
// object listing a fake device tree, the main window's factory registered), a
// host that records what the frame hands on, and helpers that drive the menus,
// the toolbar and the event loop.

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/App.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/FrameActions.h"
#include "mainframe/frame/FrameHost.h"
#include "mainframe/frame/MainFrame.h"
#include "mainframe/frame/MainframeRegistration.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "support/FakeBlockTree.h"
#include "support/Fixtures.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace test {

// Runs the event loop until `done` holds; false after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  return QTest::qWaitFor(done, timeoutMs);
}

class FrameWorld {
 public:
  // `watch`: the device watch's event source (null: none runs). Unless
  // `firstIdle`, the first idle of the run (a drive-list refresh) is left out.
  // `languageFile`: the text of a language file "Deutsch.lng" put beside the
  // program first.
  explicit FrameWorld(std::unique_ptr<platform::IDatagramSource> watch = nullptr, bool firstIdle = false,
                      const std::string& languageFile = {}) {
    if (!languageFile.empty()) {
      std::filesystem::create_directories(programDir / "Languages");
      std::ofstream(programDir / "Languages/Deutsch.lng") << languageFile;
    }
    app = std::make_unique<CApp>(QString::fromStdString(programDir.path()));
    app->LoadSettings();
    if (!firstIdle) app->Settings().SetLoaded(0);
    app->SetRunEventLoop(false);
    app->SetExitFunction([this](int code) { exitCodes.push_back(code); });
    computer = std::make_unique<CLocalComputer>();
    computer->GetLog().SetTimeStamps(false);
    computer->Volumes().SetSources(tree.Tree());
    // The frame's own start of the device watch then does nothing.
    computer->StartDriveWatch(std::move(watch), std::chrono::milliseconds(0), 50);
    RegisterMainframe(*app);
  }
  ~FrameWorld() {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (!w->parentWidget()) windows.append(w);
    for (auto& w : windows) delete w.data();
    computer.reset();
    app.reset();
  }
  FrameWorld(const FrameWorld&) = delete;
  FrameWorld& operator=(const FrameWorld&) = delete;

  // The main window of a mode, made as a mode switch makes it.
  CMainFrame* Open(int mode) {
    app->SetUIMode(mode);
    auto* frame = qobject_cast<CMainFrame*>(app->TopWindow());
    if (frame) (void)QTest::qWaitForWindowExposed(frame, 2000);
    return frame;
  }
  // Runs the idle work once the loop is quiet.
  void Idle() {
    QApplication::processEvents();
    app->RunIdleHandlers();
    QApplication::processEvents();
  }
  int LogCount(const std::u16string& text) const {
    int n = 0;
    for (const auto& l : computer->GetLog().Lines()) n += l.find(text) != std::u16string::npos;
    return n;
  }
  bool Logged(const std::u16string& text) const { return LogCount(text) > 0; }

  ScopedConfig config;
  TempDir programDir;
  FakeBlockTree tree;
  std::unique_ptr<CApp> app;
  std::unique_ptr<CLocalComputer> computer;
  std::vector<int> exitCodes;
};

// Records what the frame hands on instead of opening windows.
class RecordingHost : public mainframe::IFrameHost {
 public:
  RecordingHost() { mainframe::SetFrameHost(this); }
  ~RecordingHost() override { mainframe::SetFrameHost(nullptr); }
  void ShowProgramSettings(int id) override {
    calls << QStringLiteral("settings %1 page %2").arg(id).arg(CApp::SettingsPageForCommand(id));
  }
  void SetUIMode(int mode) override { calls << QStringLiteral("mode %1").arg(mode); }
  void OnHelpCommand(int id) override { calls << QStringLiteral("help %1").arg(id); }
  void ShowAbout() override { calls << QStringLiteral("about"); }
  void ShowLogFile() override { calls << QStringLiteral("log file"); }
  void ShowFilters(QWidget*) override { calls << QStringLiteral("filters"); }
  bool ShowVirtualVolume(QWidget*) override {
    calls << QStringLiteral("virtual volume");
    return false;
  }
  QStringList calls;
};

// Opens the menu that holds command `id` with a click on the menu bar and clicks
// the item; false when the item is missing, disabled or the menu did not open.
inline bool ClickMenuItem(CMainFrame* frame, int id) {
  QAction* action = frame->Actions()->MenuAction(id);
  if (!action || !action->isEnabled()) return false;
  auto* menu = qobject_cast<QMenu*>(action->parent());
  QMenuBar* bar = frame->Actions()->MenuBar();
  if (!menu) return false;
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
  if (!QTest::qWaitFor([&] { return menu->isVisible(); }, 3000)) return false;
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  (void)QTest::qWaitFor([&] { return !menu->isVisible(); }, 3000);
  QApplication::processEvents();
  return true;
}

inline QToolButton* ToolButton(CMainFrame* frame, int id) {
  QAction* action = frame->Actions()->ToolbarAction(id);
  return action ? qobject_cast<QToolButton*>(frame->Actions()->ToolBar()->widgetForAction(action)) : nullptr;
}

inline bool ClickToolButton(CMainFrame* frame, int id) {
  QToolButton* button = ToolButton(frame, id);
  if (!button || !button->isEnabled() || !button->isVisible()) return false;
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  return true;
}

// A sector pass that works until the gate opens (or the scan is stopped), at 42 %
// of its range; put in place by Install, taken out (the gate opened and the
// threads joined) when it goes.
struct SectorGate {
  std::atomic<bool> open{false};
  std::atomic<int> entered{0};
  void Install() {
    CVolume::SetSectorPass([this](CVolume&, ScanProgress& progress, const AppSettings&) {
      entered.fetch_add(1);
      progress.total.store(100000);
      progress.current.store(42000);
      while (!open.load() && progress.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  }
  ~SectorGate() {
    open.store(true);
    CVolume::JoinAnalysisThreads();
    CVolume::SetSectorPass(nullptr);
  }
};

// Opens a fixture image, selects its node and analyses it as the command does;
// returns once the analysis has ended and its messages are handled (null when it
// could not be opened or did not end).
inline std::shared_ptr<CVolume> AnalyseImage(FrameWorld& world, CMainFrame* frame, const std::string& image) {
  auto volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(FixtureImage(image)));
  if (!volume) return nullptr;
  CVolumeExploreView* explorer = frame->ExploreView();
  explorer->RefreshTree();
  explorer->SelectDeviceNode(volume->DeviceNodeId());
  explorer->OnCommand(32774);  // Start Analyzing
  if (!WaitUntil([&] { return !GetScanProgress().IsRunning() && !volume->HasAnalysisThread(); }, 120000))
    return nullptr;
  CVolume::JoinAnalysisThreads();
  QCoreApplication::processEvents();
  explorer->FlushFoundObjects();
  explorer->OnFrameTimer(250);
  return volume;
}

}  // namespace test
