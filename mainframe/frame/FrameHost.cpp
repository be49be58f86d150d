#include "mainframe/frame/FrameHost.h"

#include "app/App.h"
#include "dialogs/FiltersView.h"
#include "dialogs/VolumeVirtualDlg.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/LocalComputer.h"

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

// The virtual drive dialog for the drive of the tree's selected device node (the
// computer's selected volume); nothing without one.
bool CAppFrameHost::ShowVirtualVolume(QWidget* owner) {
  std::shared_ptr<CVolume> volume = g_Computer ? g_Computer->SelectedVolume() : nullptr;
  if (!volume || volume == g_Computer->MyComputer() || volume == g_Computer->RecycleBin()) return false;
  CVolumeVirtualDlg dialog(std::move(volume), owner);
  dialog.exec();
  return true;
}

namespace {
CAppFrameHost g_defaultHost;
IFrameHost* g_host = nullptr;
}  // namespace

IFrameHost& FrameHost() { return g_host ? *g_host : g_defaultHost; }
void SetFrameHost(IFrameHost* host) { g_host = host; }

}  // namespace mainframe
