#include "engine/records/UserCallbacks.h"

#include <chrono>

namespace {
std::atomic<IUserCallbacks*> g_callbacks{nullptr};
}

void SetUserCallbacks(IUserCallbacks* callbacks) { g_callbacks.store(callbacks); }
IUserCallbacks* GetUserCallbacks() { return g_callbacks.load(); }

Reply AskUser(const Question& question, const std::function<bool()>& keepWaiting) {
  IUserCallbacks* cb = g_callbacks.load();
  if (!cb) return Reply{};
  std::promise<Reply> promise;
  std::future<Reply> future = promise.get_future();
  Question asked = question;
  if (keepWaiting && !asked.withdrawn) asked.withdrawn = std::make_shared<std::atomic<bool>>(false);
  if (keepWaiting) asked.watch = std::make_shared<QuestionWatch>(keepWaiting);
  // Whatever way this returns, keepWaiting is not asked any more afterwards.
  struct EndWatch {
    std::shared_ptr<QuestionWatch> watch;
    ~EndWatch() {
      if (watch) watch->End();
    }
  } endWatch{asked.watch};
  cb->Ask(asked, std::move(promise));
  while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (keepWaiting && !keepWaiting()) {
      asked.withdrawn->store(true);
      return Reply{};
    }
  }
  try {
    return future.get();
  } catch (const std::future_error&) {
    return Reply{};  // the interface dropped the question
  }
}

void ShowUserMessage(const std::u16string& text, const std::u16string& caption, MessageIcon icon) {
  if (IUserCallbacks* cb = g_callbacks.load()) cb->ShowMessage(text, caption, icon);
}

bool OpenWithDesktop(const std::string& path) {
  IUserCallbacks* cb = g_callbacks.load();
  return cb ? cb->OpenWithDesktop(path) : false;
}

void ScriptedUserCallbacks::Script(QuestionKind kind, Reply reply) {
  std::lock_guard g(mutex_);
  script_.emplace_back(kind, std::move(reply));
}

void ScriptedUserCallbacks::SetDefault(Reply reply) {
  std::lock_guard g(mutex_);
  default_ = std::move(reply);
}

void ScriptedUserCallbacks::HoldAnswers(bool hold) {
  std::lock_guard g(mutex_);
  hold_ = hold;
}

void ScriptedUserCallbacks::Release() {
  std::deque<std::pair<QuestionKind, std::promise<Reply>>> held;
  {
    std::lock_guard g(mutex_);
    hold_ = false;
    held.swap(held_);
  }
  for (auto& [kind, promise] : held) promise.set_value(Next(kind));
}

void ScriptedUserCallbacks::SetOpenResult(bool ok) {
  std::lock_guard g(mutex_);
  openResult_ = ok;
}

Reply ScriptedUserCallbacks::Next(QuestionKind kind) {
  std::lock_guard g(mutex_);
  for (auto it = script_.begin(); it != script_.end(); ++it) {
    if (it->first == kind) {
      Reply r = std::move(it->second);
      script_.erase(it);
      return r;
    }
  }
  return default_;
}

void ScriptedUserCallbacks::Ask(const Question& question, std::promise<Reply> reply) {
  {
    std::lock_guard g(mutex_);
    asked_.push_back(question);
    if (hold_) {
      held_.emplace_back(question.kind, std::move(reply));
      return;
    }
  }
  reply.set_value(Next(question.kind));
}

void ScriptedUserCallbacks::ShowMessage(const std::u16string& text, const std::u16string&, MessageIcon) {
  std::lock_guard g(mutex_);
  messages_.push_back(text);
}

bool ScriptedUserCallbacks::OpenWithDesktop(const std::string& path) {
  std::lock_guard g(mutex_);
  opened_.push_back(path);
  return openResult_;
}

std::vector<Question> ScriptedUserCallbacks::Asked() const {
  std::lock_guard g(mutex_);
  return asked_;
}
std::vector<std::u16string> ScriptedUserCallbacks::Messages() const {
  std::lock_guard g(mutex_);
  return messages_;
}
std::vector<std::string> ScriptedUserCallbacks::Opened() const {
  std::lock_guard g(mutex_);
  return opened_;
}
