#pragma once
// The engine's questions and messages (engine/UserCallbacks.h) served by the user
// interface. A question is always answered on the GUI thread: asked from a worker,
// it is queued there and the worker waits on its future (a stop answers Cancel on
// the worker's side, engine/UserCallbacks.cpp); asked on the GUI thread, it is
// answered at once.
//
// Each QuestionKind has a handler. Without one, a message box (app/MessageBox.h)
// with the question's text, caption, buttons and icon answers it. Later dialogs
// register theirs at start-up, e.g. the probable-size dialog:
//
//   g_App->Callbacks().SetQuestionHandler(QuestionKind::ProbableFileSize,
//       [](const Question& q, QWidget* owner) { CProbableSizeDlg dlg(q, owner); return dlg.Ask(); });
//
// OpenWithDesktop opens through QDesktopServices; tests replace it with
// SetOpenHandler. The application object owns the one instance and installs it
// (SetUserCallbacks) at start-up.

#include <QObject>
#include <QUrl>

#include <functional>
#include <map>

#include "engine/UserCallbacks.h"

class QWidget;

class CUiCallbacks : public QObject, public IUserCallbacks {
  Q_OBJECT

 public:
  using QuestionHandler = std::function<Reply(const Question& question, QWidget* owner)>;
  using OpenHandler = std::function<bool(const QUrl& url)>;

  explicit CUiCallbacks(QObject* parent = nullptr);
  ~CUiCallbacks() override;

  // GUI thread. A null handler restores the message box for that kind.
  void SetQuestionHandler(QuestionKind kind, QuestionHandler handler);
  void SetOpenHandler(OpenHandler handler);

  // IUserCallbacks: any thread.
  void Ask(const Question& question, std::promise<Reply> reply) override;
  void ShowMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon) override;
  // On the GUI thread the result is the opener's; from a worker the opening is
  // queued (a worker never waits for the interface) and the result is true.
  bool OpenWithDesktop(const std::string& path) override;

  // Opens an address (web page, "mailto:" text, folder) through the open handler.
  bool OpenUrl(const QUrl& url);

  // What a question is answered with on the GUI thread (its handler or the box).
  Reply AnswerNow(const Question& question);

 private:
  static bool OnGuiThread();
  std::map<QuestionKind, QuestionHandler> handlers_;
  OpenHandler open_;
};
