#pragma once
// The file-type tree whose checks are the types' searchEnabled flags: which types
// the signature search looks for. The settings page "File Types" and the wizard's
// file-type step put it in place of their tree control (id 1042). Everything but
// the flag and the group labels (their display names) is CFileTypeTreeView's.
//
// Owner: the page. GUI thread only.

#include "dialogs/FileTypeTreeView.h"

class CSearchFileTypeTreeView : public CFileTypeTreeView {
  Q_OBJECT

 public:
  explicit CSearchFileTypeTreeView(QWidget* parent = nullptr);

  // Fills the tree (groups and types of the program's database); false without one.
  bool SubclassWindow() { return Fill(); }
  // 0 loads the checks from the flags; 1 stores them and saves the database
  // (false when the save failed).
  bool ExchangeChecks(int store);
};
