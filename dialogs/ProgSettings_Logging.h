#pragma once
// Settings page "Logging" (form 292): whether the log is written to a file, the
// file's name, its largest size (1..102,400 KB, with arrows 1117 that stop there),
// whether it is cleared at start, and whether each line also goes to standard
// error (the stand-in for the system debug window).
//
// A click on "Save log in file" stores the page's controls at once (a size that is
// not a valid number is left as stored) and enables or disables the file's
// controls. OK refuses a name longer than its field or a size that is not a number
// in the range. The sheet hands the settings to the log when it closes.

#include "dialogs/ProgSettingsPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace controls {
class CUpDownCtrl;
}

class CProgSettings_Logging : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_Logging(AppSettings& settings);
  int OnApply() override;

 protected:
  void Prepare() override;
  void Load() override;
  void UpdateEnabling() override;

 private:
  void OnLogToFileClicked();
  // Stores the controls; with `refuse` a field that can't be stored refuses (1),
  // else it is left as stored.
  int Save(bool refuse);

  QCheckBox* toFile_;
  QLabel* nameLabel_;
  QLineEdit* name_;
  QLabel* sizeLabel_;
  QLineEdit* size_;
  controls::CUpDownCtrl* sizeSpin_;
  QLabel* kbLabel_;
  QCheckBox* clear_;
  QCheckBox* debugger_;
};
