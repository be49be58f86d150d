#include "wizards/WizardModeResultsPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/ControlId.h"
#include "dialogs/FiltersView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "wizards/WizardModeExplorerHost.h"
#include "wizards/WizardMode_Main.h"

CWizardModeResultsPage::CWizardModeResultsPage(int dialogId, int titleId, const QString& section, const QString& hint)
    : CWizardModePage(dialogId, titleId, section), host_(new CWizardModeExplorerHost(this)) {
  QVBoxLayout* layout = Layout();
  layout->addWidget(AddText(QStringLiteral("Found files:")));
  layout->addWidget(host_, 1);
  auto* buttons = new QHBoxLayout;
  auto button = [&](int id, const QString& text, auto&& onClick) {
    auto* b = new QPushButton(text, this);
    controls::SetControlId(b, id);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, onClick);
    buttons->addWidget(b);
  };
  button(IDC_RECOVER, QStringLiteral("&Recover..."), [this] { PostCommand(mainframe::ID_RECOVER); });
  button(IDC_TRY_OPEN, QStringLiteral("&Try to Open..."), [this] { PostCommand(mainframe::ID_TRY_OPEN); });
  button(IDC_INFORMATION, QStringLiteral("&Information..."), [this] { PostCommand(mainframe::ID_INFORMATION); });
  buttons->addStretch(1);
  button(IDC_FILTERS, QStringLiteral("Filters"), [this] { OnFilters(); });
  layout->addLayout(buttons);
  layout->addWidget(AddText(hint, IDC_HINT));
}

CWizardModeResultsPage::~CWizardModeResultsPage() = default;

CVolumeExploreView* CWizardModeResultsPage::View() const { return host_->View(); }

void CWizardModeResultsPage::InitPage() {
  View()->setSizes({host_->TreeWidth(), std::max(1, View()->width() - host_->TreeWidth())});
  View()->Tree()->SetDeviceMenuEnabled(0);
}

void CWizardModeResultsPage::PostCommand(int id) {
  QMetaObject::invokeMethod(
      View(), [view = View(), id] { view->OnCommand(id); }, Qt::QueuedConnection);
}

void CWizardModeResultsPage::OnFilters() { CFiltersView::Show(window()); }
