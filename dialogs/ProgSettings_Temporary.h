#pragma once
// Settings page "Temporary Folder" (form 293): the system's temporary folder
// ($TMPDIR or /tmp, with a trailing "/") or a folder of the user's choice, where
// "try to open" puts its copies.
//
// The choice is worked out anew each time the page opens: custom exactly when the
// stored folder is not the system's (compared as they are, after a trailing "/";
// Linux folder names differ by letter case). A click on a radio button stores the
// choice at once. OK stores the system path for the default, or the typed folder,
// which must be absolute and exist or be made; otherwise the apply is refused.

#include "dialogs/ProgSettingsPage.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

class CProgSettings_Temporary : public CProgSettingsPage {
  Q_OBJECT

 public:
  explicit CProgSettings_Temporary(AppSettings& settings);
  int OnApply() override;

  // The system temporary folder with a trailing "/".
  static QString SystemTempPath();
  // Whether two folder paths name the same folder: equal after a trailing "/" is
  // dropped from each (the root stays "/").
  static bool SameFolder(const QString& a, const QString& b);
  // Whether `path` is an absolute folder that exists or could be made (it is made).
  static bool MakeUsableFolder(const QString& path);

 protected:
  void Prepare() override;
  void Load() override;
  void UpdateEnabling() override;

 private:
  void OnRadioClicked();
  void OnBrowse();

  QString systemPath_;
  QRadioButton* system_;
  QRadioButton* custom_;
  QLineEdit* folder_;
  QPushButton* browse_;
};
