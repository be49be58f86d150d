#include "wizards/WizardModePage.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/App.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "wizards/WizardMode_Main.h"

CWizardModePage::CWizardModePage(int dialogId, int titleId, const QString& section)
    : CResizablePropertyPage(), section_(section), layout_(new QVBoxLayout(this)) {
  SetDialogId(dialogId);
  SetHeaderTitle(LangString(std::uint32_t(titleId)));
  SetHeaderSubTitle(QString());
  setWindowTitle(QStringLiteral("Vandrel Pro"));
  layout_->setContentsMargins(DluX(7), DluY(7), DluX(7), DluY(7));
  layout_->setSpacing(DluY(4));
  resize(controls::DluToPixels(font(), kWidthDlu, kHeightDlu));
}

CWizardModePage::~CWizardModePage() = default;

CWizardMode_Main* CWizardModePage::Main() const { return qobject_cast<CWizardMode_Main*>(Sheet()); }

bool CWizardModePage::IsActive() const { return activating_ || (Sheet() && Sheet()->ActivePage() == this); }

bool CWizardModePage::OnSetActive() {
  activating_ = true;
  const bool shown = OnPageSetActive();
  activating_ = false;
  if (shown && Main()) {
    Main()->OnPageShown(this);
    // Help from the page opens the page's own topic.
    setProperty(kHelpTopicProperty, HelpTopic(std::max(0, Main()->PageIndex(this))));
  }
  // As a dialog page takes the keyboard when it is shown: its first control that
  // Tab reaches, unless the page has put the focus somewhere of its own.
  if (shown) QTimer::singleShot(0, this, [this] { FocusFirstControl(); });
  return shown;
}

void CWizardModePage::FocusFirstControl() {
  if (!IsActive() || !isVisible()) return;
  if (QWidget* focus = QApplication::focusWidget(); focus && isAncestorOf(focus)) return;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
    if (!isAncestorOf(w) || !w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
    w->setFocus(Qt::TabFocusReason);
    return;
  }
}

QString CWizardModePage::HelpTopic(int step) {
  return QStringLiteral("files/wizard.steps.html#step%1").arg(step);
}

void CWizardModePage::OnInitDialog() {
  SendPageInitialized();
  InitPage();
  if (g_App) g_App->Languages().TranslateWindow(section_, this);
}

QLabel* CWizardModePage::AddText(const QString& text, int id) {
  auto* label = new QLabel(text, this);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  if (id) controls::SetControlId(label, id);
  return label;
}

int CWizardModePage::DluX(int dlu) const { return controls::DluToPixelsX(controls::BaseUnitsOf(font()), dlu); }
int CWizardModePage::DluY(int dlu) const { return controls::DluToPixelsY(controls::BaseUnitsOf(font()), dlu); }
