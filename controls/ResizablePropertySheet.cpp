#include "controls/ResizablePropertySheet.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include "controls/Bitmaps.h"
#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "engine/records/Messages.h"

namespace controls {

namespace {

// Dialog-unit sizes of the sheet's buttons and spacing.
constexpr int kButtonWidthDlu = 50;
constexpr int kButtonHeightDlu = 14;
constexpr int kButtonGapDlu = 4;
constexpr int kMarginDlu = 7;
constexpr int kLineHeight = 2;
constexpr int kTabPageMargin = 4;

// Header texts: the title from the left, the subtitle indented below it.
constexpr int kHeaderTitleLeft = 22;
constexpr int kHeaderSubTitleLeft = 44;
constexpr int kHeaderTop = 10;
constexpr int kHeaderBitmapMargin = 8;

CResizablePropertySheet::HelpHandler& Handler() {
  static CResizablePropertySheet::HelpHandler handler;
  return handler;
}

// The tab control: a row of tabs over a framed area. The pages are the sheet's
// children, placed inside it below the tab row.
class SheetTabControl : public QWidget {
 public:
  explicit SheetTabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
    bar_->setDrawBase(false);
    bar_->setExpanding(false);
    bar_->setUsesScrollButtons(true);
  }
  QTabBar* Bar() const { return bar_; }
  int RowHeight() const { return bar_->sizeHint().height(); }
  // The bottom of a tab item in the control's coordinates.
  int ItemBottom(int index) const {
    const QRect item = bar_->tabRect(index);
    return bar_->y() + (item.isValid() ? item.y() + item.height() : bar_->height());
  }

 protected:
  void resizeEvent(QResizeEvent*) override { bar_->setGeometry(0, 0, width(), RowHeight()); }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    const int top = RowHeight();
    option.rect = QRect(0, top - 1, width(), height() - top + 1);
    option.shape = QTabBar::RoundedNorth;
    option.tabBarSize = bar_->size();
    option.tabBarRect = bar_->geometry();
    option.selectedTabRect = bar_->tabRect(bar_->currentIndex());
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
  }

 private:
  QTabBar* bar_;
};

SheetTabControl* AsTabControl(QWidget* widget) { return static_cast<SheetTabControl*>(widget); }

}  // namespace

void CResizablePropertySheet::SetHelpHandler(HelpHandler handler) { Handler() = std::move(handler); }

CResizablePropertySheet::CResizablePropertySheet(const QString& title, int startPage, QWidget* parent,
                                                 bool composited, bool wizard)
    : QDialog(parent), startPage_(startPage), composited_(composited) {
  setWindowTitle(title);
  // A sizing frame with minimise and maximise boxes.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  if (wizard) SetWizardMode();
}

CResizablePropertySheet::~CResizablePropertySheet() = default;

void CResizablePropertySheet::SetWizardMode() {
  SelectResizeMapSegment(1);
  wizard_ = true;
  wizard97_ = false;
}

void CResizablePropertySheet::SetWizard97Mode(int headerBitmapId) {
  SelectResizeMapSegment(1);
  wizard_ = true;
  wizard97_ = true;
  headerBitmapId_ = headerBitmapId;
}

void CResizablePropertySheet::SelectResizeMapSegment(int n) {
  resizeMapStart_ = controls::SelectResizeMapSegment(SheetResizeMap(), n, resizeMapStart_);
}

void CResizablePropertySheet::AddPage(CResizablePropertyPage* page) {
  if (!page || pages_.contains(page)) return;
  page->sheet_ = this;
  page->setParent(this);
  page->hide();
  pages_.append(page);
  modified_.append(false);
  if (auto* tabs = SheetControl(kSheetTabControlId)) AsTabControl(tabs)->Bar()->addTab(page->Title());
}

CResizablePropertyPage* CResizablePropertySheet::Page(int index) const {
  return index >= 0 && index < pages_.size() ? pages_[index] : nullptr;
}

int CResizablePropertySheet::PageIndex(const CResizablePropertyPage* page) const {
  return static_cast<int>(pages_.indexOf(const_cast<CResizablePropertyPage*>(page)));
}

CResizablePropertyPage* CResizablePropertySheet::ActivePage() const { return Page(current_); }

bool CResizablePropertySheet::SetActivePage(int index) {
  if (!started_) {
    if (index < 0 || index >= pages_.size()) return false;
    startPage_ = index;
    return true;
  }
  return SwitchTo(index, true);
}

