#pragma once
// CResizablePropertySheet: the framework of every property sheet and wizard of
// the program. A resizable dialog (modal through DoModal, modeless through
// Create) that shows its pages in tabs, or one at a time as a wizard with Back,
// Next and Finish (optionally with a header: title, subtitle and bitmap).
//
// Its own controls carry their ids (controlId): tabbed OK 1, Apply 0x3021,
// Cancel 2, Help 9, tab control 0x3020; wizard Back 0x3023, Next 0x3024,
// Finish 0x3025, Cancel 2, Help 9, the line under the header 0x3027 and the
// line above the buttons 0x3026. On a resize the buttons keep their distance to
// the bottom-right corner, the tab control and the lines grow, the lower line
// follows the bottom (the resize map in SheetLayout.h), and the current page is
// placed again (PageRect). The sheet has a size grip; its minimum size is its
// size when first shown. It centres itself over its parent on the first
// WM_PAGE_INITIALIZED a page sends.
//
// Help goes to one handler the application sets (SetHelpHandler). The sheet
// emits sheetClosed() whenever Finish, OK, Cancel or the close box ends it;
// whether that ends the program is the application's business.
//
// Owns its pages; GUI thread only.

#include <QDialog>
#include <QList>
#include <QMap>
#include <QPixmap>
#include <functional>

#include "controls/ResizablePropertyPage.h"
#include "controls/SheetLayout.h"

class QPushButton;

namespace controls {

// Wizard button flags (SetWizardButtons).
inline constexpr int PSWIZB_BACK = 0x1;
inline constexpr int PSWIZB_NEXT = 0x2;
inline constexpr int PSWIZB_FINISH = 0x4;
inline constexpr int PSWIZB_DISABLEDFINISH = 0x8;

// Buttons for PressButton.
inline constexpr int PSBTN_BACK = 0;
inline constexpr int PSBTN_NEXT = 1;
inline constexpr int PSBTN_FINISH = 2;
inline constexpr int PSBTN_OK = 3;
inline constexpr int PSBTN_APPLYNOW = 4;
inline constexpr int PSBTN_CANCEL = 5;
inline constexpr int PSBTN_HELP = 6;

// The help command of a tabbed sheet's pages.
inline constexpr int kSheetHelpCommand = 57670;

class CResizablePropertySheet : public QDialog {
  Q_OBJECT

 public:
  // Called with (57670, null) for a tabbed sheet's page and (0, the page) for a
  // wizard page.
  using HelpHandler = std::function<void(int command, QWidget* window)>;
  static void SetHelpHandler(HelpHandler handler);

  CResizablePropertySheet(const QString& title, int startPage = 0, QWidget* parent = nullptr, bool composited = false,
                          bool wizard = false);
  ~CResizablePropertySheet() override;

  // Modes; set before the sheet is first shown.
  void SetWizardMode();
  void SetWizard97Mode(int headerBitmapId);
  bool IsWizard() const { return wizard_; }
  bool IsWizard97() const { return wizard97_; }
  int HeaderBitmapId() const { return headerBitmapId_; }
  bool IsComposited() const { return composited_; }
  // Where the chosen section of the resize map begins.
  int ResizeMapStart() const { return resizeMapStart_; }
  void SelectResizeMapSegment(int n);

  // Tabbed sheets: whether the Apply and Help buttons are there (both are by
  // default). Set before the sheet is first shown; the buttons that remain keep
  // to the right edge.
  void SetNoApplyNow(bool on = true) { noApplyNow_ = on; }
  void SetHasHelp(bool on) { hasHelp_ = on; }

  // Pages, in order; the sheet takes each over.
  void AddPage(CResizablePropertyPage* page);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  CResizablePropertyPage* Page(int index) const;
  int PageIndex(const CResizablePropertyPage* page) const;
  CResizablePropertyPage* ActivePage() const;
  int ActiveIndex() const { return current_; }

  // Makes a page current (the current page may refuse to leave, the new one to
  // come); true when it is current afterwards.
  bool SetActivePage(int index);
  bool SetActivePage(CResizablePropertyPage* page);
  void SetWizardButtons(int flags);
  int WizardButtons() const { return wizardButtons_; }
  // A page's changed state; Apply is enabled while any page is changed.
  void SetModified(CResizablePropertyPage* page, bool changed = true);
  // Presses a button as a click would, once the event loop runs.
  void PressButton(int button);

  // Runs the sheet modally; the dialog's result.
  int DoModal();
  // Shows the sheet modeless.
  void Create();

  // The rectangle the sheet gives a page now.
  QRect PageRect(const CResizablePropertyPage* page) const;
  // Places a page (nothing happens for null).
  void PositionPage(CResizablePropertyPage* page);
  // The height of the wizard header (0 when there is none).
  int HeaderHeight() const { return headerHeight_; }

  void setVisible(bool visible) override;

 public slots:
  void accept() override;
  void reject() override;
  void done(int result) override;

 signals:
  void sheetClosed();

 protected:
  // The left edge and margin of an interior wizard page.
  virtual int InteriorLeft() const { return 11; }
  virtual int InteriorMargin() const { return 11; }
  // The first WM_PAGE_INITIALIZED: centre over the parent.
  virtual void OnPageInitialized();

  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class CResizablePropertyPage;

  void Start();
  void BuildControls();
  QPushButton* AddButton(int id, const QString& text);
  void LayOutControls(QSize pageArea);
  void ApplyResizeMap();
  bool SwitchTo(int index, bool killCurrent);
  void ShowTabs();
  void UpdateWizardButtons();
  void UpdateApply();
  void CenterOverParent();
  void OnBack();
  void OnNext();
  void OnFinish();
  void OnOk();
  bool OnApplyNow();
  void OnHelpButton();
  void OnTabSelected(int index);
  void GoToWizardPage(int result, int direction);
  void RunHelp(CResizablePropertyPage* page);
  QWidget* SheetControl(int id) const { return controls_.value(id, nullptr); }

  QList<CResizablePropertyPage*> pages_;
  QList<bool> modified_;
  QMap<int, QWidget*> controls_;
  QMap<int, QRect> initialRects_;
  QSize initialClient_;
  QPixmap headerBitmap_;
  int startPage_ = 0;
  int current_ = -1;
  int wizardButtons_ = PSWIZB_BACK | PSWIZB_NEXT;
  int headerBitmapId_ = 0;
  int headerHeight_ = 0;
  int resizeMapStart_ = 0;
  bool composited_ = false;
  bool wizard_ = false;
  bool wizard97_ = false;
  bool started_ = false;
  bool minimumSet_ = false;
  bool centred_ = false;
  bool closedSignalled_ = false;
  bool noApplyNow_ = false;
  bool hasHelp_ = true;
};

}  // namespace controls
