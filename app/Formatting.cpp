#include "app/Formatting.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>

#include "app/QtText.h"
#include "platform/Text.h"

int GroupThousands(std::u16string& digits) {
  std::u16string reversed(digits.rbegin(), digits.rend());
  std::u16string grouped;
  for (std::size_t i = 0; i < reversed.size(); i += 3) {
    grouped += reversed.substr(i, 3);
    grouped += u' ';
  }
  while (!grouped.empty() && grouped.back() == u' ') grouped.pop_back();
  digits.assign(grouped.rbegin(), grouped.rend());
  return static_cast<int>(digits.size());
}

int GroupThousands(QString& digits) {
  std::u16string text = app::ToU16(digits);
  const int length = GroupThousands(text);
  digits = app::ToQString(text);
  return length;
}

QString FormatFileTime(std::optional<platform::FileTime> time) {
  if (!time) return {};
  const std::string text = platform::FormatLocalDate(*time) + " " + platform::FormatLocalTime(*time);
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

int GetSpecialFolderInfo(int csidl, SpecialFolderInfo& info) {
  QStyle* style = QApplication::style();
  switch (csidl) {
    case CSIDL_DRIVES:
      info.displayName = QStringLiteral("Computer");
      info.icon = QIcon::fromTheme(QStringLiteral("computer"), style->standardIcon(QStyle::SP_ComputerIcon));
      return 0;
    case CSIDL_BITBUCKET:
      info.displayName = QStringLiteral("Trash");
      info.icon = QIcon::fromTheme(QStringLiteral("user-trash"), style->standardIcon(QStyle::SP_TrashIcon));
      return 0;
    default:
      break;
  }
  return E_FAIL_RESULT;
}
