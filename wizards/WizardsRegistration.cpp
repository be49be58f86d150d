#include "wizards/WizardsRegistration.h"

#include "app/App.h"
#include "wizards/SignatureCreateWizard.h"
#include "wizards/WizardMode_Main.h"

void RegisterWizards(CApp& app) {
  app.SetTopWindowFactory(CApp::WindowKind::SignatureWizard, [](int) {
    auto* wizard = new CSignatureCreateWizard(QStringLiteral("New Signature Wizard"));
    return CApp::ModeWindow{wizard, nullptr};
  });
  app.SetTopWindowFactory(CApp::WindowKind::WizardMode, [](int) {
    auto* wizard = new CWizardMode_Main();
    return CApp::ModeWindow{wizard, nullptr};
  });
}
