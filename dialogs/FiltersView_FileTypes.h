#pragma once
// Filters page "File Types" (form 299): which file types the found-object views
// show. "Show all files", "Show only known file types" or "Custom:" with the
// types checked in the tree below (their showInFilter flags). A click on a radio
// button stores the mode into the filter at once and enables the tree only for
// "Custom:"; OK stores the checks into the types and saves the database.
//
// A stored mode outside 0..2 opens with no radio button checked and the tree
// enabled; OK then keeps that mode. The form's hidden "Don't show file types other
// than checked" box is not built. GUI thread only.

#include "controls/ResizablePropertyPage.h"

class CObjectInformationTreeView;
class FileFilter;
class FileTypeDatabase;
class QRadioButton;

class CFiltersView_FileTypes : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kShowAll = 1122;
  static constexpr int kKnownOnly = 1085;
  static constexpr int kCustom = 1086;

  // `filter` null: the computer's; `database` null: the program's.
  explicit CFiltersView_FileTypes(FileFilter* filter = nullptr, FileTypeDatabase* database = nullptr);

  void OnInitDialog() override;
  int OnApply() override;

  // Enables the tree only for "Custom:" and stores the radio group into the
  // filter's type mode.
  void SetMode(int id);

  CObjectInformationTreeView* Tree() const { return tree_; }

 private:
  // The mode of the checked radio button, -1 when none is checked.
  int CheckedMode() const;

  FileFilter* filter_;
  QRadioButton* all_;
  QRadioButton* known_;
  QRadioButton* custom_;
  CObjectInformationTreeView* tree_;
};
