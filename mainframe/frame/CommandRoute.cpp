#include "mainframe/frame/CommandRoute.h"

#include "mainframe/frame/CommandTable.h"

namespace mainframe {

FrameRoute RouteCommand(int id) {
  switch (id) {
    case ID_VIRTUAL_VOLUME:
      return FrameRoute::VirtualVolume;
    case ID_VIEW_TOOLBAR:
      return FrameRoute::ViewToolBar;
    case ID_VIEW_STATUS_BAR:
      return FrameRoute::ViewStatusBar;
    case ID_VIEW_LEGEND:
      return FrameRoute::ToggleLegend;
    case ID_VIEW_FILTERS:
      return FrameRoute::Filters;
    case ID_SHOW_LOG:
      return FrameRoute::ShowLogFile;
    case ID_VIEW_SEARCH:
      return FrameRoute::ViewSearch;
    case ID_SETTINGS:
    case ID_SETTINGS_COMMON:
    case ID_SETTINGS_CONFIRMS:
    case ID_SETTINGS_TEMPORARY:
    case ID_SETTINGS_DRIVE_ACCESS:
    case ID_SETTINGS_LANGUAGE:
    case ID_SETTINGS_LOGGING:
    case ID_SETTINGS_FILE_TYPES:
      return FrameRoute::ProgramSettings;
    case ID_PANE_CLOSE:
      return FrameRoute::PaneClose;
    case ID_MODE_EXPLORER:
    case ID_MODE_WIZARD:
    case ID_MODE_DATA_VIEWER:
    case ID_MODE_DATA_VIEWER_2:
      return FrameRoute::SetUIMode;
    case ID_HELP_CONTENTS:
    case ID_RECOVERY_GUIDE:
    case ID_HELP_SEARCH:
    case ID_TESTIMONIALS:
    case ID_WEB_SITE:
    case ID_SUPPORT_PAGE:
      return FrameRoute::Help;
    case ID_APP_ABOUT:
      return FrameRoute::About;
    case ID_APP_EXIT:
      return FrameRoute::Exit;
    default:
      return FrameRoute::Explorer;
  }
}

}  // namespace mainframe
