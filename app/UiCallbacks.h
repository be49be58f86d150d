#pragma once
// The engine's questions and messages (engine/records/UserCallbacks.h) served by the user
// interface. A question is always answered on the GUI thread: asked from a worker,
// it is queued there and the worker waits on its future (a stop answers Cancel on
// the worker's side, engine/records/UserCallbacks.cpp); asked on the GUI thread, it is
// answered at once.
//
// Each QuestionKind has a handler. Without one, a message box (app/MessageBox.h)
// with the question's text, caption, buttons and icon answers it. Later dialogs
// register theirs at start-up, e.g. the probable-size dialog:
//
//   g_App->Callbacks().SetQuestionHandler(QuestionKind::ProbableFileSize,
//       [](const Question& q, QWidget* owner) { CProbableSizeDlg dlg(q, owner); return dlg.Ask(); });
//
// OpenWithDesktop and OpenUrl open through the desktop's opener
// (app/DesktopOpener.h); tests replace it with SetOpenHandler. The application object owns the one instance and installs it
// (SetUserCallbacks) at start-up.

#include <QObject>
#include <QUrl>

#include <functional>
#include <map>

#include "engine/records/UserCallbacks.h"

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
  // From a worker: the opening is queued to the GUI thread and the worker waits
  // (at most kOpenWaitMs) for the opener's exit status: true only when it
  // succeeded. On the GUI thread: as OpenUrl.
  bool OpenWithDesktop(const std::string& path) override;
  static constexpr int kOpenWaitMs = 15000;

  // Opens an address (web page, "mailto:" text, folder) through the open handler
  // or the desktop's opener (app/DesktopOpener.h): false when the handler failed
  // or the opener could not start; an opener that fails later shows its error box
  // then. Every failure shows an error box naming the target.
  bool OpenUrl(const QUrl& url);
  // The same, with the result once it is known.
  void OpenFor(const QUrl& url, const std::function<void(bool)>& done);

  // What a question is answered with on the GUI thread (its handler or the box).
  // While it is shown, a question that is no longer wanted (Question::StillWanted,
  // checked every kWatchMs) has its dialog cancelled and is answered Cancel.
  Reply AnswerNow(const Question& question);
  static constexpr int kWatchMs = 100;

 private:
  static bool OnGuiThread();
  std::map<QuestionKind, QuestionHandler> handlers_;
  OpenHandler open_;
};
