#pragma once
// CWizardMode_LeftBar: the narrow side bar along the wizard-mode sheet's left
// edge (form 340): a text browser (control 1133) showing "WizardBar.html" from the
// media folder beside the program, the steps the wizard takes. Links to other
// pages of the media folder open in place; web and mail links go to the desktop.
// The step of the page the sheet shows is marked in the page's table of steps.
// Without the page the bar stays empty.
//
// Owned by the sheet; GUI thread only.

#include <QWidget>

class QTextBrowser;
class QUrl;

class CWizardMode_LeftBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int IDD = 340;
  static constexpr int IDC_BROWSER = 1133;
  static constexpr const char* kPage = "WizardBar.html";

  // `mediaFolder`: where the page lies (empty: the program's media folder).
  explicit CWizardMode_LeftBar(QWidget* parent = nullptr, const QString& mediaFolder = {});
  ~CWizardMode_LeftBar() override;

  QTextBrowser* Browser() const { return browser_; }
  // Marks step `step` (1..9: its row of the page's table, bold on a light ground);
  // 0 marks none (the welcome page).
  void SetCurrentStep(int step);
  int CurrentStep() const { return step_; }
  // The page's address as it was navigated to (empty: not found).
  QString PageAddress() const { return address_; }

 private:
  void OnAnchor(const QUrl& link);

  QTextBrowser* browser_;
  QString address_;
  int step_ = 0;
};
