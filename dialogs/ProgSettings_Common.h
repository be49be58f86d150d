#pragma once
// Settings page "Common Settings" (form 291): whether the splash shows at start.
// The update-check controls of the form are not built; AppSettings::UpdateCheckDays
// keeps its stored value.

#include "dialogs/ProgSettingsPage.h"

class QCheckBox;

class CProgSettings_Common : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_Common(AppSettings& settings);
  int OnApply() override;

 protected:
  void Load() override;

 private:
  QCheckBox* splash_;
};
