#include "dialogs/RecoveryQuestions.h"

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "app/UiCallbacks.h"
#include "dialogs/FolderPicker.h"
#include "dialogs/ProbableFileSizeDlg.h"

void CRecoveryQuestions::Register(CUiCallbacks& callbacks) {
  callbacks.SetQuestionHandler(QuestionKind::ProbableFileSize, &CRecoveryQuestions::AskProbableFileSize);
  callbacks.SetQuestionHandler(QuestionKind::DestinationOnSource, &CRecoveryQuestions::AskDestinationOnSource);
  callbacks.SetQuestionHandler(QuestionKind::DestinationUnknown, &CRecoveryQuestions::AskDestinationUnknown);
}

Reply CRecoveryQuestions::AskProbableFileSize(const Question& question, QWidget* owner) {
  CProbableFileSizeDlg dialog(question, owner);
  return dialog.Ask();
}

Reply CRecoveryQuestions::AskDestinationOnSource(const Question& question, QWidget* owner) {
  Reply reply;
  reply.answer = app::ShowMessageBox(owner, app::ToQString(question.text), app::ToQString(question.caption),
                                     Buttons::OkCancel, MessageIcon::Error);
  if (reply.answer != Answer::Ok || question.Withdrawn()) {
    reply.answer = Answer::Cancel;
    return reply;
  }
  const QString chosen =
      CFolderPicker::Pick(owner, QString::fromLatin1(kPickerTitle), app::ToQString(question.detail));
  reply.text = app::ToU16(chosen);
  return reply;
}

Reply CRecoveryQuestions::AskDestinationUnknown(const Question& question, QWidget* owner) {
  QString text = app::ToQString(question.text);
  if (!question.detail.empty()) text += QStringLiteral("\n\n") + app::ToQString(question.detail);
  Reply reply;
  reply.answer = app::ShowMessageBox(owner, text, app::ToQString(question.caption), Buttons::YesNo,
                                     question.icon);
  if (reply.answer != Answer::Yes) reply.answer = Answer::No;
  return reply;
}
