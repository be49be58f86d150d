#pragma once
// The open-file dialog that picks many files at once and hands back their full
// paths, in the order the dialog gives them. Qt returns the chosen paths as a
// list, so no buffer of names is parsed here.
//
// Owner: the caller, for the time it shows the dialog. GUI thread only.

#include <QFileDialog>
#include <QStringList>

class CFileDialogEx : public QFileDialog {
  Q_OBJECT

 public:
  // The open-dialog flags callers pass (only these matter here).
  static constexpr unsigned OFN_OVERWRITEPROMPT = 0x2;
  static constexpr unsigned OFN_HIDEREADONLY = 0x4;
  static constexpr unsigned OFN_ALLOWMULTISELECT = 0x200;
  static constexpr unsigned OFN_FILEMUSTEXIST = 0x1000;
  static constexpr unsigned OFN_EXPLORER = 0x80000;
  // DoModal's results.
  static constexpr int IDOK = 1;
  static constexpr int IDCANCEL = 2;

  // An open dialog for existing files (several at once), or a save dialog. The
  // dialog always starts with an empty file name: `fileName` is not shown.
  // `filter` is in Qt's form ("Pictures (*.jpg *.png);;All files (*)").
  explicit CFileDialogEx(bool openFileDialog = true, const QString& defaultExt = {}, const QString& fileName = {},
                         unsigned flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, const QString& filter = {},
                         QWidget* parent = nullptr);

  // Runs the dialog modally over `parent` (when given). On OK the paths become
  // the chosen files' full paths and the result is IDOK; otherwise the paths stay
  // as they were and the result is IDCANCEL.
  int DoModal(QWidget* parent = nullptr);
  const QStringList& GetPaths() const { return m_paths; }
  unsigned GetFlags() const { return m_flags; }

 private:
  unsigned m_flags = 0;
  QStringList m_paths;
};
