#pragma once
// The engine's notifier in the user interface: every message a worker posts
// (PostToUi) becomes a queued CPostedEvent to this one long-lived receiver, which,
// on the GUI thread, forwards it:
//   - with a `target` key: to the receiver registered under that key (a dialog that
//     follows one job: it takes a key with NewReceiverKey(), registers itself with
//     RegisterReceiver(key, this) and hands the key to the job); dropped when no
//     receiver is registered under it any more;
//   - WM_LOG_LINE without a key: to the log window (CApp::SetLogWindow), else the
//     top window;
//   - anything else without a key: to the current top window (CApp::SetTopWindow).
// A receiver that has been destroyed is never reached: all are held by QPointer.
//
// The store's WM_FOUND_OBJECT messages (one per object, a million in one pass)
// travel in batches: a message finds the batch still waiting in the queue and joins
// it, or opens a new one; any other message closes the open batch first. Each
// message is still delivered alone and in the order posted, but the queue holds
// one event per burst, and a worker posting objects wakes the GUI thread once per
// batch instead of once per object.
//
// Post() may be called from any thread and never blocks; everything else is GUI
// thread only. The application object owns the one instance and installs it
// (SetNotifier) at start-up.

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/records/Notifier.h"

class CUiNotifier : public QObject, public INotifier {
  Q_OBJECT

 public:
  explicit CUiNotifier(QObject* parent = nullptr);
  ~CUiNotifier() override;

  // INotifier: any thread.
  void Post(PostedMessage message) override;

  // Where messages without a key go.
  void SetTopWindow(QObject* window);
  void SetLogWindow(QObject* window);
  QObject* TopWindow() const { return top_; }
  QObject* LogWindow() const { return log_; }

  // Keys for receivers that follow one job; never 0, never handed out twice.
  std::uint64_t NewReceiverKey();
  void RegisterReceiver(std::uint64_t key, QObject* receiver);
  void UnregisterReceiver(std::uint64_t key);
  QObject* Receiver(std::uint64_t key) const;

  // How many messages were forwarded and dropped, and how many batches of found
  // objects came (tests).
  std::uint64_t Forwarded() const { return forwarded_; }
  std::uint64_t Dropped() const { return dropped_; }
  std::uint64_t Batches() const { return batches_; }

 protected:
  bool event(QEvent* event) override;

 private:
  struct FoundBatch {
    std::vector<std::pair<std::int64_t, std::int64_t>> objects;  // wParam, lParam
  };
  class BatchEvent;
  void Deliver(const PostedMessage& message, QEvent* event);

  std::mutex batchMutex_;
  std::shared_ptr<FoundBatch> openBatch_;  // the batch still in the queue
  QPointer<QObject> top_;
  QPointer<QObject> log_;
  std::map<std::uint64_t, QPointer<QObject>> receivers_;
  std::atomic<std::uint64_t> nextKey_{1};
  std::uint64_t forwarded_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t batches_ = 0;
};
