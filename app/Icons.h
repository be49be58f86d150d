#pragma once
// Icons and bitmaps by the program's resource ids. One table maps each id to
// freedesktop icon-theme names (tried in order; the theme, "Adwaita", is set by
// SetUpIconTheme at start-up so that icons load offscreen too) and to a QStyle
// standard icon used when the theme has none of the names. Later libraries add
// rows for their ids in Icons.cpp's table.
//
// GUI thread only.

#include <QIcon>
#include <QString>

namespace app {

inline constexpr const char* kIconThemeName = "Adwaita";

// Resource ids of the program's icons.
enum IconId : int {
  IDI_PROGRAM = 128,
  IDI_ANALYZE = 247,
  IDI_RECOVER = 248,
  IDI_STOP = 249,
  IDI_FIND = 250,
  IDI_SETTINGS = 251,
  IDI_ABOUT = 252,
  IDI_WEB = 253,
  IDI_HELP = 254,
  IDI_RESCAN = 255,
  // The file-type trees, the file-format properties and the settings pages.
  IDI_FORMAT_PROPERTIES = 129,
  IDI_FILE_TYPE_GROUP = 203,
  IDI_FILE_TYPE = 204,
  IDI_SETTINGS_LANGUAGE = 302,
  IDI_SETTINGS_COMMON = 352,
  IDI_SETTINGS_CONFIRMS = 353,
  IDI_SETTINGS_DRIVE_ACCESS = 354,
  IDI_SETTINGS_FILE_TYPES = 355,
  IDI_SETTINGS_LOGGING = 357,
  IDI_SETTINGS_TEMPORARY = 358,
};

// Sets the theme name and its search path.
void SetUpIconTheme();
// The icon of a resource id; an unknown id gives a null icon.
QIcon IconById(int id);
// The theme name the id maps to first ("" for an unknown id).
QString IconThemeName(int id);
// Whether the icon of `id` came from the theme (false: the QStyle fallback).
bool IconFromTheme(int id);

}  // namespace app
