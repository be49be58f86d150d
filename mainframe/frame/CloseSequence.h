#pragma once
// The main window's close, in the order a user can trust: with "Confirm
// application shutdown" on, the exit question comes before anything else and No
// changes nothing (window, analysis and temporary files stay); after Yes a running
// analysis is stopped without a second question. Without the setting the stop may
// ask its own question (string 170), and No there keeps the window and the scan.
// Then the temporary files of "try to open" (string 200, either answer goes on),
// then the quit. A mode switch closes the window without the exit question and
// without quitting the program.
//
// The steps are an interface so that tests script them and the frame carries
// them out; everything runs on the user-interface thread.

namespace mainframe {

class ICloseSteps {
 public:
  virtual ~ICloseSteps() = default;
  // String 158 "Are you sure you want to exit the application?", caption 157: true
  // for Yes.
  virtual bool AskExit() = 0;
  // Stops the analysis when one runs (`force`: without asking); false when the user
  // declined, and the analysis goes on.
  virtual bool StopAnalysis(bool force) = 0;
  // Asks string 200 when "try to open" left temporary files; Yes deletes them.
  virtual void DeleteTemporaryFiles() = 0;
  // Ends the program (a close) or lets the old window of a mode switch go; true
  // when the window is to close.
  virtual bool Quit(bool modeSwitch) = 0;
};

enum class CloseResult { Keep, Close };

// `confirmExit`: AppSettings::ConfirmExit is set; `modeSwitch`: the close comes
// from a switch to another mode.
CloseResult RunCloseSequence(ICloseSteps& steps, bool confirmExit, bool modeSwitch);

}  // namespace mainframe
