#include "app/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace app {
namespace {

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case Buttons::Custom: break;
  }
  return QMessageBox::Ok;
}

Answer FromQt(int button) {
  switch (button) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Ignore: return Answer::Ignore;
    default: break;
  }
  return Answer::Cancel;
}

}  // namespace

Answer ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons,
                      MessageIcon icon) {
  MessageBoxRequest request{owner, text, caption, buttons, icon};
  if (Handler()) return Handler()(request);
  QPointer<QMessageBox> box = new QMessageBox(ToQtIcon(icon), caption, text, ToQtButtons(buttons), owner);
  box->setAttribute(Qt::WA_DeleteOnClose, false);
  if (buttons == Buttons::YesNo) box->setEscapeButton(QMessageBox::No);
  const int result = box->exec();
  QMessageBox::StandardButton pressed = box ? box->standardButton(box->clickedButton()) : QMessageBox::NoButton;
  delete box.data();
  if (pressed == QMessageBox::NoButton) pressed = static_cast<QMessageBox::StandardButton>(result);
  return FromQt(pressed);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

}  // namespace app
