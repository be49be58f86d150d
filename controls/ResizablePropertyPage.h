#pragma once
// CResizablePropertyPage: one page of a CResizablePropertySheet, in a tab of a
// tabbed sheet or as one step of a wizard. A page is an ordinary widget whose
// subclass builds its controls; the sheet shows one page at a time, placed in
// its free area whenever the sheet is resized or the page becomes active.
//
// The sheet calls the hooks below. A page is initialised (OnInitDialog) the
// first time it becomes active; pages never shown are never initialised. A page
// tells its sheet that it has initialised with SendPageInitialized (the sheet
// centres itself on the first one).
//
// An exterior page (a wizard page without header) carries the dynamic property
// "IsExterior" = 1 from its initialisation on.
//
// Owned by its sheet once added; GUI thread only.

#include <QString>
#include <QWidget>

namespace controls {

class CResizablePropertySheet;

inline constexpr const char* kIsExteriorProperty = "IsExterior";

// Results of OnApply.
inline constexpr int kApplyAccepted = 0;
inline constexpr int kApplyRefused = 1;               // this page becomes current and stays
inline constexpr int kApplyRefusedStayOnCurrent = 2;  // the current page stays

// Results of OnWizardBack and OnWizardNext: go on to the neighbouring page,
// stay on this one, or any other value: the page whose DialogId it is.
inline constexpr int kWizardGoOn = 0;
inline constexpr int kWizardStay = -1;

class CResizablePropertyPage : public QWidget {
  Q_OBJECT

 public:
  // `title` is the tab's text (empty: the window title); `exterior` makes a
  // wizard page without header; `composited` is kept for the owner to read (Qt
  // paints double-buffered anyway).
  explicit CResizablePropertyPage(const QString& title = QString(), bool exterior = false, bool composited = false,
                                  QWidget* parent = nullptr);
  ~CResizablePropertyPage() override;

  QString Title() const;
  void SetTitle(const QString& title) { title_ = title; }
  bool IsExterior() const { return exterior_; }
  bool IsComposited() const { return composited_; }

  // The wizard header's texts for this page.
  void SetHeaderTitle(const QString& title);
  QString HeaderTitle() const { return headerTitle_; }
  void SetHeaderSubTitle(const QString& subTitle);
  QString HeaderSubTitle() const { return headerSubTitle_; }

  // The id of the page's form, by which OnWizardBack/OnWizardNext name a page.
  void SetDialogId(int id) { dialogId_ = id; }
  int DialogId() const { return dialogId_; }

  // The size the page's form asks for: its size when it was given one, else its
  // size hint.
  QSize TemplateSize() const;

  CResizablePropertySheet* Sheet() const { return sheet_; }
  bool IsInitialized() const { return initialized_; }

  // Sends WM_PAGE_INITIALIZED to the sheet.
  void SendPageInitialized();
  // Shortcuts to the sheet.
  void SetModified(bool changed = true);
  void SetWizardButtons(int flags);

  // Hooks the sheet calls.
  virtual void OnInitDialog() {}
  // False refuses the activation.
  virtual bool OnSetActive() { return true; }
  // False keeps the page active.
  virtual bool OnKillActive() { return true; }
  virtual int OnWizardBack() { return kWizardGoOn; }
  virtual int OnWizardNext() { return kWizardGoOn; }
  // False keeps the wizard open.
  virtual bool OnWizardFinish() { return true; }
  virtual int OnApply() { return kApplyAccepted; }
  virtual void OnReset() {}
  // The sheet's Help button: the help handler with 57670, or in a wizard with 0
  // and this page.
  virtual void OnHelp();

 private:
  friend class CResizablePropertySheet;
  void Initialize();

  CResizablePropertySheet* sheet_ = nullptr;
  QString title_;
  QString headerTitle_;
  QString headerSubTitle_;
  int dialogId_ = 0;
  bool exterior_ = false;
  bool composited_ = false;
  bool initialized_ = false;
};

}  // namespace controls
