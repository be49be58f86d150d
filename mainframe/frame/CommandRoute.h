#pragma once
// Where a command of the main window goes. The frame handles the commands of its
// own table; every other id goes on to the explorer view (the Disk and File
// commands), whose own table decides.

namespace mainframe {

enum class FrameRoute {
  Explorer,         // not the frame's: the explorer view's chain
  VirtualVolume,    // 32784
  ViewToolBar,      // 59392
  ViewStatusBar,    // 59393
  ToggleLegend,     // 32794
  Filters,          // 32803
  ShowLogFile,      // 134
  ViewSearch,       // 32791
  ProgramSettings,  // the Options menu: CApp::ShowProgramSettings(id)
  SetUIMode,        // 32839..32842: CApp::SetUIMode(id)
  Help,             // help and web commands: CApp::OnHelpCommand(id)
  About,            // 57664
  Exit,             // 57665: a close request to the frame itself
  PaneClose,        // 57682 from a pane's close button
};

FrameRoute RouteCommand(int id);

}  // namespace mainframe
