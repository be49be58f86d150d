#pragma once
// The recovery options dialog "Recover" (dialog 237): the destination folder, a
// Browse button, "Keep folder structure", and OK, Cancel, Help. It edits the
// settings record directly (load at opening, save at OK). OK checks the
// destination through the computer object (CheckDestinationFolder: refused on the
// drive being recovered from, created when missing, each with its own message);
// when that succeeds it posts WM_START_RECOVERY to the top window, whose explorer
// view collects the selection and starts the recovery, and returns 1; when it
// fails the dialog stays open with the user's text. Cancel returns 2; Help runs
// the application's help (command 57670) and leaves the dialog open.
//
// The dialog leaves AppSettings::AutoRecover alone (the wizard's own destination
// page edits it).
//
// Modal, GUI thread; owned by whoever opens it.

#include <QDialog>
#include <QString>

#include "controls/Bitmaps.h"

class AppSettings;
class CLocalComputer;
class QCheckBox;
class QLineEdit;

namespace controls {
class CLabel;
}

class COnRecoveryDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 237,
    IDC_DESTINATION = 1032,
    IDC_BROWSE = 1034,
    IDC_TITLE = 1060,
    IDC_KEEP_FOLDER_STRUCTURE = 1113,
    IDC_HELP_BUTTON = 9,
  };
  static constexpr int kHeaderBitmap = controls::kBitmapRecoverHeader;
  static constexpr int kHelpCommand = 57670;
  // The edit holds at most 4,096 UTF-16 units with the terminator.
  static constexpr int kMaxDestinationUnits = 4095;

  // `settings` null: the program's record; `computer` null: g_Computer.
  explicit COnRecoveryDlg(QWidget* parent = nullptr, AppSettings* settings = nullptr,
                          CLocalComputer* computer = nullptr);

  // Data exchange between the controls and the settings: load or save.
  void Exchange(bool save);
  // The folder picker; a chosen folder becomes the destination with one "/"
  // appended unless it ends with one already.
  void OnBrowse();
  // Save, check the destination, post WM_START_RECOVERY and close with 1; the
  // dialog stays open when the check refuses.
  void OnOK();

  // "/out" gives "/out/", "/out/" and "/" stay.
  static QString WithTrailingSeparator(const QString& folder);

 protected:
  void accept() override { OnOK(); }

 private:
  AppSettings& settings_;
  CLocalComputer* computer_;
  controls::CLabel* title_ = nullptr;
  QLineEdit* destination_ = nullptr;
  QCheckBox* keepFolders_ = nullptr;
};
