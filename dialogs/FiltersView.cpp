#include "dialogs/FiltersView.h"

#include "app/App.h"
#include "dialogs/FiltersView_FileTypes.h"
#include "dialogs/FiltersView_General.h"

CFilterChangeNotifier& CFiltersView::Changes() {
  static CFilterChangeNotifier notifier;
  return notifier;
}

CFiltersView::CFiltersView(const QString& title, int startPage, QWidget* parent, FileFilter* filter,
                           FileTypeDatabase* database)
    : CResizablePropertySheet(title, startPage, parent) {
  SetNoApplyNow();
  SetHasHelp(true);
  general_ = new CFiltersView_General(filter);
  fileTypes_ = new CFiltersView_FileTypes(filter, database);
  AddPage(general_);
  AddPage(fileTypes_);
}

CFiltersView::~CFiltersView() = default;

int CFiltersView::Show(QWidget* owner, FileFilter* filter, FileTypeDatabase* database) {
  int result;
  {
    CFiltersView sheet(LangString(kTitleStringId), 0, owner, filter, database);
    result = sheet.DoModal();
  }
  emit Changes().filterChanged();
  return result;
}
