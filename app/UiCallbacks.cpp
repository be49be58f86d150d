#include "app/UiCallbacks.h"

#include <QApplication>
#include <QDesktopServices>
#include <QThread>
#include <QWidget>

#include <memory>

#include "app/MessageBox.h"
#include "app/QtText.h"

CUiCallbacks::CUiCallbacks(QObject* parent) : QObject(parent) {}

CUiCallbacks::~CUiCallbacks() {
  if (GetUserCallbacks() == this) SetUserCallbacks(nullptr);
}

bool CUiCallbacks::OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void CUiCallbacks::SetQuestionHandler(QuestionKind kind, QuestionHandler handler) {
  if (handler)
    handlers_[kind] = std::move(handler);
  else
    handlers_.erase(kind);
}

void CUiCallbacks::SetOpenHandler(OpenHandler handler) { open_ = std::move(handler); }

Reply CUiCallbacks::AnswerNow(const Question& question) {
  // The asker gave up before the question got its turn (a stop): nothing is shown.
  if (question.Withdrawn()) return Reply{};
  QWidget* owner = QApplication::activeWindow();
  auto it = handlers_.find(question.kind);
  if (it != handlers_.end()) return it->second(question, owner);
  Reply reply;
  reply.answer = app::ShowMessageBox(owner, app::ToQString(question.text), app::ToQString(question.caption),
                                question.buttons, question.icon);
  return reply;
}

void CUiCallbacks::Ask(const Question& question, std::promise<Reply> reply) {
  if (OnGuiThread()) {
    reply.set_value(AnswerNow(question));
    return;
  }
  auto promise = std::make_shared<std::promise<Reply>>(std::move(reply));
  QMetaObject::invokeMethod(
      this, [this, question, promise] { promise->set_value(AnswerNow(question)); }, Qt::QueuedConnection);
}

void CUiCallbacks::ShowMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon) {
  auto show = [text, caption, icon] {
    app::ShowMessageBox(QApplication::activeWindow(), app::ToQString(text), app::ToQString(caption), Buttons::Ok, icon);
  };
  if (OnGuiThread())
    show();
  else
    QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
}

bool CUiCallbacks::OpenUrl(const QUrl& url) {
  if (open_) return open_(url);
  return QDesktopServices::openUrl(url);
}

bool CUiCallbacks::OpenWithDesktop(const std::string& path) {
  const QUrl url = QUrl::fromLocalFile(app::PathToQString(path));
  if (OnGuiThread()) return OpenUrl(url);
  QMetaObject::invokeMethod(this, [this, url] { OpenUrl(url); }, Qt::QueuedConnection);
  return true;
}
