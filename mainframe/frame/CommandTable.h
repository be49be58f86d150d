#pragma once
// The main window's commands in one table: the menu (resource 128, "MainMenu" to
// the language tables) with its texts, the 16 x 16 icons of eight of its items,
// the toolbar (0xE800) with its 24 x 24 images and texts, and the accelerators.
// The frame builds its actions, menus, toolbar and shortcuts from these, and
// nowhere else.

#include <span>
#include <string_view>

namespace mainframe {

// Command ids of the main window.
enum : int {
  ID_START_ANALYSIS = 32774,
  ID_STOP_ANALYSIS = 32775,
  ID_RESCAN_DRIVES = 32781,
  ID_CREATE_IMAGE = 32782,
  ID_LOAD_IMAGE = 32783,
  ID_VIRTUAL_VOLUME = 32784,
  ID_RECOVER = 32787,
  ID_WEB_SITE = 32789,
  ID_VIEW_SEARCH = 32791,
  ID_VIEW_LEGEND = 32794,
  ID_SUPPORT_PAGE = 32795,
  ID_INFORMATION = 32797,
  ID_SETTINGS = 32798,
  ID_SETTINGS_CONFIRMS = 32799,
  ID_SETTINGS_DRIVE_ACCESS = 32800,
  ID_SETTINGS_LANGUAGE = 32801,
  ID_SETTINGS_COMMON = 32802,
  ID_VIEW_FILTERS = 32803,
  ID_TRY_OPEN = 32809,
  ID_SETTINGS_TEMPORARY = 32810,
  ID_SETTINGS_LOGGING = 32811,
  ID_RECOVERY_GUIDE = 32817,
  ID_HELP_SEARCH = 32818,
  ID_SETTINGS_FILE_TYPES = 32829,
  ID_SET_NEW_SIZE = 32831,
  ID_TESTIMONIALS = 32838,
  ID_MODE_EXPLORER = 32839,
  ID_MODE_WIZARD = 32840,
  ID_MODE_DATA_VIEWER = 32841,
  ID_MODE_DATA_VIEWER_2 = 32842,
  ID_RESET_SIZE = 32845,
  ID_SEARCH_LOST_DRIVES = 32862,
  ID_REFRESH_TREE = 32868,     // no menu: the wizard posts it
  ID_SELECT_NODE = 32871,      // the wizard's "Select"
  ID_DRIVE_PROPERTIES = 32872,  // the wizard's "Properties"
  ID_SHOW_LOG = 134,
  ID_VIEW_TOOLBAR = 59392,     // also the toolbar's own id, 0xE800
  ID_VIEW_STATUS_BAR = 59393,  // also the status bar's id
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_HELP_CONTENTS = 57670,
  ID_PANE_CLOSE = 57682,  // 0xE152
};

// Status-bar panes.
enum : int { kPaneStatusText = 133, kPaneProgress = 159, kPaneLog = 0 };

// One item of a drop-down menu; id 0 is a separator.
struct MenuItem {
  int id;
  std::u16string_view text;
};

struct MenuPopup {
  std::u16string_view title;
  std::span<const MenuItem> items;
};

// The menu bar's drop-downs in order: 0 "&Disk" and 1 "&File" are also the
// context menus of the found-object tree and list.
std::span<const MenuPopup> MainMenu();

// The icon of a menu command (16 x 16), or 0.
int MenuIconId(int command);

// A toolbar entry: a command with its image (an icon id) and its text (empty: the
// image alone), or a separator (command 0) of `separatorWidth` pixels.
struct ToolbarEntry {
  int command;
  int iconId;
  std::u16string_view text;
  int separatorWidth;
};
std::span<const ToolbarEntry> MainToolbar();

// Accelerator table 128: a key sequence in Qt's portable text form and its command.
struct Accelerator {
  const char* keys;
  int command;
};
std::span<const Accelerator> MainAccelerators();

// Every command id the menu, toolbar and accelerators carry, once each.
std::span<const int> AllCommandIds();

}  // namespace mainframe
