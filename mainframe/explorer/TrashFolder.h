#pragma once
// CTrashFolder: the desktop's trash as the freedesktop.org trash layout keeps it:
// a folder (by default $XDG_DATA_HOME/Trash, ~/.local/share/Trash) whose "files"
// folder holds the trashed files and folders and whose "info" folder holds one
// "<name>.trashinfo" per item, naming its original path (percent-encoded) and its
// deletion date (local time). The Recycle Bin view lists it and acts on its items.
//
// Restore moves an item back to its original path without ever replacing what is
// there now (a taken path is refused); Delete removes an item for good. Both then
// remove the item's info file.
//
// Plain file-system work on the calling thread (the user interface's).

#include <QDateTime>
#include <QString>

#include <vector>

struct TrashEntry {
  QString name;          // the item's name in files/
  QString filePath;      // files/<name>
  QString infoPath;      // info/<name>.trashinfo
  QString originalPath;  // where it was deleted from
  QDateTime deleted;     // local time; invalid when the info file has none
  qint64 size = -1;      // a file's size; -1 for folders
  bool folder = false;
};

class CTrashFolder {
 public:
  // `location` empty: the user's trash.
  explicit CTrashFolder(const QString& location = {});
  static QString DefaultLocation();
  QString Location() const { return location_; }

  // The items that have both an info file and a trashed file or folder, by name.
  std::vector<TrashEntry> Read() const;
  // Parses a .trashinfo text; false when it is not one (no "[Trash Info]" group or
  // no Path). A relative path is taken relative to `topDir`.
  static bool ParseInfo(const QByteArray& text, const QString& topDir, QString& originalPath, QDateTime& deleted);

  enum class Result {
    Done,
    Taken,    // restore: something is at the original path now; nothing was moved
    Missing,  // the item is no longer in the trash
    Failed,   // the file system refused (see `error`)
  };
  Result Restore(const TrashEntry& entry, QString* error = nullptr) const;
  Result Delete(const TrashEntry& entry, QString* error = nullptr) const;

 private:
  QString location_;
};
