#include "mainframe/FrameHost.h"

#include "app/App.h"
#include "dialogs/FiltersView.h"
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

// The filters sheet; the views hear of the change from it (CFiltersView::Changes).
void CAppFrameHost::ShowFilters(QWidget* owner) { CFiltersView::Show(owner); }

// The virtual drive dialog belongs to the dialogs library, which registers it here
// once it exists.

bool CAppFrameHost::ShowVirtualVolume(QWidget* /*owner*/) { return false; }

namespace {
CAppFrameHost g_defaultHost;
IFrameHost* g_host = nullptr;
}  // namespace

IFrameHost& FrameHost() { return g_host ? *g_host : g_defaultHost; }
void SetFrameHost(IFrameHost* host) { g_host = host; }

}  // namespace mainframe
