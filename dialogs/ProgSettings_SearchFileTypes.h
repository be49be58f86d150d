#pragma once
// Settings page "File Types" (form 351): which file types the signature search
// looks for, as checks in a CSearchFileTypeTreeView (tree 1042). OK stores the
// checks into the types' searchEnabled flags and saves the database.

#include "dialogs/ProgSettingsPage.h"

class CSearchFileTypeTreeView;
class FileTypeDatabase;

class CProgSettings_SearchFileTypes : public CProgSettingsPage {
  Q_OBJECT

 public:
  // `database` null: the program's.
  CProgSettings_SearchFileTypes(AppSettings& settings, FileTypeDatabase* database = nullptr);
  int OnApply() override;

  CSearchFileTypeTreeView* Tree() const { return tree_; }

 protected:
  void Prepare() override;

 private:
  CSearchFileTypeTreeView* tree_;
};
