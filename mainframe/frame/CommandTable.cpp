#include "mainframe/frame/CommandTable.h"

#include <algorithm>
#include <vector>

namespace mainframe {

namespace {

constexpr MenuItem kDisk[] = {
    {ID_START_ANALYSIS, u"Start Analyzing"},
    {ID_STOP_ANALYSIS, u"Stop Analyzing"},
    {0, {}},
    {ID_CREATE_IMAGE, u"Create Drive Image..."},
    {ID_LOAD_IMAGE, u"Load Drive Image..."},
    {0, {}},
    {ID_SEARCH_LOST_DRIVES, u"Search Lost Drives"},
    {ID_RESCAN_DRIVES, u"Rescan Drives"},
    {0, {}},
    {ID_APP_EXIT, u"&Exit"},
};

constexpr MenuItem kFile[] = {
    {ID_RECOVER, u"Recover... \tCtrl+R"},
    {ID_TRY_OPEN, u"Try To Open..."},
    {0, {}},
    {ID_SET_NEW_SIZE, u"Set &New Size..."},
    {ID_RESET_SIZE, u"R&eset Size"},
    {0, {}},
    {ID_INFORMATION, u"&Information...\tCtrl+I"},
};

constexpr MenuItem kView[] = {
    {ID_VIEW_TOOLBAR, u"&Tool bar"},
    {ID_VIEW_STATUS_BAR, u"&Status Bar"},
    {ID_VIEW_LEGEND, u"Legend"},
    {0, {}},
    {ID_VIEW_SEARCH, u"&Search"},
    {ID_VIEW_FILTERS, u"Filters..."},
    {0, {}},
    {ID_MODE_WIZARD, u"&Wizard Mode"},
    {ID_MODE_EXPLORER, u"&Explorer Mode"},
    {ID_MODE_DATA_VIEWER, u"Explorer Mode with &Data Viewer"},
};

constexpr MenuItem kOptions[] = {
    {ID_SETTINGS, u"Settings..."},
    {0, {}},
    {ID_SETTINGS_COMMON, u"Common Settings..."},
    {ID_SETTINGS_CONFIRMS, u"Confirmations..."},
    {ID_SETTINGS_FILE_TYPES, u"File Types..."},
    {ID_SETTINGS_TEMPORARY, u"Temporary Folder..."},
    {ID_SETTINGS_DRIVE_ACCESS, u"Drive Access..."},
    {ID_SETTINGS_LOGGING, u"Logging..."},
    {ID_SETTINGS_LANGUAGE, u"Interface Language..."},
};

constexpr MenuItem kHelp[] = {
    {ID_HELP_CONTENTS, u"Contents\tF1"},
    {ID_HELP_SEARCH, u"Search for Help on..."},
    {ID_RECOVERY_GUIDE, u"Recovery Guide"},
    {0, {}},
    {ID_WEB_SITE, u"Vandrel Pro on the &Web"},
    {0, {}},
    {ID_APP_ABOUT, u"&About..."},
};

constexpr MenuPopup kMenu[] = {
    {u"&Disk", kDisk}, {u"&File", kFile}, {u"&View", kView}, {u"&Options", kOptions}, {u"&Help", kHelp},
};

constexpr struct {
  int command;
  int icon;
} kMenuIcons[] = {
    {ID_START_ANALYSIS, 247}, {ID_STOP_ANALYSIS, 249}, {ID_RECOVER, 248},        {ID_VIEW_SEARCH, 250},
    {ID_SETTINGS, 251},       {ID_WEB_SITE, 253},      {ID_HELP_CONTENTS, 254}, {ID_APP_ABOUT, 252},
};

constexpr ToolbarEntry kToolbar[] = {
    {ID_START_ANALYSIS, 247, u"Analyze", 0},
    {ID_STOP_ANALYSIS, 249, {}, 0},
    {ID_RESCAN_DRIVES, 255, u"Rescan Drives", 0},
    {0, 0, {}, 8},
    {ID_RECOVER, 248, u"Recover", 0},
    {ID_VIEW_SEARCH, 250, u"Find", 0},
    {0, 0, {}, 8},
    {ID_SETTINGS, 251, {}, 0},
    {0, 0, {}, 8},
    {ID_WEB_SITE, 253, {}, 0},
    {ID_HELP_CONTENTS, 254, {}, 0},
    {ID_APP_ABOUT, 252, {}, 0},
};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+I", ID_INFORMATION}, {"Ctrl+R", ID_RECOVER}, {"F1", ID_HELP_CONTENTS},
    {"Ctrl+P", ID_SETTINGS},    {"F5", ID_RESCAN_DRIVES},
};

std::vector<int> CollectIds() {
  std::vector<int> ids;
  auto add = [&](int id) {
    if (id != 0 && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  };
  for (const MenuPopup& p : kMenu)
    for (const MenuItem& i : p.items) add(i.id);
  for (const ToolbarEntry& e : kToolbar) add(e.command);
  for (const Accelerator& a : kAccelerators) add(a.command);
  return ids;
}

}  // namespace

std::span<const MenuPopup> MainMenu() { return kMenu; }

int MenuIconId(int command) {
  for (const auto& m : kMenuIcons)
    if (m.command == command) return m.icon;
  return 0;
}

std::span<const ToolbarEntry> MainToolbar() { return kToolbar; }
std::span<const Accelerator> MainAccelerators() { return kAccelerators; }

std::span<const int> AllCommandIds() {
  static const std::vector<int> ids = CollectIds();
  return ids;
}

}  // namespace mainframe
