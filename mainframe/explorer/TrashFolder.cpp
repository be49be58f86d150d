#include "mainframe/explorer/TrashFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/QtText.h"

namespace {

const QString kInfoSuffix = QStringLiteral(".trashinfo");

bool Exists(const QString& path) {
  struct stat st {};
  return ::lstat(app::QStringToPath(path).c_str(), &st) == 0;
}

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Removes a file, a link or a whole folder (links are removed, never followed).
bool RemoveTree(const QString& path, QString* error) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) {
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
      if (!RemoveTree(it.next(), error)) return false;
    }
    if (::rmdir(app::QStringToPath(path).c_str()) != 0) {
      if (error) *error = ErrnoText(errno);
      return false;
    }
    return true;
  }
  if (::unlink(app::QStringToPath(path).c_str()) != 0) {
    if (error) *error = ErrnoText(errno);
    return false;
  }
  return true;
}

}  // namespace

CTrashFolder::CTrashFolder(const QString& location) : location_(location.isEmpty() ? DefaultLocation() : location) {}

QString CTrashFolder::DefaultLocation() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(QStringLiteral("Trash"));
}

bool CTrashFolder::ParseInfo(const QByteArray& text, const QString& topDir, QString& originalPath,
                             QDateTime& deleted) {
  bool inGroup = false;
  bool seenGroup = false;
  originalPath.clear();
  deleted = QDateTime();
  for (QByteArray line : text.split('\n')) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    if (line.startsWith('[')) {
      inGroup = line == "[Trash Info]";
      seenGroup = seenGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const int eq = line.indexOf('=');
    if (eq <= 0) continue;
    const QByteArray key = line.left(eq).trimmed();
    const QByteArray value = line.mid(eq + 1).trimmed();
    // The first of a key counts.
    if (key == "Path" && originalPath.isEmpty()) {
      const QString path = QUrl::fromPercentEncoding(value);
      originalPath = QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QDir::cleanPath(QDir(topDir).filePath(path));
    } else if (key == "DeletionDate" && !deleted.isValid()) {
      deleted = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
      if (deleted.isValid()) deleted.setTimeSpec(Qt::LocalTime);
    }
  }
  return seenGroup && !originalPath.isEmpty();
}

std::vector<TrashEntry> CTrashFolder::Read() const {
  std::vector<TrashEntry> out;
  const QDir info(QDir(location_).filePath(QStringLiteral("info")));
  const QDir files(QDir(location_).filePath(QStringLiteral("files")));
  const QStringList names = info.entryList({QStringLiteral("*") + kInfoSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
  for (const QString& infoName : names) {
    TrashEntry e;
    e.name = infoName.left(infoName.size() - kInfoSuffix.size());
    e.infoPath = info.filePath(infoName);
    e.filePath = files.filePath(e.name);
    if (!Exists(e.filePath)) continue;
    QFile file(e.infoPath);
    if (!file.open(QIODevice::ReadOnly)) continue;
    // The home trash's paths are absolute; a relative one counts from the home folder.
    if (!ParseInfo(file.read(64 * 1024), QDir::homePath(), e.originalPath, e.deleted)) continue;
    const QFileInfo fi(e.filePath);
    e.folder = fi.isDir() && !fi.isSymLink();
    e.size = e.folder ? -1 : fi.size();
    out.push_back(std::move(e));
  }
  return out;
}

CTrashFolder::Result CTrashFolder::Restore(const TrashEntry& entry, QString* error) const {
  if (!Exists(entry.filePath)) return Result::Missing;
  if (Exists(entry.originalPath)) return Result::Taken;
  const QString parent = QFileInfo(entry.originalPath).absolutePath();
  if (!QDir().mkpath(parent)) {
    if (error) *error = QObject::tr("The folder %1 can't be made.").arg(parent);
    return Result::Failed;
  }
  // Moved without replacing anything, even what appeared since the look above.
  if (::renameat2(AT_FDCWD, app::QStringToPath(entry.filePath).c_str(), AT_FDCWD,
                  app::QStringToPath(entry.originalPath).c_str(), RENAME_NOREPLACE) != 0) {
    const int e = errno;
    if (e == EEXIST) return Result::Taken;
    if (error) *error = ErrnoText(e);
    return Result::Failed;
  }
  QFile::remove(entry.infoPath);
  return Result::Done;
}

CTrashFolder::Result CTrashFolder::Delete(const TrashEntry& entry, QString* error) const {
  if (!Exists(entry.filePath)) {
    QFile::remove(entry.infoPath);
    return Result::Missing;
  }
  if (!RemoveTree(entry.filePath, error)) return Result::Failed;
  QFile::remove(entry.infoPath);
  return Result::Done;
}
