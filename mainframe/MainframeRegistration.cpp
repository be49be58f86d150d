#include "mainframe/MainframeRegistration.h"

#include "app/App.h"
#include "mainframe/LogView.h"
#include "mainframe/MainFrame.h"

void RegisterMainframe(CApp& app) {
  app.SetTopWindowFactory(CApp::WindowKind::MainFrame, [](int mode) {
    auto* frame = new CMainFrame(mode);
    return CApp::ModeWindow{frame, frame->LogWindow()};
  });
}
