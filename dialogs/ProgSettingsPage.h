#pragma once
// What the seven pages of the program settings sheet share: the caption and form
// id, the 48x48 icon on its static at the top left with the page's controls to its
// right, the initialisation every page runs (tell the sheet, icon, page-specific
// preparation, registration with the language tables under the page's section,
// load, enabling). Help goes through the sheets' help handler (57670).
//
// Pages edit the settings record in place (AppSettings, owned by the application
// or a test). GUI thread only.

#include <QString>

#include "controls/ResizablePropertyPage.h"

class AppSettings;
class QLabel;
class QVBoxLayout;

class CProgSettingsPage : public controls::CResizablePropertyPage {
  Q_OBJECT

 public:
  // Form sizes in dialog units (the sheet widens them to fit its row of tabs).
  static constexpr int kWidthDlu = 300;
  static constexpr int kHeightDlu = 180;

  CProgSettingsPage(const QString& caption, int dialogId, int iconId, int iconStaticId, const QString& section,
                    AppSettings& settings);
  ~CProgSettingsPage() override;

  QString Section() const { return section_; }
  AppSettings& Settings() const { return settings_; }

  void OnInitDialog() final;

 protected:
  // Steps 3 and 5 of the initialisation.
  virtual void Prepare() {}
  virtual void Load() {}
  virtual void UpdateEnabling() {}

  // Where the page's controls go (right of the icon).
  QVBoxLayout* Body() const { return body_; }

 private:
  AppSettings& settings_;
  QString section_;
  int iconId_;
  QLabel* icon_;
  QVBoxLayout* body_;
};
