#pragma once
// What the main window hands on to the rest of the program: the program-wide
// commands of the application object (settings sheet, mode switch, help and web
// links, About), the log file, and the dialogs of other libraries (filters,
// virtual drive). The default host forwards to g_App and the log; tests install
// one that records the calls instead of opening windows.
//
// GUI thread only.

class QWidget;

namespace mainframe {

class IFrameHost {
 public:
  virtual ~IFrameHost() = default;
  virtual void ShowProgramSettings(int commandId) = 0;
  virtual void SetUIMode(int mode) = 0;
  virtual void OnHelpCommand(int commandId) = 0;
  virtual void ShowAbout() = 0;
  virtual void ShowLogFile() = 0;
  // 32803: the filters sheet, modal over `owner` (caption string 141 "Filters").
  virtual void ShowFilters(QWidget* owner) = 0;
  // 32784: the virtual drive dialog for the tree's selected found object; true
  // when it ran (the drive tree is then rebuilt).
  virtual bool ShowVirtualVolume(QWidget* owner) = 0;
};

// Forwards to the application object (CApp) and the program log.
class CAppFrameHost : public IFrameHost {
 public:
  void ShowProgramSettings(int commandId) override;
  void SetUIMode(int mode) override;
  void OnHelpCommand(int commandId) override;
  void ShowAbout() override;
  void ShowLogFile() override;
  void ShowFilters(QWidget* owner) override;
  bool ShowVirtualVolume(QWidget* owner) override;
};

// The host every new main window takes (the default host unless set; tests).
IFrameHost& FrameHost();
void SetFrameHost(IFrameHost* host);

}  // namespace mainframe
