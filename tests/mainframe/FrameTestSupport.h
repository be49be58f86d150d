#pragma once
// What the main window's tests share: the program's objects as start-up makes
// them (the application object with a private configuration folder, the computer
// object listing a fake device tree, the main window's factory registered), and
// helpers to wait in the event loop.

#include <QApplication>
#include <QPointer>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>

#include "app/App.h"
#include "engine/LocalComputer.h"
#include "mainframe/MainFrame.h"
#include "mainframe/MainframeRegistration.h"
#include "support/FakeBlockTree.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace test {

// Runs the event loop until `done` holds; false after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  return QTest::qWaitFor(done, timeoutMs);
}

class FrameWorld {
 public:
  // `watch`: the device watch's event source (null: none runs).
  explicit FrameWorld(std::unique_ptr<platform::IDatagramSource> watch = nullptr) {
    app = std::make_unique<CApp>(QString::fromStdString(programDir.path()));
    app->LoadSettings();
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
  bool Logged(const std::u16string& text) const {
    for (const auto& l : computer->GetLog().Lines())
      if (l.find(text) != std::u16string::npos) return true;
    return false;
  }
  int LogCount(const std::u16string& text) const {
    int n = 0;
    for (const auto& l : computer->GetLog().Lines()) n += l.find(text) != std::u16string::npos;
    return n;
  }

  ScopedConfig config;
  TempDir programDir;
  FakeBlockTree tree;
  std::unique_ptr<CApp> app;
  std::unique_ptr<CLocalComputer> computer;
  std::vector<int> exitCodes;
};

}  // namespace test
