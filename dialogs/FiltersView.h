#pragma once
// CFiltersView: the modal sheet "Filters" (string 141) that sets which found
// objects the tree and list views show: its "General" page (name mask, deleted
// only, creation dates) and its "File Types" page (type mode and the types shown).
// OK, Cancel and Help; no Apply.
//
// The filter is edited in memory (the computer's FileFilter); the types'
// showInFilter flags are saved with the database on OK. What a page stores at
// once (its check boxes, the type mode) stays after Cancel.
//
// The openers (the main window's "Filters..." command 32803 and the wizard's
// result pages) call Show, which runs the sheet and then emits
// Changes().filterChanged() however it closed, so that every view showing found
// objects applies the filter again:
//
//   connect(&CFiltersView::Changes(), &CFilterChangeNotifier::filterChanged,
//           view, [view] { view->Refresh(); });
//
// GUI thread only.

#include "controls/ResizablePropertySheet.h"
#include "dialogs/FilterChangeNotifier.h"

class CFiltersView_FileTypes;
class CFiltersView_General;
class FileFilter;
class FileTypeDatabase;

class CFiltersView : public controls::CResizablePropertySheet {
  Q_OBJECT

 public:
  static constexpr int kTitleStringId = 141;

  // Where the views hear that the filter may have changed.
  static CFilterChangeNotifier& Changes();

  // `filter` null: the computer's; `database` null: the program's.
  CFiltersView(const QString& title, int startPage, QWidget* parent, FileFilter* filter = nullptr,
               FileTypeDatabase* database = nullptr);
  ~CFiltersView() override;

  // Runs the sheet (title string 141) modally over `owner`, then emits
  // Changes().filterChanged(). The dialog's result.
  static int Show(QWidget* owner, FileFilter* filter = nullptr, FileTypeDatabase* database = nullptr);

  CFiltersView_General* GeneralPage() const { return general_; }
  CFiltersView_FileTypes* FileTypesPage() const { return fileTypes_; }

 private:
  CFiltersView_General* general_;
  CFiltersView_FileTypes* fileTypes_;
};
