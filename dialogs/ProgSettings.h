#pragma once
// CProgSettings: the modal sheet "Settings" (string 160) with the seven pages of
// the program settings, OK, Cancel and Help (no Apply). The application opens it
// (CApp::ShowProgramSettings, through the handler DialogsRegistration installs)
// at the page its command names.
//
// The pages edit the settings record in place: a page that is never shown is
// never initialised nor applied; OK applies each initialised page in order, and a
// refused apply shows that page with the focus on the refused control. What a page
// stores at once (the temporary-folder choice, the Logging page after a click on
// "Save log in file", the language) stays after Cancel. The record reaches the
// registry through the application's idle save; the Logging settings reach the log
// when the sheet closes, however it closes.
//
// GUI thread only.

#include "controls/ResizablePropertySheet.h"

class AppSettings;
class FileTypeDatabase;
class CProgSettings_Common;
class CProgSettings_Confirms;
class CProgSettings_SearchFileTypes;
class CProgSettings_Temporary;
class CProgSettings_DriveAccess;
class CProgSettings_Logging;
class CProgSettings_Lang;

class CProgSettings : public controls::CResizablePropertySheet {
  Q_OBJECT

 public:
  static constexpr int kTitleStringId = 160;
  enum PageIndex : int { kCommon, kConfirms, kSearchFileTypes, kTemporary, kDriveAccess, kLogging, kLanguage };

  // `database` null: the program's.
  CProgSettings(const QString& title, int startPage, QWidget* parent, AppSettings& settings,
                FileTypeDatabase* database = nullptr);
  ~CProgSettings() override;

  // Runs the sheet modally over `owner` at `page`, then hands the Logging settings
  // to the program log. Returns the dialog's result.
  static int Show(QWidget* owner, int page, AppSettings& settings, FileTypeDatabase* database = nullptr);

  CProgSettings_Common* CommonPage() const { return common_; }
  CProgSettings_Confirms* ConfirmsPage() const { return confirms_; }
  CProgSettings_SearchFileTypes* SearchFileTypesPage() const { return fileTypes_; }
  CProgSettings_Temporary* TemporaryPage() const { return temporary_; }
  CProgSettings_DriveAccess* DriveAccessPage() const { return driveAccess_; }
  CProgSettings_Logging* LoggingPage() const { return logging_; }
  CProgSettings_Lang* LanguagePage() const { return language_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  CProgSettings_Common* common_;
  CProgSettings_Confirms* confirms_;
  CProgSettings_SearchFileTypes* fileTypes_;
  CProgSettings_Temporary* temporary_;
  CProgSettings_DriveAccess* driveAccess_;
  CProgSettings_Logging* logging_;
  CProgSettings_Lang* language_;
  bool translated_ = false;
};
