#include "app/Icons.h"

#include <QApplication>
#include <QStyle>

#include <initializer_list>

namespace app {
namespace {

struct IconRow {
  int id;
  std::initializer_list<const char*> names;
  QStyle::StandardPixmap fallback;
};

const IconRow kIcons[] = {
    // The volume information's picture.
    {352, {"drive-harddisk", "drive-harddisk-symbolic"}, QStyle::SP_DriveHDIcon},
    {IDI_PROGRAM, {"drive-harddisk", "drive-harddisk-symbolic"}, QStyle::SP_DriveHDIcon},
    {IDI_ANALYZE, {"system-search", "system-search-symbolic"}, QStyle::SP_MediaPlay},
    {IDI_RECOVER, {"document-save", "document-save-symbolic"}, QStyle::SP_DialogSaveButton},
    {IDI_STOP, {"process-stop", "process-stop-symbolic"}, QStyle::SP_BrowserStop},
    {IDI_FIND, {"edit-find", "edit-find-symbolic"}, QStyle::SP_FileDialogContentsView},
    {IDI_SETTINGS, {"preferences-system", "preferences-system-symbolic"}, QStyle::SP_FileDialogDetailedView},
    {IDI_ABOUT, {"help-about", "help-about-symbolic"}, QStyle::SP_MessageBoxInformation},
    {IDI_WEB, {"web-browser", "web-browser-symbolic", "applications-internet"}, QStyle::SP_DriveNetIcon},
    {IDI_HELP, {"help-browser", "help-browser-symbolic", "help-contents"}, QStyle::SP_DialogHelpButton},
    {IDI_RESCAN, {"view-refresh", "view-refresh-symbolic"}, QStyle::SP_BrowserReload},
    {IDI_FORMAT_PROPERTIES, {"document-properties", "text-x-generic"}, QStyle::SP_FileDialogInfoView},
    // 203 and 204 are the open and the closed folder, also of the found-object views.
    {IDI_FILE_TYPE_GROUP, {"folder-open", "folder-symbolic"}, QStyle::SP_DirOpenIcon},
    {IDI_FILE_TYPE, {"folder", "folder-symbolic"}, QStyle::SP_DirClosedIcon},
    {IDI_SETTINGS_LANGUAGE, {"preferences-desktop-locale", "preferences-desktop-locale-symbolic"},
     QStyle::SP_FileDialogListView},
    {IDI_SETTINGS_COMMON, {"preferences-system", "preferences-system-symbolic"}, QStyle::SP_FileDialogDetailedView},
    {IDI_SETTINGS_CONFIRMS, {"dialog-question", "dialog-question-symbolic"}, QStyle::SP_MessageBoxQuestion},
    {IDI_SETTINGS_DRIVE_ACCESS, {"drive-harddisk", "drive-harddisk-symbolic"}, QStyle::SP_DriveHDIcon},
    {IDI_SETTINGS_FILE_TYPES, {"x-office-document", "text-x-generic"}, QStyle::SP_FileIcon},
    {IDI_SETTINGS_LOGGING, {"accessories-text-editor", "text-x-generic"}, QStyle::SP_FileDialogContentsView},
    {IDI_SETTINGS_TEMPORARY, {"folder", "folder-symbolic"}, QStyle::SP_DirIcon},
    // The found-object tree and list (marks for deleted, lost and carved objects
    // are drawn over these by the views).
    {201, {"text-x-generic", "text-x-generic-symbolic"}, QStyle::SP_FileIcon},
    {202, {"text-x-generic", "text-x-generic-symbolic"}, QStyle::SP_FileIcon},
    {205, {"folder-open", "folder-symbolic"}, QStyle::SP_DirOpenIcon},
    {206, {"folder", "folder-symbolic"}, QStyle::SP_DirClosedIcon},
    {207, {"folder", "folder-symbolic"}, QStyle::SP_DirClosedIcon},
    {208, {"folder-open", "folder-symbolic"}, QStyle::SP_DirOpenIcon},
    {214, {"computer", "computer-symbolic"}, QStyle::SP_ComputerIcon},
    {222, {"drive-harddisk", "drive-harddisk-symbolic"}, QStyle::SP_DriveHDIcon},
    {223, {"drive-harddisk-system-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon},
    {224, {"media-optical", "media-optical-symbolic"}, QStyle::SP_DriveCDIcon},
    {225, {"drive-multidisk-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon},
    {236, {"drive-removable-media", "drive-removable-media-symbolic"}, QStyle::SP_DriveFDIcon},
    {274, {"folder", "folder-symbolic"}, QStyle::SP_DirClosedIcon},
    {275, {"folder-open", "folder-symbolic"}, QStyle::SP_DirOpenIcon},
    {306, {"drive-multidisk-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon},
    {307, {"user-trash", "user-trash-symbolic"}, QStyle::SP_TrashIcon},
    {364, {"text-x-generic", "text-x-generic-symbolic"}, QStyle::SP_FileIcon},
    {365, {"text-x-generic", "text-x-generic-symbolic"}, QStyle::SP_FileIcon},
    {366, {"drive-harddisk-system-symbolic", "drive-harddisk"}, QStyle::SP_DriveHDIcon},
};

const IconRow* Find(int id) {
  for (const IconRow& row : kIcons)
    if (row.id == id) return &row;
  return nullptr;
}

}  // namespace

void SetUpIconTheme() {
  QStringList paths = QIcon::themeSearchPaths();
  if (!paths.contains(QStringLiteral("/usr/share/icons"))) paths.append(QStringLiteral("/usr/share/icons"));
  QIcon::setThemeSearchPaths(paths);
  QIcon::setThemeName(QString::fromLatin1(kIconThemeName));
  QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QString IconThemeName(int id) {
  const IconRow* row = Find(id);
  return row ? QString::fromLatin1(*row->names.begin()) : QString();
}

bool IconFromTheme(int id) {
  const IconRow* row = Find(id);
  if (!row) return false;
  for (const char* name : row->names)
    if (QIcon::hasThemeIcon(QString::fromLatin1(name))) return true;
  return false;
}

QIcon IconById(int id) {
  const IconRow* row = Find(id);
  if (!row) return {};
  for (const char* name : row->names) {
    const QString n = QString::fromLatin1(name);
    if (QIcon::hasThemeIcon(n)) return QIcon::fromTheme(n);
  }
  return QApplication::style()->standardIcon(row->fallback);
}

}  // namespace app
