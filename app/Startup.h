#pragma once
// The whole life of the program on its main thread, as the executable's main runs
// it: the program-wide objects in their fixed order, the administrator check, the
// command line, then the first user-interface mode. Tests run the same code with
// seams for the privilege check and without the event loop.
//
// Order: CApp (its language tables become the engine's string source), the
// settings record, the registry key, CLocalComputer, the log's settings, the
// file-type database installed; IsUserAdmin; the command line ("/addsig" imports
// and ends, "/cs" starts the New Signature Wizard, else the wizard mode); CApp::Run.
//
// The libraries above this one (dialogs, main frame, wizards) plug in through the
// `registerLibraries` seam: the executable passes a function that calls each
// present library's registration function with the application object.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CApp;
class CLocalComputer;
class FileTypeDatabase;

struct CommandLine {
  enum class Action { AddSignature, Start };
  Action action = Action::Start;
  int mode = 32840;
  // For AddSignature: the text after "/addsig" and one separator, unchanged.
  std::u16string fileName;
  // "/addsig" ends the text: there is no file name to import.
  bool fileNameMissing = false;
};

// The command-line text is the arguments joined by blanks. "/addsig" (anywhere,
// case-sensitive) imports; else "/cs" (anywhere) gives mode 100; else 32840.
CommandLine ParseCommandLine(std::u16string_view text);
std::u16string JoinArguments(const QStringList& arguments);

class CStartup {
 public:
  struct Seams {
    std::function<bool()> isUserAdmin;                 // default: platform::IsUserAdmin
    std::function<void(CApp&)> registerLibraries;      // the executable's libraries
    bool runEventLoop = true;                          // false: Run makes the window, no loop
    QString programDir;                                // default: the executable's folder
  };

  CStartup();
  explicit CStartup(Seams seams);
  // Tears the objects down in reverse order (tests; the program never does).
  ~CStartup();
  CStartup(const CStartup&) = delete;
  CStartup& operator=(const CStartup&) = delete;

  // The whole start-up; returns the process's exit code (0 on every path).
  int Main(std::u16string_view commandLine);
  // The program-wide objects, in their order (Main's first part).
  void BuildProgramObjects();
  // "/addsig": loads the database, imports, says how it went in a box.
  void AddSignature(const CommandLine& commandLine);

  CApp* App() const { return app_.get(); }
  CLocalComputer* Computer() const { return computer_.get(); }
  FileTypeDatabase* FileTypes() const { return types_.get(); }
  // What the last Main did: "admin", "addsig", "run".
  const char* LastPath() const { return lastPath_; }

 private:
  Seams seams_;
  std::unique_ptr<CApp> app_;
  std::unique_ptr<CLocalComputer> computer_;
  std::shared_ptr<FileTypeDatabase> types_;
  const char* lastPath_ = "";
};
