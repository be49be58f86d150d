#pragma once
// CWizardMode_Main: the step-by-step wizard, the top window of user-interface mode
// 32840 (the mode the program opens in). A wizard sheet with a header (bitmap
// 325, icon 128) over ten pages: welcome, drive, file types, scanning mode,
// destination and auto-pilot, the file-system pass, its results, the signature
// pass, its results, and the summary. Along its left edge the side bar
// (CWizardMode_LeftBar, 145 pixels wide from the header line to the button line);
// in the Help button's row, at x 20..100, "Menu..." (32771) with "Settings..."
// (32792) and "About..." (57664); in the header the product link.
//
// While it lives it is the program's top window (and its log window while no
// progress page is shown): the engine's messages reach OnMessage, which acts on
// those of its table by message number and drops the others. 0x0303 (sent by the
// drive page at each showing) resets both progress pages; a partition a pass found
// (WM_VOLUME_ADDED) joins the drive page's tree whichever page shows.
//
// The wizard's passes read neither AppSettings::SignaturePass nor
// AutoContinueQueue (a pass alone never chains, nothing is queued), yet the
// wizard writes 0 into them; the sheet keeps both values at construction and
// writes them back when it closes (mode switch or exit), before the last save.
// Closing (the close box, Cancel, Finish) ends the program through CApp::Exit,
// which may ask first; a No keeps the wizard open.
//
// Recoveries from the result pages and the auto-pilot run with the progress
// dialog; the sheet counts the files they wrote since the drive was chosen and
// keeps the folder the last one wrote into.
//
// GUI thread only.

#include <QPointer>

#include <cstdint>
#include <memory>

#include "controls/WizardPropertySheet.h"
#include "engine/records/Notifier.h"
#include "engine/store/AutoPilot.h"

class CRecovery;
class CVolume;
class CVolumeExploreView;
class CWizardMode_Finish;
class CWizardMode_LeftBar;
class CWizardModePage;
class CWizardMode_Step0;
class CWizardMode_Step1;
class CWizardMode_Step2;
class CWizardMode_Step3;
class CWizardMode_Step4;
class CWizardMode_Step5;
class CWizardMode_Step6;
class CWizardMode_Step7;
class CWizardMode_Step8;
class QMenu;
class QMenuBar;
class QPushButton;
namespace controls {
class CLabel;
}

class CWizardMode_Main : public controls::CWizardPropertySheet {
  Q_OBJECT

 public:
  // The system's WM_CLEAR, sent by the drive page: reset both progress pages.
  static constexpr std::uint32_t WM_RESET_PROGRESS = 0x0303;
  enum : int {
    ID_MENU_BUTTON = 32771,
    ID_SETTINGS = 32792,
    ID_ABOUT = 57664,
    ID_CANCEL = 2,
    IDR_MENU_POPUP = 344,
    IDR_DRIVE_MENU = 379,
    IDB_HEADER = 325,
    IDI_ICON = 128,
  };
  // For the 8-point dialog font; scaled with the sheet's font (ScaledPixelsX).
  static constexpr int kSideBarWidth = 145;
  static constexpr int kMenuButtonLeft = 20;
  static constexpr int kMenuButtonWidth = 80;
  int SideBarWidth() const;
  // The product link's event text.
  static constexpr const char* kProductEvent = "WizardMain";

  explicit CWizardMode_Main(const QString& title = QString(), int startPage = 0, QWidget* parent = nullptr);
  ~CWizardMode_Main() override;

  CWizardMode_Step0* Step0() const { return step0_; }
  CWizardMode_Step1* Step1() const { return step1_; }
  CWizardMode_Step2* Step2() const { return step2_; }
  CWizardMode_Step3* Step3() const { return step3_; }
  CWizardMode_Step4* Step4() const { return step4_; }
  CWizardMode_Step5* Step5() const { return step5_; }
  CWizardMode_Step6* Step6() const { return step6_; }
  CWizardMode_Step7* Step7() const { return step7_; }
  CWizardMode_Step8* Step8() const { return step8_; }
  CWizardMode_Finish* Finish() const { return finish_; }
  CWizardMode_LeftBar* LeftBar() const { return leftBar_; }
  QPushButton* MenuButton() const { return menuButton_; }
  controls::CLabel* ProductLink() const { return productLink_; }
  bool LayoutDone() const { return layoutDone_; }
  bool Centred() const { return centred_; }

  // The volume the wizard works on: the drive chosen on the drive page (null
  // before a choice, and for the pseudo-volumes).
  static std::shared_ptr<CVolume> CurrentVolume();

