#include "mainframe/frame/CloseSequence.h"

namespace mainframe {

CloseResult RunCloseSequence(ICloseSteps& steps, bool confirmExit, bool modeSwitch) {
  bool confirmed = false;
  if (confirmExit && !modeSwitch) {
    if (!steps.AskExit()) return CloseResult::Keep;
    confirmed = true;
  }
  if (!steps.StopAnalysis(confirmed)) return CloseResult::Keep;
  steps.DeleteTemporaryFiles();
  return steps.Quit(modeSwitch) ? CloseResult::Close : CloseResult::Keep;
}

}  // namespace mainframe
