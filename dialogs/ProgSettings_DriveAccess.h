#pragma once
// Settings page "Drive Access" (form 290): how often a failed sector read is
// tried again and the pause between the tries. Each edit has arrows (up-downs 1117
// and 1119) that stop at the ends of the range the settings record keeps (0..100
// retries, 0..60,000 ms); OK refuses a typed value that is not a number or lies
// outside that range, naming it, with the focus on the edit.

#include "dialogs/ProgSettingsPage.h"

class QLineEdit;

namespace controls {
class CUpDownCtrl;
}

class CProgSettings_DriveAccess : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_DriveAccess(AppSettings& settings);
  int OnApply() override;

 protected:
  void Prepare() override;
  void Load() override;

 private:
  QLineEdit* retries_;
  QLineEdit* pause_;
  controls::CUpDownCtrl* retriesSpin_;
  controls::CUpDownCtrl* pauseSpin_;
};
