#include "app/PlaceholderWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/App.h"
#include "app/Icons.h"

namespace {
QString ModeName(int mode) {
  switch (CApp::KindOfMode(mode)) {
    case CApp::WindowKind::WizardMode: return QStringLiteral("Wizard mode");
    case CApp::WindowKind::SignatureWizard: return QStringLiteral("New Signature Wizard");
    case CApp::WindowKind::MainFrame: break;
  }
  return CApp::ModeShowsDataViewer(mode) ? QStringLiteral("Explorer mode with the data viewer")
                                         : QStringLiteral("Explorer mode with the legend");
}
}  // namespace

CPlaceholderWindow::CPlaceholderWindow(int mode, QWidget* parent) : QWidget(parent), mode_(mode) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowIcon(app::IconById(app::IDI_PROGRAM));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(ModeName(mode), this);
  label->setAlignment(Qt::AlignCenter);
  layout->addWidget(label);
  resize(640, 420);
}

void CPlaceholderWindow::closeEvent(QCloseEvent* event) {
  if (g_App && !g_App->Exit()) {
    event->ignore();
    return;
  }
  event->accept();
}
