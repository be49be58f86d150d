#include "dialogs/ProgSettings_Lang.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"
#include "controls/ControlId.h"
#include "engine/records/AppSettings.h"

CProgSettings_Lang::CProgSettings_Lang(AppSettings& settings)
    : CProgSettingsPage(QStringLiteral("Interface Language"), 287, app::IDI_SETTINGS_LANGUAGE, 1121,
                        QStringLiteral("ProgrammSettings.Languages"), settings) {
  combo_ = new QComboBox(this);
  controls::SetControlId(combo_, 1045);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Language:"), combo_);
  Body()->addLayout(form);
  auto* note = new QLabel(QStringLiteral("NOTE: After you change the interface language, the program must be "
                                         "restarted for the change to take effect."),
                          this);
  note->setWordWrap(true);
  Body()->addWidget(note);
  auto* help = new QLabel(
      QStringLiteral("Press F1 to get more information about localization of your copy of the program."), this);
  help->setWordWrap(true);
  Body()->addWidget(help);
  Body()->addStretch(1);
  connect(combo_, &QComboBox::currentIndexChanged, this, &CProgSettings_Lang::OnSelectionChanged);
}

void CProgSettings_Lang::Prepare() {
  filling_ = true;
  if (g_App) g_App->Languages().FillLanguageCombo(combo_);
  if (Settings().LanguageIndex() < combo_->count()) combo_->setCurrentIndex(Settings().LanguageIndex());
  filling_ = false;
}

void CProgSettings_Lang::OnSelectionChanged(int index) {
  if (filling_ || index < 0) return;
  Settings().SetLanguageIndex(index);
  if (g_App) g_App->Languages().SelectLanguage(index);
}
