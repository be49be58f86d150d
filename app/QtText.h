#pragma once
// The one place where the engine's types meet Qt's: UTF-16 text (std::u16string,
// as the engine keeps it) to QString and back, and FILETIME (100 ns since 1601,
// UTC) to QDateTime and back. Every library above the engine converts through
// these, never by hand.
//
// Text converts without loss in both directions: QString holds UTF-16 code units,
// so names read from disk keep their unpaired surrogates.

#include <QDateTime>
#include <QString>

#include <string>
#include <string_view>

#include "platform/FileTime.h"

namespace app {

inline QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

// A file-system path (UTF-8 bytes as Linux hands them) to a QString and back.
QString PathToQString(const std::string& path);
std::string QStringToPath(const QString& path);

// A FILETIME as a UTC QDateTime (millisecond precision; the 100 ns rest is cut).
// Times outside QDateTime's range give an invalid QDateTime.
QDateTime FileTimeToDateTime(platform::FileTime time);
// A QDateTime (in any time zone) as a FILETIME; an invalid one gives 0.
platform::FileTime DateTimeToFileTime(const QDateTime& time);

}  // namespace app
