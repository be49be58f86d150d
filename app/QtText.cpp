#include "app/QtText.h"

#include <QFile>
#include <QTimeZone>

namespace app {

QString PathToQString(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string QStringToPath(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QDateTime FileTimeToDateTime(platform::FileTime time) {
  // Milliseconds since the Unix epoch, rounded toward minus infinity.
  const std::int64_t ticks = time - platform::kFileTimeUnixEpoch;
  std::int64_t ms = ticks / 10000;
  if (ticks % 10000 < 0) --ms;
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}

platform::FileTime DateTimeToFileTime(const QDateTime& time) {
  if (!time.isValid()) return 0;
  return platform::kFileTimeUnixEpoch + time.toMSecsSinceEpoch() * 10000;
}

}  // namespace app
