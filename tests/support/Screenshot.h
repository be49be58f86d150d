#pragma once
// The screenshot tests render windows into PNG files, one folder per test folder
// under <build>/screenshots, so that a person can look at every window and page.

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTest>
#include <QWidget>

#ifndef VANDREL_SCREENSHOT_DIR
#define VANDREL_SCREENSHOT_DIR "screenshots"
#endif

namespace test {

// Shows the widget (when it is not shown yet), lets it lay out and paint, and
// writes it as <folder>/<name>.png. Returns the file's path, or an empty string
// when nothing could be written.
inline QString SaveScreenshot(QWidget* widget, const QString& folder, const QString& name) {
  if (!widget) return {};
  if (!widget->isVisible()) widget->show();
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(10);
  }
  QDir dir(QStringLiteral(VANDREL_SCREENSHOT_DIR));
  if (!dir.mkpath(folder)) return {};
  const QString path = dir.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
  return widget->grab().save(path, "PNG") ? path : QString();
}

}  // namespace test
