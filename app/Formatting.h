#pragma once
// Shared formatting used by the views and dialogs: digit grouping, file times as
// local date and time, and the names and icons of the special folders the
// found-object tree shows. GUI thread (FormatFileTime and GroupThousands may run
// anywhere).

#include <QIcon>
#include <QString>

#include <optional>
#include <string>

#include "platform/FileTime.h"

// Inserts a blank after every third digit counted from the right, in place
// ("1234567" becomes "1 234 567"; three digits or fewer stay); returns the new
// length.
int GroupThousands(std::u16string& digits);
int GroupThousands(QString& digits);

// A FILETIME as the local short date and the local time joined by one blank; no
// time gives "".
QString FormatFileTime(std::optional<platform::FileTime> time);

// Special folders by their shell numbers.
enum : int { CSIDL_BITBUCKET = 0x000A, CSIDL_DRIVES = 0x0011 };
inline constexpr int E_FAIL_RESULT = static_cast<int>(0x80004005u);

struct SpecialFolderInfo {
  QString displayName;
  QIcon icon;  // small icon
};
// The display name and small icon of My Computer (CSIDL_DRIVES) or the Recycle
// Bin (CSIDL_BITBUCKET, the desktop's trash here); 0, or E_FAIL_RESULT for any
// other folder.
int GetSpecialFolderInfo(int csidl, SpecialFolderInfo& info);
