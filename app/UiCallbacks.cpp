#include "app/UiCallbacks.h"

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <future>
#include <memory>

#include "app/DesktopOpener.h"
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
  if (!question.StillWanted()) return Reply{};
  QWidget* owner = QApplication::activeWindow();
  // A question whose cause ends while it is shown (the scan it would stop has
  // ended) closes itself: the dialog it opened is cancelled.
  bool ended = false;
  QTimer watch;
  if (question.withdrawn || question.watch) {
    QWidget* before = QApplication::activeModalWidget();
    connect(&watch, &QTimer::timeout, [&question, &ended, before] {
      if (ended || question.StillWanted()) return;
      QWidget* modal = QApplication::activeModalWidget();
      auto* dialog = qobject_cast<QDialog*>(modal);
      if (!dialog || modal == before) return;
      ended = true;
      dialog->reject();
    });
    watch.start(kWatchMs);
  }
  Reply reply;
  auto it = handlers_.find(question.kind);
  if (it != handlers_.end()) {
    reply = it->second(question, owner);
  } else {
    reply.answer = app::ShowMessageBox(owner, app::ToQString(question.text), app::ToQString(question.caption),
                                       question.buttons, question.icon);
  }
  return ended ? Reply{} : reply;
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
  if (open_) {
    const bool opened = open_(url);
    if (!opened) CDesktopOpener::Failed(url);
    return opened;
  }
  // Started; a failure shows its box once the opener has said so.
  CDesktopOpener::Open(url);
  return true;
}

void CUiCallbacks::OpenFor(const QUrl& url, const std::function<void(bool)>& done) {
  if (open_) {
    const bool opened = open_(url);
    done(opened);
    if (!opened) CDesktopOpener::Failed(url);
    return;
  }
  CDesktopOpener::Open(url, done);
}

bool CUiCallbacks::OpenWithDesktop(const std::string& path) {
  const QUrl url = QUrl::fromLocalFile(app::PathToQString(path));
  if (OnGuiThread()) return OpenUrl(url);
  // The worker waits for the opener's answer, a bounded time: the user interface
  // never waits for the worker.
  auto result = std::make_shared<std::promise<bool>>();
  std::future<bool> answer = result->get_future();
  QMetaObject::invokeMethod(
      this, [this, url, result] { OpenFor(url, [result](bool opened) { result->set_value(opened); }); },
      Qt::QueuedConnection);
  if (answer.wait_for(std::chrono::milliseconds(kOpenWaitMs)) != std::future_status::ready) return false;
  return answer.get();
}
