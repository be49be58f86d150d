#include "app/DesktopOpener.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include "app/MessageBox.h"
#include "app/QtText.h"
#include "engine/records/Strings.h"
#include "platform/Format.h"

namespace {

QString& ProgramSlot() {
  static QString program = QStringLiteral("xdg-open");
  return program;
}

}  // namespace

QString CDesktopOpener::Program() { return ProgramSlot(); }
void CDesktopOpener::SetProgram(const QString& program) {
  ProgramSlot() = program.isEmpty() ? QStringLiteral("xdg-open") : program;
}

CDesktopOpener::CDesktopOpener(const QUrl& url, Done done) : url_(url), done_(std::move(done)) {}

void CDesktopOpener::Open(const QUrl& url, Done done) {
  auto* opener = new CDesktopOpener(url, std::move(done));
  auto* process = new QProcess(opener);
  // The opener's own output is the desktop's business.
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, opener, [opener, process](int code, QProcess::ExitStatus status) {
    opener->Finish(status == QProcess::NormalExit && code == 0);
    process->deleteLater();
    opener->deleteLater();
  });
  QObject::connect(process, &QProcess::errorOccurred, opener, [opener, process](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    opener->Finish(false);
    process->deleteLater();
    opener->deleteLater();
  });
  // Still running after a while: an application has the target.
  QTimer::singleShot(kSettleMs, opener, [opener] { opener->Finish(true); });
  const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
  process->start(Program(), {target});
}

void CDesktopOpener::Finish(bool opened) {
  if (finished_) return;
  finished_ = true;
  // The result first: a worker waiting for it need not wait for the box.
  if (done_) done_(opened);
  if (!opened) Failed(url_);
}

QString CDesktopOpener::FailureText(const QUrl& url) {
  if (url.isLocalFile()) {
    const QString path = url.toLocalFile();
    if (QFileInfo(path).isDir())
      return QStringLiteral("The folder \"%1\" could not be opened: no file manager on this desktop opened it.")
          .arg(path);
    // "Opening file: "%s" failed! No application associated with this file"
    return app::ToQString(platform::Format(GetLangString(206), app::ToU16(path)));
  }
  return QStringLiteral("The address \"%1\" could not be opened: no application on this desktop opened it.")
      .arg(url.toString());
}

void CDesktopOpener::Failed(const QUrl& url) {
  app::ShowMessageBox(QApplication::activeWindow(), FailureText(url), QStringLiteral("Digital Vandrel Professional"),
                      Buttons::Ok, MessageIcon::Error);
}