bool CResizablePropertySheet::SetActivePage(CResizablePropertyPage* page) { return SetActivePage(PageIndex(page)); }

void CResizablePropertySheet::SetWizardButtons(int flags) {
  wizardButtons_ = flags;
  UpdateWizardButtons();
}

void CResizablePropertySheet::SetModified(CResizablePropertyPage* page, bool changed) {
  const int index = PageIndex(page);
  if (index < 0) return;
  modified_[index] = changed;
  UpdateApply();
}

void CResizablePropertySheet::PressButton(int button) {
  static const int kIds[] = {kWizardBackId, kWizardNextId, kWizardFinishId, kSheetOkId,
                             kSheetApplyId, kSheetCancelId, kSheetHelpId};
  if (button < 0 || button >= static_cast<int>(std::size(kIds))) return;
  const int id = kIds[button];
  QMetaObject::invokeMethod(
      this,
      [this, id] {
        auto* pushButton = qobject_cast<QPushButton*>(SheetControl(id));
        if (pushButton && pushButton->isEnabled() && !pushButton->isHidden()) pushButton->click();
      },
      Qt::QueuedConnection);
}

int CResizablePropertySheet::DoModal() { return exec(); }

void CResizablePropertySheet::Create() { show(); }

QRect CResizablePropertySheet::PageRect(const CResizablePropertyPage* page) const {
  if (!page || !started_) return {};
  if (wizard_) {
    const QWidget* upper = SheetControl(kWizardHeaderLineId);
    const QWidget* lower = SheetControl(kWizardButtonLineId);
    const int upperTop = upper ? upper->y() : 0;
    const int lowerTop = lower ? lower->y() : height();
    const bool exterior = page->property(kIsExteriorProperty).toInt() == 1;
    return WizardPageRect(size(), upperTop, lowerTop, exterior, InteriorLeft(), InteriorMargin());
  }
  const QWidget* tabs = SheetControl(kSheetTabControlId);
  if (!tabs) return {};
  return TabbedPageRect(tabs->geometry(), AsTabControl(const_cast<QWidget*>(tabs))->ItemBottom(PageIndex(page)));
}

void CResizablePropertySheet::PositionPage(CResizablePropertyPage* page) {
  if (!page) return;
  const QRect rect = PageRect(page);
  if (rect.isValid()) page->setGeometry(rect);
}

void CResizablePropertySheet::setVisible(bool visible) {
  if (visible && !started_) Start();
  QDialog::setVisible(visible);
}

void CResizablePropertySheet::Start() {
  started_ = true;
  BuildControls();
  // The page area fits the largest page.
  QSize interior(0, 0);
  QSize exterior(0, 0);
  for (const CResizablePropertyPage* page : pages_) {
    const QSize size = page->TemplateSize();
    if (wizard_ && page->IsExterior()) exterior = exterior.expandedTo(size);
    else interior = interior.expandedTo(size);
  }
  if (wizard_) {
    // Room for an exterior page: as wide as the sheet, down to the lower line.
    LayOutControls(interior);
    const QWidget* lower = SheetControl(kWizardButtonLineId);
    const QSize need(exterior.width() - width(), exterior.height() - (lower ? lower->y() : 0));
    if (need.width() > 0 || need.height() > 0) {
      LayOutControls(interior + QSize(std::max(0, need.width()), std::max(0, need.height())));
    }
  } else {
    LayOutControls(interior);
  }
  UpdateWizardButtons();
  UpdateApply();
  if (!pages_.isEmpty()) {
    const int start = std::clamp(startPage_, 0, static_cast<int>(pages_.size()) - 1);
    if (!SwitchTo(start, false)) {
      for (int i = 0; i < pages_.size() && !SwitchTo(i, false); ++i) {
      }
    }
  }
}

QPushButton* CResizablePropertySheet::AddButton(int id, const QString& text) {
  auto* button = new QPushButton(text, this);
  SetControlId(button, id);
  button->setAutoDefault(false);
  controls_.insert(id, button);
  return button;
}

