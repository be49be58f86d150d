#pragma once
// Settings page "Interface Language" (form 287): the language of the program's
// texts. Choosing one in the list makes it current at once (every registered
// window is re-texted) and stores its index; Cancel does not undo it.

#include "dialogs/ProgSettingsPage.h"

class QComboBox;

class CProgSettings_Lang : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_Lang(AppSettings& settings);

  QComboBox* Combo() const { return combo_; }

 protected:
  void Prepare() override;

 private:
  void OnSelectionChanged(int index);

  QComboBox* combo_;
  bool filling_ = false;
};
