#include "wizards/WizardModeExplorerHost.h"

#include <QResizeEvent>

#include <algorithm>

#include "controls/ControlId.h"
#include "mainframe/FilesTreeView.h"
#include "mainframe/VolumeExploreView.h"

CWizardModeExplorerHost::CWizardModeExplorerHost(QWidget* parent)
    : QFrame(parent), view_(new CVolumeExploreView(this)) {
  controls::SetControlId(this, IDC_PLACEHOLDER);
  setFrameShape(QFrame::NoFrame);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumHeight(120);
  // The narrow tree shows more of its names with a smaller step per level.
  view_->Tree()->setIndentation(kTreeIndentation);
  view_->setGeometry(ViewRect(size()));
  view_->setSizes({kSplitterPosition, std::max(1, view_->width() - kSplitterPosition)});
  connect(view_, &QSplitter::splitterMoved, this, [this] { splitterMoved_ = true; });
}

CWizardModeExplorerHost::~CWizardModeExplorerHost() = default;

QRect CWizardModeExplorerHost::ViewRect(QSize size) {
  return QRect(1, 1, std::max(0, size.width() - 3), std::max(0, size.height() - 3));
}

void CWizardModeExplorerHost::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  // The tree keeps its width (120 pixels until the user moves the splitter); the
  // list takes what the page gains.
  const int tree = splitterMoved_ ? view_->sizes().value(0, kSplitterPosition) : kSplitterPosition;
  view_->setGeometry(ViewRect(event->size()));
  view_->setSizes({tree, std::max(1, view_->width() - tree)});
}
