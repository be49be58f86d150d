#pragma once
// Every message box of the program goes through ShowMessageBox: the exit
// question, the start-up errors, the "/addsig" results and the engine's questions
// answered by a plain box. A QMessageBox by default; tests install a handler
// (SetMessageBoxHandler) that records the box and answers it, so that every flow
// runs offscreen without a modal box.
//
// GUI thread only.

#include <QString>

#include <functional>

#include "engine/records/UserCallbacks.h"

class QWidget;

namespace app {

struct MessageBoxRequest {
  QWidget* owner = nullptr;  // null: no owner
  QString text;
  QString caption;
  Buttons buttons = Buttons::Ok;
  MessageIcon icon = MessageIcon::None;
};

using MessageBoxHandler = std::function<Answer(const MessageBoxRequest&)>;

// Shows the box (modal) and returns the button pressed; Esc or the window's close
// answer Cancel where there is one, else No, else Ok.
Answer ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons,
                      MessageIcon icon);
// Replaces the QMessageBox (null restores it). Returns the handler it replaced.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace app
