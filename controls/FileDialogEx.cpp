#include "controls/FileDialogEx.h"

CFileDialogEx::CFileDialogEx(bool openFileDialog, const QString& defaultExt, const QString&, unsigned flags,
                             const QString& filter, QWidget* parent)
    : QFileDialog(parent), m_flags(flags) {
  setAcceptMode(openFileDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  setFileMode(openFileDialog ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
  setOption(QFileDialog::DontConfirmOverwrite, (flags & OFN_OVERWRITEPROMPT) == 0);
  if (!defaultExt.isEmpty()) setDefaultSuffix(defaultExt);
  if (!filter.isEmpty()) setNameFilter(filter);
}

int CFileDialogEx::DoModal(QWidget* parent) {
  if (parent && parent != parentWidget()) setParent(parent, windowFlags());
  if (exec() != QDialog::Accepted) return IDCANCEL;
  m_paths = selectedFiles();
  return IDOK;
}
