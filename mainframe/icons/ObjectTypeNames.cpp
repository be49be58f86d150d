#include "mainframe/icons/ObjectTypeNames.h"

#include "app/App.h"
#include "app/QtText.h"
#include "engine/store/FoundObject.h"

QString CObjectTypeNames::ExtensionOf(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot + 1 >= name.size()) return {};
  return app::ToQString(name.substr(dot + 1)).toLower();
}

QString CObjectTypeNames::TypeName(const FoundObject& record) {
  if (record.IsFolder()) return LangString(57118);
  return TypeNameOfFile(record.Name());
}

QString CObjectTypeNames::TypeNameOfFile(std::u16string_view name) {
  const QString extension = ExtensionOf(name);
  auto it = byExtension_.constFind(extension);
  if (it != byExtension_.constEnd()) return it.value();
  // Only the extension decides, as the desktop names a type from a file name alone.
  const QString probe = extension.isEmpty() ? QStringLiteral("file") : QStringLiteral("file.") + extension;
  const QString comment = mime_.mimeTypeForFile(probe, QMimeDatabase::MatchExtension).comment();
  byExtension_.insert(extension, comment);
  return comment;
}
