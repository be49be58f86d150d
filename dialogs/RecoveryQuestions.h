#pragma once
// The recovery's questions (search/Recovery.h), answered on the GUI thread while
// the recovery's thread waits:
//   - QuestionKind::ProbableFileSize: the probable file size dialog, filled from
//     the question alone; Ok with [mode, scope, custom bytes], Ignore for "Skip
//     File", Cancel otherwise. A question withdrawn by a stop closes as Cancel.
//   - QuestionKind::DestinationOnSource: the warning box (caption "Warning!", OK
//     and Cancel); OK opens the folder picker "Select destination folder for
//     recovered files" and the chosen folder is the reply's text (empty when the
//     picker was cancelled: the recovery asks again).
//   - QuestionKind::DestinationUnknown: Yes or No, the folder named.
// Register installs them with the program's callbacks at start-up.
//
// GUI thread only.

#include "engine/records/UserCallbacks.h"

class CUiCallbacks;
class QWidget;

class CRecoveryQuestions {
 public:
  static constexpr const char* kPickerTitle = "Select destination folder for recovered files";

  static void Register(CUiCallbacks& callbacks);

  static Reply AskProbableFileSize(const Question& question, QWidget* owner);
  static Reply AskDestinationOnSource(const Question& question, QWidget* owner);
  static Reply AskDestinationUnknown(const Question& question, QWidget* owner);
};
