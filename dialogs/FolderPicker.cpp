#include "dialogs/FolderPicker.h"

#include <QFileDialog>

namespace {
CFolderPicker::Handler& CurrentHandler() {
  static CFolderPicker::Handler handler;
  return handler;
}
}  // namespace

QString CFolderPicker::Pick(QWidget* owner, const QString& title, const QString& start) {
  if (const Handler& handler = CurrentHandler()) return handler(owner, title, start);
  return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

CFolderPicker::Handler CFolderPicker::SetHandler(Handler handler) {
  Handler previous = std::move(CurrentHandler());
  CurrentHandler() = std::move(handler);
  return previous;
}
