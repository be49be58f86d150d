#include "dialogs/ProgSettings.h"

#include <QTabBar>

#include "app/App.h"
#include "dialogs/ProgSettings_Common.h"
#include "dialogs/ProgSettings_Confirms.h"
#include "dialogs/ProgSettings_DriveAccess.h"
#include "dialogs/ProgSettings_Lang.h"
#include "dialogs/ProgSettings_Logging.h"
#include "dialogs/ProgSettings_SearchFileTypes.h"
#include "dialogs/ProgSettings_Temporary.h"
#include "engine/records/ProgramLog.h"

CProgSettings::CProgSettings(const QString& title, int startPage, QWidget* parent, AppSettings& settings,
                             FileTypeDatabase* database)
    : CResizablePropertySheet(title, startPage, parent) {
  SetNoApplyNow();
  SetHasHelp(true);
  common_ = new CProgSettings_Common(settings);
  confirms_ = new CProgSettings_Confirms(settings);
  fileTypes_ = new CProgSettings_SearchFileTypes(settings, database);
  temporary_ = new CProgSettings_Temporary(settings);
  driveAccess_ = new CProgSettings_DriveAccess(settings);
  logging_ = new CProgSettings_Logging(settings);
  language_ = new CProgSettings_Lang(settings);
  for (controls::CResizablePropertyPage* page :
       std::initializer_list<controls::CResizablePropertyPage*>{common_, confirms_, fileTypes_, temporary_,
                                                                driveAccess_, logging_, language_})
    AddPage(page);
  // The tabs in one row: the pages are at least as wide as the row of captions.
  QTabBar row;
  row.setFont(font());
  row.setExpanding(false);
  for (int i = 0; i < PageCount(); ++i) row.addTab(Page(i)->Title());
  const int width = row.sizeHint().width() + 16;
  for (int i = 0; i < PageCount(); ++i) {
    controls::CResizablePropertyPage* page = Page(i);
    if (page->width() < width) page->resize(width, page->height());
  }
}

CProgSettings::~CProgSettings() = default;

void CProgSettings::showEvent(QShowEvent* event) {
  CResizablePropertySheet::showEvent(event);
  if (translated_) return;
  translated_ = true;
  if (g_App) g_App->Languages().TranslateWindow(QStringLiteral("ProgramSettings"), this);
}

int CProgSettings::Show(QWidget* owner, int page, AppSettings& settings, FileTypeDatabase* database) {
  int result;
  {
    CProgSettings sheet(LangString(kTitleStringId), page, owner, settings, database);
    result = sheet.DoModal();
  }
  Log().ApplySettings(settings);
  return result;
}
