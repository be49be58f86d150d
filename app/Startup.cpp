#include "app/Startup.h"

#include "app/App.h"
#include "app/MessageBox.h"
#include "app/QtText.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/LocalComputer.h"
#include "platform/Privilege.h"
#include "search/FileTypeDatabase.h"
#include "search/RecoveryJobs.h"

namespace {
constexpr std::u16string_view kAddSig = u"/addsig";
constexpr std::u16string_view kCs = u"/cs";

std::u16string StripQuotes(std::u16string_view text) {
  while (!text.empty() && text.front() == u'"') text.remove_prefix(1);
  while (!text.empty() && text.back() == u'"') text.remove_suffix(1);
  return std::u16string(text);
}
}  // namespace

CommandLine ParseCommandLine(std::u16string_view text) {
  CommandLine out;
  const std::size_t p = text.find(kAddSig);
  if (p != std::u16string_view::npos) {
    out.action = CommandLine::Action::AddSignature;
    // The seven letters and one separator are skipped; nothing follows them when
    // "/addsig" ends the text.
    const std::size_t start = p + kAddSig.size() + 1;
    if (start <= text.size()) out.fileName = std::u16string(text.substr(start));
    out.fileNameMissing = StripQuotes(out.fileName).empty();
    return out;
  }
  out.mode = text.find(kCs) != std::u16string_view::npos ? 100 : 32840;
  return out;
}

std::u16string JoinArguments(const QStringList& arguments) { return app::ToU16(arguments.join(QLatin1Char(' '))); }

CStartup::CStartup() : CStartup(Seams{}) {}

CStartup::CStartup(Seams seams) : seams_(std::move(seams)) {
  if (!seams_.isUserAdmin) seams_.isUserAdmin = [] { return platform::IsUserAdmin() != 0; };
}

CStartup::~CStartup() {
  if (app_) app_->Shutdown();
  computer_.reset();
  types_.reset();
  app_.reset();
}

void CStartup::BuildProgramObjects() {
  app_ = std::make_unique<CApp>(seams_.programDir);
  app_->LoadSettings();
  app_->SetRegistryKey(kProgramKey);
  computer_ = std::make_unique<CLocalComputer>();
  Log().ApplySettings(app_->Settings());
  types_ = std::make_shared<FileTypeDatabase>();
  types_->InstallAsProgramDatabase();
  computer_->SetFileTypeDatabase(types_);
  EnsureRecoveryJobs(*computer_);
  app_->SetRunEventLoop(seams_.runEventLoop);
  if (seams_.registerLibraries) seams_.registerLibraries(*app_);
}

void CStartup::AddSignature(const CommandLine& commandLine) {
  const QString name = app::ToQString(StripQuotes(commandLine.fileName));
  if (commandLine.fileNameMissing) {
    app::ShowMessageBox(nullptr,
                        QStringLiteral("Signature file '%1' can't open!\n\nNo file name follows \"/addsig\".").arg(name),
                        QStringLiteral("Error!"), Buttons::Ok, MessageIcon::None);
    return;
  }
  // The database is loaded first, so that an existing type is found and the
  // type's group is known.
  types_->LoadFileTypes();
  const ImportResult result = types_->ImportSignatureFile(std::u16string_view(commandLine.fileName));
  switch (result.status) {
    case ImportStatus::Added:
      app::ShowMessageBox(nullptr, QStringLiteral("Signature file '%1' added!").arg(name), QStringLiteral("ok"),
                          Buttons::Ok, MessageIcon::None);
      break;
    case ImportStatus::Updated:
      app::ShowMessageBox(nullptr, QStringLiteral("Signature file '%1' updated!").arg(name), QStringLiteral("ok"),
                          Buttons::Ok, MessageIcon::None);
      break;
    case ImportStatus::Failed:
      app::ShowMessageBox(nullptr,
                          QStringLiteral("Signature file '%1' can't open!\n\n%2")
                              .arg(name, app::ToQString(result.reason)),
                          QStringLiteral("Error!"), Buttons::Ok, MessageIcon::None);
      break;
  }
}

int CStartup::Main(std::u16string_view commandLine) {
  BuildProgramObjects();
  if (!seams_.isUserAdmin()) {
    lastPath_ = "admin";
    app::ShowMessageBox(nullptr, LangString(153), LangString(154), Buttons::Ok, MessageIcon::Error);
    return 0;
  }
  const CommandLine parsed = ParseCommandLine(commandLine);
  if (parsed.action == CommandLine::Action::AddSignature) {
    lastPath_ = "addsig";
    AddSignature(parsed);
    return 0;
  }
  lastPath_ = "run";
  app_->Run(parsed.mode);
  return 0;
}
