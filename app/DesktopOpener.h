#pragma once
// Opens a file, a folder, a web address or a "mailto:" text with the desktop's
// application, through the desktop's opener program (xdg-open), and tells whether
// that worked by the program's exit status: 0 is success; any other status, or a
// program that can't be started, is a failure. (QDesktopServices::openUrl reports
// success as soon as the program starts, whatever it then finds.)
//
// An opener that is still running after kSettleMs has handed the target to an
// application that keeps it busy (some desktops wait for the viewer): that counts
// as opened. The process is never killed; it is let go when it ends.
//
// A failure is reported by Failed: a message box naming the file, the folder or
// the address. GUI thread (the process lives in the GUI thread's event loop).

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

class CDesktopOpener : public QObject {
  Q_OBJECT

 public:
  static constexpr int kSettleMs = 5000;
  // The result, once known: true opened, false failed (Failed has been shown).
  using Done = std::function<void(bool opened)>;

  // The opener program ("xdg-open"; tests put a stub in its place).
  static QString Program();
  static void SetProgram(const QString& program);

  // Starts the opener for `url`; `done` follows once the result is known. A
  // program that can't be started fails at once. GUI thread.
  static void Open(const QUrl& url, Done done = {});

  // The error text for a target that could not be opened: a file, a folder or an
  // address.
  static QString FailureText(const QUrl& url);
  // The error box for it, owned by the active window.
  static void Failed(const QUrl& url);

 private:
  CDesktopOpener(const QUrl& url, Done done);
  void Finish(bool opened);

  QUrl url_;
  Done done_;
  bool finished_ = false;
};
