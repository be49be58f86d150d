#include "dialogs/SearchFileTypeTreeView.h"

CSearchFileTypeTreeView::CSearchFileTypeTreeView(QWidget* parent)
    : CFileTypeTreeView(Flag::SearchEnabled, parent) {}

bool CSearchFileTypeTreeView::ExchangeChecks(int store) {
  if (store) return StoreChecks();
  LoadChecks();
  return true;
}