  // ---- Messages and commands ------------------------------------------------------

  // The message table: true when the message is one the sheet knows (acted on or
  // dropped by rule), false for any other.
  bool OnMessage(const PostedMessage& message);
  // A command of the sheet (menus, "Menu...", Cancel, help); one it does not know
  // goes to the explorer view of the current page. True when something took it.
  bool OnCommand(int id);
  // 0x0303: Step5's reset, then Step7's.
  void OnResetProgress();
  // After each resize: the side bar and "Menu..." in place.
  void OnRelayout();
  // "Menu...": the popup at the button's top-left corner; the chosen command
  // reaches OnCommand.
  void OnMenuButton();
  // The popup "Settings...", separator, "About..." (menu 344).
  QMenu* MakeMenuPopup(QWidget* parent);
  // The close box's placement save: nothing is stored (the settings record has
  // no field for it, and nothing reads it).
  void SavePlacement();
  // The end of the wizard (close box, Cancel, Finish): the two settings back,
  // then CApp::Exit. False, with the wizard's values again, when the user
  // declined.
  bool AskToEnd();

  // ---- Drive and recoveries ---------------------------------------------------------

  // A page is being shown: the side bar marks its step.
  void OnPageShown(const CWizardModePage* page);
  // The drive page has chosen a drive: the recovered count starts again and
  // Step8 takes its snapshot anew.
  void OnDriveChosen();
  // Files written by recoveries since the drive was chosen.
  int RecoveredCount() const { return recovered_; }
  // The folder the last recovery wrote into (empty: none ran).
  QString LastDestination() const { return lastDestination_; }
  // Follows a started job with the progress dialog (modal; `closeWhenDone` closes
  // it by itself when the job ends), then counts what a recovery wrote. The
  // dialog's result: 0 closed when the job ended, 1 OK, 2 aborted.
  int FollowRecovery(CRecovery& job, bool closeWhenDone);
  // Adds what a finished recovery wrote to the count and keeps its folder.
  void CountRecovery(CRecovery& job);
  // The auto-pilot after a pass that ended by itself: every file the pass's
  // results page shows is recovered into the destination folder, the progress
  // dialog closing by itself; then the wizard goes on by itself (AutoContinue).
  // Carved files whose size is unknown run up to the next file found (size mode
  // 2, without the question) unless the job has a size mode of its own. Stop in
  // the progress dialog, or a recovery that wrote nothing (a question answered
  // Cancel), halts it on the page where it is.
  void AutoRecover(CAutoPilot::Pass pass);
  static constexpr std::int32_t kAutoPilotSizeMode = 2;
  // After the file-system pass's recovery: its results page, then the sector
  // pass's page, which starts that pass; after the sector pass's recovery: its
  // results page, then the summary.
  void AutoContinue(CAutoPilot::Pass pass);
  // "Explore Recovered Files": the last recovery's folder, else the settings'.
  void ExploreRecoveredFiles();

  // The explorer view of the current page (null on the other pages).
  CVolumeExploreView* CurrentView() const;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void OnPageInitialized() override;
  void OnPageLayoutChanged() override { OnRelayout(); }

 private:
  // Once, when the sheet is first shown.
  void InitLayout();
  void WidenForTheResults();
  void ConnectView(CVolumeExploreView* view);
  void BuildContextMenus();
  void RestoreSettings();
  void TakeOverSettings();
  void OnPassDone(bool sectorPass);

  CWizardMode_Step0* step0_;
  CWizardMode_Step1* step1_;
  CWizardMode_Step2* step2_;
  CWizardMode_Step3* step3_;
  CWizardMode_Step4* step4_;
  CWizardMode_Step5* step5_;
  CWizardMode_Step6* step6_;
  CWizardMode_Step7* step7_;
  CWizardMode_Step8* step8_;
  CWizardMode_Finish* finish_;
  CWizardMode_LeftBar* leftBar_ = nullptr;
  QPushButton* menuButton_ = nullptr;
  controls::CLabel* productLink_ = nullptr;
  QMenuBar* contextMenus_ = nullptr;
  bool centred_ = false;
  bool layoutDone_ = false;
  bool ending_ = false;

  // The main window's values of the two settings the wizard sets to 0.
  std::int32_t signaturePass_ = 0;
  std::int32_t autoContinueQueue_ = 0;
  bool settingsTaken_ = false;

  int recovered_ = 0;
  QString lastDestination_;
};
