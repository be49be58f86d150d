// The executable VandrelPro: the Qt application, then start-up (app/Startup.h)
// with the libraries above the application object plugged in, then the end of
// the process without static destruction.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/App.h"
#include "app/Startup.h"

#ifdef VANDREL_HAVE_DIALOGS
#include "dialogs/DialogsRegistration.h"
#endif
#ifdef VANDREL_HAVE_MAINFRAME
#include "mainframe/frame/MainframeRegistration.h"
#endif
#ifdef VANDREL_HAVE_WIZARDS
#include "wizards/WizardsRegistration.h"
#endif

namespace {
// Each library above the application object provides one registration function
// (its top-window factories, the settings sheet, its question handlers).
void RegisterLibraries([[maybe_unused]] CApp& app) {
#ifdef VANDREL_HAVE_DIALOGS
  RegisterDialogs(app);
#endif
#ifdef VANDREL_HAVE_MAINFRAME
  RegisterMainframe(app);
#endif
#ifdef VANDREL_HAVE_WIZARDS
  RegisterWizards(app);
#endif
}
}  // namespace

int main(int argc, char** argv) {
  auto* application = new QApplication(argc, argv);
  CStartup::Seams seams;
  seams.registerLibraries = RegisterLibraries;
  // Never destroyed: a worker that outlives the loop may still use these objects;
  // the process ends through quick_exit.
  auto* startup = new CStartup(seams);
  const int code = startup->Main(JoinArguments(application->arguments().mid(1)));
  if (g_App) g_App->EndProcess(code);
  std::fflush(nullptr);
  std::quick_exit(code);
}
