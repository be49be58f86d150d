#include "mainframe/icons/MediaFolder.h"

#include <QCoreApplication>
#include <QDir>

#include "app/App.h"

QString MediaFolder() {
  if (g_App) return g_App->ProgramPath(QStringLiteral("media"));
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("media"));
}

QString MediaPagePath(const QString& folder, const QString& page) {
  return QDir(folder.isEmpty() ? MediaFolder() : folder).filePath(page);
}