void CResizablePropertySheet::BuildControls() {
  if (wizard_) {
    connect(AddButton(kWizardBackId, tr("< &Back")), &QPushButton::clicked, this, &CResizablePropertySheet::OnBack);
    connect(AddButton(kWizardNextId, tr("&Next >")), &QPushButton::clicked, this, &CResizablePropertySheet::OnNext);
    connect(AddButton(kWizardFinishId, tr("Finish")), &QPushButton::clicked, this, &CResizablePropertySheet::OnFinish);
    connect(AddButton(kSheetCancelId, tr("Cancel")), &QPushButton::clicked, this, &CResizablePropertySheet::reject);
    connect(AddButton(kSheetHelpId, tr("Help")), &QPushButton::clicked, this, &CResizablePropertySheet::OnHelpButton);
    for (int id : {kWizardHeaderLineId, kWizardButtonLineId}) {
      auto* line = new QFrame(this);
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      SetControlId(line, id);
      controls_.insert(id, line);
    }
    SheetControl(kWizardHeaderLineId)->setVisible(wizard97_);
    if (wizard97_) headerBitmap_ = Bitmap(headerBitmapId_);
  } else {
    auto* tabs = new SheetTabControl(this);
    SetControlId(tabs, kSheetTabControlId);
    controls_.insert(kSheetTabControlId, tabs);
    for (const CResizablePropertyPage* page : pages_) tabs->Bar()->addTab(page->Title());
    connect(tabs->Bar(), &QTabBar::currentChanged, this, &CResizablePropertySheet::OnTabSelected);
    auto* ok = AddButton(kSheetOkId, tr("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CResizablePropertySheet::OnOk);
    connect(AddButton(kSheetCancelId, tr("Cancel")), &QPushButton::clicked, this, &CResizablePropertySheet::reject);
    connect(AddButton(kSheetApplyId, tr("&Apply")), &QPushButton::clicked, this,
            [this] { OnApplyNow(); });
    connect(AddButton(kSheetHelpId, tr("Help")), &QPushButton::clicked, this, &CResizablePropertySheet::OnHelpButton);
  }
}

void CResizablePropertySheet::LayOutControls(QSize pageArea) {
  const DialogBaseUnits units = BaseUnitsOf(font());
  const QSize button = DluToPixels(units, kButtonWidthDlu, kButtonHeightDlu);
  const int gap = DluToPixelsX(units, kButtonGapDlu);
  const int marginX = DluToPixelsX(units, kMarginDlu);
  const int marginY = DluToPixelsY(units, kMarginDlu);
  QSize client;

  if (wizard_) {
    if (wizard97_) {
      QFont bold = font();
      bold.setBold(true);
      const int text = kHeaderTop + QFontMetrics(bold).height() + 3 + 2 * QFontMetrics(font()).lineSpacing() + 6;
      headerHeight_ = std::max(text, headerBitmap_.isNull() ? 0 : headerBitmap_.height() + 2 * kHeaderBitmapMargin);
    } else {
      headerHeight_ = 0;
    }
    const int left = InteriorLeft();
    const int margin = InteriorMargin();
    const int buttonsWidth = 4 * button.width() + 2 * gap;
    const int width = std::max(left + pageArea.width() + margin, buttonsWidth + 2 * marginX);
    const int lowerTop = headerHeight_ + margin + pageArea.height() + margin;
    const int buttonTop = lowerTop + kLineHeight + marginY;
    client = QSize(width, buttonTop + button.height() + marginY);
    SheetControl(kWizardHeaderLineId)->setGeometry(0, headerHeight_, width, kLineHeight);
    SheetControl(kWizardButtonLineId)->setGeometry(0, lowerTop, width, kLineHeight);
    // From the right: Help, Cancel, then Next (or Finish in its place) and Back.
    int x = width - marginX - button.width();
    SheetControl(kSheetHelpId)->setGeometry(QRect(QPoint(x, buttonTop), button));
    x -= gap + button.width();
    SheetControl(kSheetCancelId)->setGeometry(QRect(QPoint(x, buttonTop), button));
    x -= gap + button.width();
    SheetControl(kWizardNextId)->setGeometry(QRect(QPoint(x, buttonTop), button));
    SheetControl(kWizardFinishId)->setGeometry(QRect(QPoint(x, buttonTop), button));
    x -= button.width();
    SheetControl(kWizardBackId)->setGeometry(QRect(QPoint(x, buttonTop), button));
  } else {
    auto* tabs = AsTabControl(SheetControl(kSheetTabControlId));
    const int buttonsWidth = 4 * button.width() + 3 * gap;
    const int tabWidth = std::max(pageArea.width() + 2 * kTabPageMargin, buttonsWidth);
    const int tabHeight = tabs->RowHeight() + pageArea.height() + 2 * kTabPageMargin;
    const int width = marginX + tabWidth + marginX;
    const int buttonTop = marginY + tabHeight + marginY;
    client = QSize(width, buttonTop + button.height() + marginY);
    tabs->setGeometry(marginX, marginY, tabWidth, tabHeight);
    // OK, Cancel, Apply and Help from left to right, at the right edge.
    int x = width - marginX - button.width();
    for (int id : {kSheetHelpId, kSheetApplyId, kSheetCancelId, kSheetOkId}) {
      const bool left = (id == kSheetApplyId && noApplyNow_) || (id == kSheetHelpId && !hasHelp_);
      SheetControl(id)->setHidden(left);
      if (left) continue;
      SheetControl(id)->setGeometry(QRect(QPoint(x, buttonTop), button));
      x -= gap + button.width();
    }
  }

  initialClient_ = client;
  initialRects_.clear();
  for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) initialRects_.insert(it.key(), it.value()->geometry());
  resize(client);
}

void CResizablePropertySheet::ApplyResizeMap() {
  if (!started_) return;
  // A control with two entries follows both.
  QMap<int, int> flags;
  for (const ResizeMapEntry& entry : ResizeMapSection(SheetResizeMap(), resizeMapStart_)) {
    flags[entry.controlId] |= entry.flags;
  }
  for (auto it = flags.cbegin(); it != flags.cend(); ++it) {
    QWidget* control = SheetControl(it.key());
    if (!control || !initialRects_.contains(it.key())) continue;
    control->setGeometry(ApplyResizeFlags(initialRects_.value(it.key()), initialClient_, size(), it.value()));
  }
}

bool CResizablePropertySheet::SwitchTo(int index, bool killCurrent) {
  if (index < 0 || index >= pages_.size()) return false;
  if (index == current_) return true;
  CResizablePropertyPage* target = pages_[index];
  if (killCurrent && current_ >= 0 && !pages_[current_]->OnKillActive()) return false;
  target->Initialize();
  // The page is placed before it hears that it becomes active.
  PositionPage(target);
  if (!target->OnSetActive()) return false;
  if (CResizablePropertyPage* old = ActivePage()) old->hide();
  current_ = index;
  target->show();
  target->raise();
  if (auto* tabs = SheetControl(kSheetTabControlId)) {
    QTabBar* bar = AsTabControl(tabs)->Bar();
    const QSignalBlocker block(bar);
    bar->setCurrentIndex(index);
    tabs->update();
  }
  update(0, 0, width(), headerHeight_);
  return true;
}

void CResizablePropertySheet::UpdateWizardButtons() {
  if (!wizard_ || !started_) return;
  auto* back = qobject_cast<QPushButton*>(SheetControl(kWizardBackId));
  auto* next = qobject_cast<QPushButton*>(SheetControl(kWizardNextId));
  auto* finish = qobject_cast<QPushButton*>(SheetControl(kWizardFinishId));
  back->setEnabled(wizardButtons_ & PSWIZB_BACK);
  // Finish takes the place of Next when it is asked for.
  const bool showFinish = wizardButtons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH);
  finish->setHidden(!showFinish);
  finish->setEnabled(wizardButtons_ & PSWIZB_FINISH);
  next->setHidden(showFinish);
  next->setEnabled(wizardButtons_ & PSWIZB_NEXT);
  (showFinish ? finish : next)->setDefault(true);
  (showFinish ? next : finish)->setDefault(false);
}

