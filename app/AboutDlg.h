#pragma once
// The About box (dialog 100): product name, version, the maker's web and support
// links, a legal notice; OK (1), Esc (2), Help (9). The links and Help hand their
// commands to the owner window (its action with that command id when it has one,
// else the application's help command), as posted commands.

#include <QDialog>
#include <QString>

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int {
    IDD = 100,
    IDC_HELP_BUTTON = 9,
    IDC_PRODUCT = 1129,
    IDC_VERSION = 1092,
    IDC_WEB_LINK = 1057,
    IDC_SUPPORT_LINK = 1058,
  };

  explicit CAboutDlg(QWidget* owner = nullptr);

  struct VersionParts {
    QString major;
    QString minor;
    QString build;
  };
  // A version text "5, 0, 0, 478": split at commas, blanks trimmed; major, minor
  // and build (the fourth part); missing parts stay empty.
  static VersionParts ParseFileVersion(const QString& fileVersion);
  // "Version %s.%s Build %s", or "" when there is no version text.
  static QString VersionText(const QString& fileVersion);
  // The program's own version text, set by the build.
  static QString FileVersion();

  // What a link click or Help does: the command goes to the owner (posted).
  void PostCommandToOwner(int commandId);

 private:
  void OnLinkClicked(int commandId);
};
