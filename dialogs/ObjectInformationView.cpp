#include "dialogs/ObjectInformationView.h"
int CObjectInformationView::ShowModal(FileType*, FileTypeDatabase*, QWidget*) { return 0; }