void CResizablePropertySheet::UpdateApply() {
  if (auto* apply = SheetControl(kSheetApplyId)) apply->setEnabled(modified_.contains(true));
}

void CResizablePropertySheet::OnPageInitialized() {
  if (centred_) return;
  centred_ = true;
  CenterOverParent();
}

void CResizablePropertySheet::CenterOverParent() {
  QRect area;
  if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
    area = owner->frameGeometry();
  } else if (QScreen* screen = this->screen()) {
    area = screen->availableGeometry();
  }
  if (!area.isValid()) return;
  const QRect frame = frameGeometry();
  move(area.center() - QPoint(frame.width() / 2, frame.height() / 2) + (pos() - frame.topLeft()));
}

void CResizablePropertySheet::OnBack() {
  if (CResizablePropertyPage* page = ActivePage()) GoToWizardPage(page->OnWizardBack(), -1);
}

void CResizablePropertySheet::OnNext() {
  if (CResizablePropertyPage* page = ActivePage()) GoToWizardPage(page->OnWizardNext(), +1);
}

void CResizablePropertySheet::GoToWizardPage(int result, int direction) {
  if (result == kWizardStay) return;
  int target = current_ + direction;
  if (result != kWizardGoOn) {
    target = -1;
    for (int i = 0; i < pages_.size(); ++i) {
      if (pages_[i]->DialogId() == result) target = i;
    }
    if (target < 0) return;
  }
  if (target < 0 || target >= pages_.size()) return;
  if (ActivePage() && !ActivePage()->OnKillActive()) return;
  // A page that refuses to become active is passed over in the same direction.
  while (target >= 0 && target < pages_.size()) {
    if (SwitchTo(target, false)) return;
    if (result != kWizardGoOn) return;
    target += direction;
  }
}

