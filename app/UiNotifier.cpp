#include "app/UiNotifier.h"

#include <QCoreApplication>

#include "app/PostedEvent.h"
#include "engine/records/Messages.h"

namespace {
const QEvent::Type kBatchEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

class CUiNotifier::BatchEvent : public QEvent {
 public:
  explicit BatchEvent(std::shared_ptr<FoundBatch> batch) : QEvent(kBatchEventType), batch_(std::move(batch)) {}
  const std::shared_ptr<FoundBatch>& Batch() const { return batch_; }

 private:
  std::shared_ptr<FoundBatch> batch_;
};

CUiNotifier::CUiNotifier(QObject* parent) : QObject(parent) {}

CUiNotifier::~CUiNotifier() {
  if (GetNotifier() == this) SetNotifier(nullptr);
}

void CUiNotifier::Post(PostedMessage message) {
  const auto type = message.message;
  if (type < QEvent::User || type > QEvent::MaxUser) return;  // not a program message
  // Posted under the batch lock, so that the queue's order is the order of Post.
  std::lock_guard lock(batchMutex_);
  if (type == WM_FOUND_OBJECT && message.target == 0 && message.text.empty()) {
    if (!openBatch_) {
      openBatch_ = std::make_shared<FoundBatch>();
      QCoreApplication::postEvent(this, new BatchEvent(openBatch_));
    }
    openBatch_->objects.emplace_back(message.wParam, message.lParam);
    return;
  }
  openBatch_.reset();  // what follows comes after this message
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
  // The event was made and posted under the batch lock on the worker's thread;
  // taking it here too makes that hand-over visible to ThreadSanitizer, which
  // can't see the locking inside Qt's own (uninstrumented) event queue.
  { std::lock_guard handOver(batchMutex_); }
  if (event->type() == kBatchEventType) {
    std::vector<std::pair<std::int64_t, std::int64_t>> objects;
    {
      std::lock_guard lock(batchMutex_);
      const std::shared_ptr<FoundBatch>& batch = static_cast<BatchEvent*>(event)->Batch();
      if (openBatch_ == batch) openBatch_.reset();  // no message joins it any more
      objects.swap(batch->objects);
    }
    ++batches_;
    for (const auto& [wParam, lParam] : objects) {
      CPostedEvent one(PostedMessage{WM_FOUND_OBJECT, wParam, lParam, {}, 0});
      Deliver(one.Message(), &one);
    }
    return true;
  }
  const PostedMessage* message = CPostedEvent::Of(event);
  if (!message) return QObject::event(event);
  Deliver(*message, event);
  return true;
}

void CUiNotifier::Deliver(const PostedMessage& message, QEvent* event) {
  QObject* to = nullptr;
  if (message.target != 0) {
    auto it = receivers_.find(message.target);
    if (it != receivers_.end()) {
      to = it->second.data();
      if (!to) receivers_.erase(it);
    }
  } else if (message.message == WM_LOG_LINE && log_) {
    to = log_;
  } else {
    to = top_;
  }
  if (!to) {
    ++dropped_;
    return;
  }
  ++forwarded_;
  QCoreApplication::sendEvent(to, event);
}
