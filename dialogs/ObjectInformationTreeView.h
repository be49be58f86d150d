#pragma once
// The file-type tree whose checks are the types' showInFilter flags: which types
// the found-object views show when the filter's type mode is "Custom:". The
// filters sheet's "File Types" page (tree 1152) and the file types dialog (tree
// 1042) use it. Everything but the flag and the group labels (the group's title,
// also when empty) is CFileTypeTreeView's.
//
// Owner: the page or dialog. GUI thread only.

#include "dialogs/FileTypeTreeView.h"

class CObjectInformationTreeView : public CFileTypeTreeView {
  Q_OBJECT

 public:
  explicit CObjectInformationTreeView(QWidget* parent = nullptr);

  // Fills the tree (groups and types of the program's database); false without one.
  bool SubclassTree() { return Fill(); }
  // 0 loads the checks from the flags; 1 stores them and saves the database
  // (false when the save failed).
  bool SyncChecks(int save);
};