void CResizablePropertySheet::OnFinish() {
  CResizablePropertyPage* page = ActivePage();
  if (page && !page->OnWizardFinish()) return;
  done(QDialog::Accepted);
}

bool CResizablePropertySheet::OnApplyNow() {
  if (CResizablePropertyPage* page = ActivePage(); page && !page->OnKillActive()) return false;
  for (int i = 0; i < pages_.size(); ++i) {
    if (!pages_[i]->IsInitialized()) continue;
    const int result = pages_[i]->OnApply();
    if (result == kApplyRefused) {
      SwitchTo(i, false);
      return false;
    }
    if (result != kApplyAccepted) return false;
  }
  for (bool& changed : modified_) changed = false;
  UpdateApply();
  return true;
}

void CResizablePropertySheet::OnOk() {
  if (!OnApplyNow()) return;
  done(QDialog::Accepted);
}

void CResizablePropertySheet::OnHelpButton() {
  if (CResizablePropertyPage* page = ActivePage()) page->OnHelp();
}

void CResizablePropertySheet::RunHelp(CResizablePropertyPage* page) {
  const HelpHandler& handler = Handler();
  if (!handler) return;
  if (wizard_) handler(0, page);
  else handler(kSheetHelpCommand, nullptr);
}

void CResizablePropertySheet::OnTabSelected(int index) {
  if (SwitchTo(index, true)) return;
  auto* bar = AsTabControl(SheetControl(kSheetTabControlId))->Bar();
  const QSignalBlocker block(bar);
  bar->setCurrentIndex(current_);
}

void CResizablePropertySheet::accept() {
  if (wizard_) OnFinish();
  else OnOk();
}

void CResizablePropertySheet::reject() {
  for (CResizablePropertyPage* page : pages_) {
    if (page->IsInitialized()) page->OnReset();
  }
  done(QDialog::Rejected);
}

void CResizablePropertySheet::done(int result) {
  QDialog::done(result);
  if (closedSignalled_) return;
  closedSignalled_ = true;
  emit sheetClosed();
}

bool CResizablePropertySheet::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(WM_PAGE_INITIALIZED)) {
    OnPageInitialized();
    return true;
  }
  return QDialog::event(event);
}

void CResizablePropertySheet::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ApplyResizeMap();
  PositionPage(ActivePage());
  update(0, 0, width(), headerHeight_);
}

void CResizablePropertySheet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  closedSignalled_ = false;
  if (!minimumSet_) {
    minimumSet_ = true;
    setMinimumSize(size());
  }
}

void CResizablePropertySheet::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!wizard97_ || headerHeight_ <= 0) return;
  QPainter painter(this);
  const QRect header(0, 0, width(), headerHeight_);
  painter.fillRect(header, palette().color(QPalette::Base));
  int textRight = width() - kHeaderBitmapMargin;
  if (!headerBitmap_.isNull()) {
    const QPoint at(width() - kHeaderBitmapMargin - headerBitmap_.width(), (headerHeight_ - headerBitmap_.height()) / 2);
    painter.drawPixmap(at, headerBitmap_);
    textRight = at.x() - kHeaderBitmapMargin;
  }
  const CResizablePropertyPage* page = ActivePage();
  if (!page) return;
  painter.setPen(palette().color(QPalette::Text));
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  painter.setFont(bold);
  const QRect title(kHeaderTitleLeft, kHeaderTop, std::max(0, textRight - kHeaderTitleLeft), boldMetrics.height());
  painter.drawText(title, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   boldMetrics.elidedText(page->HeaderTitle(), Qt::ElideRight, title.width()));
  painter.setFont(font());
  const QRect subTitle(kHeaderSubTitleLeft, title.bottom() + 4, std::max(0, textRight - kHeaderSubTitleLeft),
                       headerHeight_ - title.bottom() - 6);
  painter.drawText(subTitle, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, page->HeaderSubTitle());
}

}  // namespace controls
