#pragma once
// The folder picker the dialogs open (QFileDialog::getExistingDirectory: folders
// of the file system only), with one seam so that tests answer it from a script.
// The answer is the chosen folder, or an empty text when the user cancelled.
//
// GUI thread only.

#include <QString>

#include <functional>

class QWidget;

class CFolderPicker {
 public:
  using Handler = std::function<QString(QWidget* owner, const QString& title, const QString& start)>;

  static QString Pick(QWidget* owner, const QString& title, const QString& start);
  // Replaces the picker (null restores QFileDialog); returns the one it replaced.
  static Handler SetHandler(Handler handler);
};
