#pragma once
// The recovery commands as the explorer views carry them out, over the program's
// two jobs (search/RecoveryJobs.h):
//   - OnRecover (command 32787): the recovery options dialog; its OK posts
//     WM_START_RECOVERY to the top window.
//   - StartRecovery (WM_START_RECOVERY, after the explorer has collected its
//     selection): the selection into the recovery job, the job's thread, then the
//     progress dialog on it. An empty selection logs string 183, says it in an
//     error box and opens nothing else (ReportEmptySelection).
//   - StartTryOpen (command 32809, once the "try to open" warning has been
//     passed): the same on the "try to open" job, the progress dialog closing by
//     itself when the copy ends.
//   - SetNewSize (command 32831): the size question for the first selected file
//     (answered by the probable file size dialog, dialogs/RecoveryQuestions.h),
//     its choice applied to every selected file: each gets the size the chosen
//     mode gives it (a mode that gives none leaves the file's size alone).
// Neither job starts while a thread of either is still ending (they share the
// run flag): the user is told so (and the log), and nothing starts.
//
// Each selected object comes with the volume whose store holds it. GUI thread.

#include <vector>

#include "search/Recovery.h"

class QWidget;

class CRecoveryCommands {
 public:
  using Selection = std::vector<CRecovery::SelectedObject>;
  // Objects of one volume's store as a selection.
  static Selection Of(const std::shared_ptr<CVolume>& volume, const std::vector<FoundObject*>& objects);

  // The text shown when a job is asked to start while a thread still ends.
  static const char16_t* const kStillEndingText;

  // The options dialog's result: 1 when the recovery was requested.
  static int OnRecover(QWidget* owner);
  // The progress dialog's result (1, 2 or 0), or -1 when nothing started.
  static int StartRecovery(QWidget* owner, const Selection& selection);
  static int StartTryOpen(QWidget* owner, const Selection& selection);
  // True when the dialog's choice was applied to the selection.
  static bool SetNewSize(const Selection& selection);

  // "Recovery list is empty!": logged at error level and shown in an error box.
  static void ReportEmptySelection(QWidget* owner);

  // Whether a thread of either job is alive; when one is, says so (a message and
  // the log).
  static bool RefuseWhileAJobEnds(QWidget* owner);
};
