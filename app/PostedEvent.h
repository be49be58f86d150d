#pragma once
// A message posted by the engine (engine/records/Notifier.h) as Qt delivers it: a QEvent
// whose type is the message number (the numbers lie in Qt's user range), owning
// the message's text and parameters. Windows handle it in event():
//
//   bool CMyWindow::event(QEvent* e) {
//     if (e->type() == static_cast<QEvent::Type>(WM_LOG_LINE)) {
//       const PostedMessage& m = static_cast<CPostedEvent*>(e)->Message();
//       ...
//       return true;
//     }
//     return QWidget::event(e);
//   }

#include <QEvent>

#include "engine/records/Notifier.h"

class CPostedEvent : public QEvent {
 public:
  explicit CPostedEvent(PostedMessage message)
      : QEvent(static_cast<QEvent::Type>(message.message)), message_(std::move(message)) {}
  const PostedMessage& Message() const { return message_; }

  // The message carried by `event`, or null when it is no posted message.
  static const PostedMessage* Of(const QEvent* event) {
    const auto* posted = dynamic_cast<const CPostedEvent*>(event);
    return posted ? &posted->message_ : nullptr;
  }

 private:
  PostedMessage message_;
};
