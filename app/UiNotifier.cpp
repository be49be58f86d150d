#include "app/UiNotifier.h"

#include <QCoreApplication>

#include "app/PostedEvent.h"
#include "engine/Messages.h"

CUiNotifier::CUiNotifier(QObject* parent) : QObject(parent) {}

CUiNotifier::~CUiNotifier() {
  if (GetNotifier() == this) SetNotifier(nullptr);
}

void CUiNotifier::Post(PostedMessage message) {
  const auto type = message.message;
  if (type < QEvent::User || type > QEvent::MaxUser) return;  // not a program message
  QCoreApplication::postEvent(this, new CPostedEvent(std::move(message)));
}

void CUiNotifier::SetTopWindow(QObject* window) { top_ = window; }
void CUiNotifier::SetLogWindow(QObject* window) { log_ = window; }

std::uint64_t CUiNotifier::NewReceiverKey() { return nextKey_.fetch_add(1); }

void CUiNotifier::RegisterReceiver(std::uint64_t key, QObject* receiver) {
  if (key == 0) return;
  if (receiver)
    receivers_[key] = receiver;
  else
    receivers_.erase(key);
}

void CUiNotifier::UnregisterReceiver(std::uint64_t key) { receivers_.erase(key); }

QObject* CUiNotifier::Receiver(std::uint64_t key) const {
  auto it = receivers_.find(key);
  return it == receivers_.end() ? nullptr : it->second.data();
}

bool CUiNotifier::event(QEvent* event) {
  const PostedMessage* message = CPostedEvent::Of(event);
  if (!message) return QObject::event(event);
  QObject* to = nullptr;
  if (message->target != 0) {
    auto it = receivers_.find(message->target);
    if (it != receivers_.end()) {
      to = it->second.data();
      if (!to) receivers_.erase(it);
    }
  } else if (message->message == WM_LOG_LINE && log_) {
    to = log_;
  } else {
    to = top_;
  }
  if (!to) {
    ++dropped_;
    return true;
  }
  ++forwarded_;
  QCoreApplication::sendEvent(to, event);
  return true;
}
