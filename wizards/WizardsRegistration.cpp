#include "wizards/WizardsRegistration.h"

#include "app/App.h"
#include "wizards/SignatureCreateWizard.h"

void RegisterWizards(CApp& app) {
  app.SetTopWindowFactory(CApp::WindowKind::SignatureWizard, [](int) {
    auto* wizard = new CSignatureCreateWizard(QStringLiteral("New Signature Wizard"));
    return CApp::ModeWindow{wizard, nullptr};
  });
}
