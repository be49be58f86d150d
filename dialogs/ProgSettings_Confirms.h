#pragma once
// Settings page "Confirmations" (form 288): which questions the program asks.
// The form's hidden "Confirm file overwrite" box is not built;
// AppSettings::ConfirmOverwrite keeps its stored value.

#include "dialogs/ProgSettingsPage.h"

class QCheckBox;

class CProgSettings_Confirms : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_Confirms(AppSettings& settings);
  int OnApply() override;

 protected:
  void Load() override;

 private:
  QCheckBox* exit_;
  QCheckBox* scanAbort_;
  QCheckBox* recoveryAbort_;
  QCheckBox* noTryOpenWarning_;
};
