#include "wizards/WizardModeExplorerHost.h"

#include <QResizeEvent>
#include <QStyle>

#include <algorithm>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/VolumeExploreView.h"

CWizardModeExplorerHost::CWizardModeExplorerHost(QWidget* parent)
    : QFrame(parent), view_(new CVolumeExploreView(this)) {
  controls::SetControlId(this, IDC_PLACEHOLDER);
  setFrameShape(QFrame::NoFrame);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumHeight(120);
  // The narrow tree shows more of its names with a smaller step per level.
  view_->Tree()->setIndentation(kTreeIndentation);
  view_->setGeometry(ViewRect(size()));
  view_->setSizes({TreeWidth(), std::max(1, view_->width() - TreeWidth())});
  connect(view_, &QSplitter::splitterMoved, this, [this] { splitterMoved_ = true; });
}

CWizardModeExplorerHost::~CWizardModeExplorerHost() = default;

int CWizardModeExplorerHost::TreeWidth() const {
  const int scaled = controls::ScaledPixelsX(font(), kSplitterPosition);
  // A card's folders show their names whole down to DCIM/100CANON (the fourth
  // level below the drive), and so does a card image's partition at 1 MiB: the
  // step per level, a check box, an icon, the name.
  const CFilesTreeView* tree = view_->Tree();
  const int icon = tree->iconSize().isValid() ? tree->iconSize().width() : 16;
  int names = 0;
  for (const QString& name : {QStringLiteral("Documents"), QStringLiteral("100CANON"), QStringLiteral("Volume at: 1048576")})
    names = std::max(names, tree->fontMetrics().horizontalAdvance(name));
  const int fit = 4 * tree->indentation() + tree->style()->pixelMetric(QStyle::PM_IndicatorWidth) + icon + names +
                  2 * tree->frameWidth() + 12;
  return std::max(scaled, fit);
}

QRect CWizardModeExplorerHost::ViewRect(QSize size) {
  return QRect(1, 1, std::max(0, size.width() - 3), std::max(0, size.height() - 3));
}

void CWizardModeExplorerHost::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  // The tree keeps its width (120 pixels until the user moves the splitter); the
  // list takes what the page gains.
  const int tree = splitterMoved_ ? view_->sizes().value(0, TreeWidth()) : TreeWidth();
  view_->setGeometry(ViewRect(event->size()));
  view_->setSizes({tree, std::max(1, view_->width() - tree)});
}
