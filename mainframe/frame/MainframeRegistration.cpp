#include "mainframe/frame/MainframeRegistration.h"

#include "app/App.h"
#include "mainframe/frame/MainFrame.h"
#include "mainframe/panes/LogView.h"

void RegisterMainframe(CApp& app) {
  app.SetTopWindowFactory(CApp::WindowKind::MainFrame, [](int mode) {
    auto* frame = new CMainFrame(mode);
    return CApp::ModeWindow{frame, frame->LogWindow()};
  });
}
