#include "mainframe/FrameHost.h"

#include "app/App.h"
#include "engine/ProgramLog.h"

namespace mainframe {

void CAppFrameHost::ShowProgramSettings(int commandId) {
  if (g_App) g_App->ShowProgramSettings(commandId);
}

void CAppFrameHost::SetUIMode(int mode) {
  if (g_App) g_App->SetUIMode(mode);
}

void CAppFrameHost::OnHelpCommand(int commandId) {
  if (g_App) g_App->OnHelpCommand(commandId);
}

void CAppFrameHost::ShowAbout() {
  if (g_App) g_App->ShowAbout();
}

void CAppFrameHost::ShowLogFile() { Log().ShowLogFile(); }

// The filters sheet and the virtual drive dialog belong to the dialogs library,
// which registers them here once it exists.
void CAppFrameHost::ShowFilters(QWidget* /*owner*/) {}

bool CAppFrameHost::ShowVirtualVolume(QWidget* /*owner*/) { return false; }

namespace {
CAppFrameHost g_defaultHost;
IFrameHost* g_host = nullptr;
}  // namespace

IFrameHost& FrameHost() { return g_host ? *g_host : g_defaultHost; }
void SetFrameHost(IFrameHost* host) { g_host = host; }

}  // namespace mainframe
