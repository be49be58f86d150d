#pragma once
// The "Type" column of the found-object lists: string 57118 "Folder" for a folder,
// otherwise the desktop's description of the name's file type (its MIME type's
// comment, by the extension alone). The answers are cached per extension, so a list
// of a million files asks the MIME database once per extension.
//
// GUI thread only.

#include <QHash>
#include <QMimeDatabase>
#include <QString>

#include <string_view>

struct FoundObject;

class CObjectTypeNames {
 public:
  QString TypeName(const FoundObject& record);
  QString TypeNameOfFile(std::u16string_view name);

  // The extension a name's type is looked up by: after the last dot, lower case;
  // empty for a name without one.
  static QString ExtensionOf(std::u16string_view name);

 private:
  QMimeDatabase mime_;
  QHash<QString, QString> byExtension_;
};
