#include "engine/records/Notifier.h"

#include <atomic>

namespace {
std::atomic<INotifier*> g_notifier{nullptr};
}

void SetNotifier(INotifier* notifier) { g_notifier.store(notifier); }
INotifier* GetNotifier() { return g_notifier.load(); }

void PostToUi(std::uint32_t message, std::int64_t wParam, std::int64_t lParam, std::u16string text,
              std::uint64_t target) {
  if (INotifier* n = g_notifier.load())
    n->Post(PostedMessage{message, wParam, lParam, std::move(text), target});
}

void RecordingNotifier::Post(PostedMessage message) {
  std::lock_guard g(mutex_);
  messages_.push_back(std::move(message));
}

std::vector<PostedMessage> RecordingNotifier::Messages() const {
  std::lock_guard g(mutex_);
  return messages_;
}

std::vector<PostedMessage> RecordingNotifier::Messages(std::uint32_t message) const {
  std::lock_guard g(mutex_);
  std::vector<PostedMessage> out;
  for (auto& m : messages_)
    if (m.message == message) out.push_back(m);
  return out;
}

std::size_t RecordingNotifier::Count(std::uint32_t message) const {
  std::lock_guard g(mutex_);
  std::size_t n = 0;
  for (auto& m : messages_)
    if (m.message == message) ++n;
  return n;
}

void RecordingNotifier::Clear() {
  std::lock_guard g(mutex_);
  messages_.clear();
}
