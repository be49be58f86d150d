#include "dialogs/ObjectInformationTreeView.h"

CObjectInformationTreeView::CObjectInformationTreeView(QWidget* parent)
    : CFileTypeTreeView(Flag::ShowInFilter, parent) {}

bool CObjectInformationTreeView::SyncChecks(int save) {
  if (save) return StoreChecks();
  LoadChecks();
  return true;
}
