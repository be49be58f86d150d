// CResizablePropertySheet: the resize map and page rectangles as arithmetic,
// then tabbed and wizard sheets driven as a user would: resized, paged through,
// applied, cancelled, finished, closed, asked for help.
#include <QAbstractButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include "controls/ControlId.h"
#include "controls/ResizablePropertySheet.h"
#include "engine/records/Messages.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/controls/SheetTestPages.h"

using namespace controls;
using test::RecordingPage;

namespace {

// The distance of a control's top-left corner to the sheet's bottom-right corner.
QPoint DistanceToCorner(const QWidget* sheet, int id) {
  const QWidget* control = FindControl(sheet, id);
  if (!control) return QPoint(-9999, -9999);
  return QPoint(sheet->width() - control->x(), sheet->height() - control->y());
}

QAbstractButton* Button(const QWidget* sheet, int id) { return FindControlAs<QAbstractButton>(sheet, id); }

struct HelpCall {
  int command;
  QWidget* window;
};

}  // namespace

class ResizablePropertySheetTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    log_.clear();
    help_.clear();
    CResizablePropertySheet::SetHelpHandler([this](int command, QWidget* window) { help_.append({command, window}); });
  }
  void cleanup() { CResizablePropertySheet::SetHelpHandler({}); }

  void ResizeMapSections() {
    const auto map = SheetResizeMap();
    QCOMPARE(SelectResizeMapSegment(map, 0, 6), 0);
    QCOMPARE(SelectResizeMapSegment(map, 1, 0), 6);
    // Past the last section the choice stays.
    QCOMPARE(SelectResizeMapSegment(map, 2, 6), 6);
    QCOMPARE(SelectResizeMapSegment(map, 7, 0), 0);
    const auto tabbed = ResizeMapSection(map, 0);
    QCOMPARE(static_cast<int>(tabbed.size()), 5);
    QCOMPARE(tabbed[4].controlId, kSheetTabControlId);
    QCOMPARE(tabbed[4].flags, kResizeSizeX | kResizeSizeY);
    const auto wizard = ResizeMapSection(map, 6);
    QCOMPARE(static_cast<int>(wizard.size()), 8);
    QCOMPARE(wizard[6].controlId, kWizardButtonLineId);
    QCOMPARE(wizard[6].flags, kResizeMoveY);
    QCOMPARE(wizard[7].controlId, kWizardButtonLineId);
    QCOMPARE(wizard[7].flags, kResizeSizeX);

    CResizablePropertySheet tabbedSheet(QStringLiteral("Tabbed"));
    QCOMPARE(tabbedSheet.ResizeMapStart(), 0);
    CResizablePropertySheet wizardSheet(QStringLiteral("Wizard"), 0, nullptr, false, true);
    QCOMPARE(wizardSheet.ResizeMapStart(), 6);
    QVERIFY(wizardSheet.IsWizard());
  }

  void ResizeFlagsMoveAndGrow_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QRect>("expected");
    // From 400 x 300 to 450 x 280 for a control at (10, 20, 100, 30).
    QTest::newRow("none") << 0 << QRect(10, 20, 100, 30);
    QTest::newRow("move both") << (kResizeMoveX | kResizeMoveY) << QRect(60, 0, 100, 30);
    QTest::newRow("size both") << (kResizeSizeX | kResizeSizeY) << QRect(10, 20, 150, 10);
    QTest::newRow("move down, widen") << (kResizeMoveY | kResizeSizeX) << QRect(10, 0, 150, 30);
  }
  void ResizeFlagsMoveAndGrow() {
    QFETCH(int, flags);
    QFETCH(QRect, expected);
    QCOMPARE(ApplyResizeFlags(QRect(10, 20, 100, 30), QSize(400, 300), QSize(450, 280), flags), expected);
  }

  void PageRectangleFormulas_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QRect>("expected");
    // Tab control at (11, 11, 400, 300) with its items ending at 24.
    QTest::newRow("tabbed") << QStringLiteral("tabbed") << QSize(422, 350) << QRect(15, 39, 392, 268);
    // Lines at 60 (header) and 300 (buttons).
    QTest::newRow("wizard interior") << QStringLiteral("interior 11") << QSize(500, 350) << QRect(11, 71, 478, 218);
    QTest::newRow("wizard-mode interior") << QStringLiteral("interior 145") << QSize(500, 350)
                                          << QRect(145, 67, 348, 226);
    QTest::newRow("exterior") << QStringLiteral("exterior") << QSize(500, 350) << QRect(0, 0, 500, 300);
  }
  void PageRectangleFormulas() {
    QFETCH(QString, kind);
    QFETCH(QSize, client);
    QFETCH(QRect, expected);
    QRect rect;
    if (kind == QLatin1String("tabbed")) rect = TabbedPageRect(QRect(11, 11, 400, 300), 24);
    else if (kind == QLatin1String("interior 11")) rect = WizardPageRect(client, 60, 300, false, 11, 11);
    else if (kind == QLatin1String("interior 145")) rect = WizardPageRect(client, 60, 300, false, 145, 7);
    else rect = WizardPageRect(client, 60, 300, true, 11, 11);
    QCOMPARE(rect, expected);
  }

  void TabbedSheetFollowsItsSize() {
    CResizablePropertySheet sheet(QStringLiteral("File Format Properties"));
    auto* first = new RecordingPage(QStringLiteral("Description"), QSize(420, 220), &log_);
    auto* second = new RecordingPage(QStringLiteral("Signature"), QSize(300, 260), &log_);
    sheet.AddPage(first);
    sheet.AddPage(second);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(sheet.ActivePage(), first);
    QCOMPARE(sheet.minimumSize(), sheet.size());
    // The largest page fits exactly.
    QCOMPARE(first->size(), QSize(420, 260));

    QWidget* tabs = FindControl(&sheet, kSheetTabControlId);
    QVERIFY(tabs);
    auto* bar = tabs->findChild<QTabBar*>();
    QVERIFY(bar);
    QCOMPARE(bar->count(), 2);
    const QSize firstSize = sheet.size();
    const QSize tabsAtFirst = tabs->size();
    QList<QPoint> distances;
    for (int id : {kSheetOkId, kSheetCancelId, kSheetApplyId, kSheetHelpId}) distances << DistanceToCorner(&sheet, id);

    for (const QSize& size : {QSize(700, 520), QSize(900, 400), firstSize + QSize(1, 1), QSize(640, 700)}) {
      sheet.resize(size);
      QCOMPARE(sheet.size(), size);
      int i = 0;
      for (int id : {kSheetOkId, kSheetCancelId, kSheetApplyId, kSheetHelpId}) {
        QCOMPARE(DistanceToCorner(&sheet, id), distances[i++]);
      }
      QCOMPARE(tabs->size(), tabsAtFirst + (size - firstSize));
      const int itemBottom = bar->y() + bar->tabRect(0).bottom() + 1;
      const QRect tab = tabs->geometry();
      const QRect page = first->geometry();
      QCOMPARE(page, QRect(tab.x() + 4, tab.y() + itemBottom + 4, tab.width() - 8, tab.bottom() + 1 - (tab.y() + itemBottom + 4) - 4));
      QCOMPARE(page, sheet.PageRect(first));
    }

    // The sheet does not shrink below its first size.
    sheet.resize(firstSize - QSize(100, 100));
    QCOMPARE(sheet.size(), firstSize);

    // The page that becomes active is placed at once.
    sheet.resize(800, 600);
    QVERIFY(sheet.SetActivePage(1));
    QCOMPARE(second->geometryAtActivation, sheet.PageRect(second));
    QVERIFY(second->isVisible());
    QVERIFY(!first->isVisible());
  }

  void WizardSheetFollowsItsSize() {
    CResizablePropertySheet sheet(QStringLiteral("New Signature Wizard"), 0, nullptr, false, true);
    sheet.SetWizard97Mode(317);
    auto* interior = new RecordingPage(QStringLiteral("Add files for analysis"), QSize(380, 220), &log_);
    interior->SetHeaderTitle(QStringLiteral("Add files for analysis"));
    auto* exterior = new RecordingPage(QStringLiteral("Welcome"), QSize(300, 200), &log_, true);
    sheet.AddPage(interior);
    sheet.AddPage(exterior);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(sheet.minimumSize(), sheet.size());
    QCOMPARE(interior->size(), QSize(380, 220));
    QVERIFY(sheet.HeaderHeight() > 0);

    const QWidget* upper = FindControl(&sheet, kWizardHeaderLineId);
    const QWidget* lower = FindControl(&sheet, kWizardButtonLineId);
    QVERIFY(upper && lower);
    const QSize firstSize = sheet.size();
    const int upperTop = upper->y();
    const int lowerFromBottom = sheet.height() - lower->y();
    const QList<int> buttons{kWizardBackId, kWizardNextId, kWizardFinishId, kSheetCancelId, kSheetHelpId};
    QList<QPoint> distances;
    for (int id : buttons) distances << DistanceToCorner(&sheet, id);

    for (const QSize& size : {QSize(800, 500), QSize(620, 700), firstSize + QSize(3, 0), QSize(1000, 420)}) {
      sheet.resize(size);
      for (int i = 0; i < buttons.size(); ++i) QCOMPARE(DistanceToCorner(&sheet, buttons[i]), distances[i]);
      QCOMPARE(upper->geometry(), QRect(0, upperTop, size.width(), 2));
      QCOMPARE(lower->width(), size.width());
      QCOMPARE(lower->x(), 0);
      QCOMPARE(size.height() - lower->y(), lowerFromBottom);
      const int y = upper->y() + 11;
      QCOMPARE(interior->geometry(), QRect(11, y, size.width() - 22, lower->y() - y - 11));
    }

    // An exterior page covers the whole width from the top down to the lower line.
    QVERIFY(sheet.SetActivePage(exterior));
    QCOMPARE(exterior->property(kIsExteriorProperty).toInt(), 1);
    QVERIFY(!interior->property(kIsExteriorProperty).isValid());
    QCOMPARE(exterior->geometry(), QRect(0, 0, sheet.width(), lower->y()));
    sheet.resize(900, 600);
    QCOMPARE(exterior->geometry(), QRect(0, 0, 900, lower->y()));
  }

  void CentresOnTheFirstPageInitialisedOnly() {
    QWidget owner;
    owner.setGeometry(200, 150, 900, 700);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    CResizablePropertySheet sheet(QStringLiteral("Wizard"), 0, &owner, false, true);
    auto* first = new RecordingPage(QStringLiteral("one"), QSize(300, 200), &log_);
    auto* second = new RecordingPage(QStringLiteral("two"), QSize(300, 200), &log_);
    sheet.AddPage(first);
    sheet.AddPage(second);
    // Placed by hand first, so that only the sheet itself centres it.
    sheet.move(0, 0);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    // Centred before it was shown, when its frame was not known yet: within the frame's width.
    QVERIFY(std::abs(sheet.frameGeometry().center().x() - owner.frameGeometry().center().x()) <= 3);
    QVERIFY(std::abs(sheet.frameGeometry().center().y() - owner.frameGeometry().center().y()) <= 3);

    // The second page's initialisation does not move the sheet again.
    sheet.move(10, 20);
    QTRY_COMPARE(sheet.pos(), QPoint(10, 20));
    QVERIFY(sheet.SetActivePage(second));
    QCOMPARE(log_.filter(QStringLiteral("two init")).size(), 1);
    QApplication::processEvents();
    QCOMPARE(sheet.pos(), QPoint(10, 20));
    QEvent again(static_cast<QEvent::Type>(WM_PAGE_INITIALIZED));
    QCoreApplication::sendEvent(&sheet, &again);
    QCOMPARE(sheet.pos(), QPoint(10, 20));

    // Pages that never send it leave the sheet where it is.
    CResizablePropertySheet quiet(QStringLiteral("Quiet"), 0, &owner, false, true);
    auto* silent = new RecordingPage(QStringLiteral("silent"), QSize(300, 200), &log_);
    silent->sendInitialized = false;
    quiet.AddPage(silent);
    quiet.move(0, 0);
    quiet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&quiet));
    QCOMPARE(quiet.pos(), QPoint(0, 0));
  }

  void EachEndEmitsSheetClosedOnce_data() {
    QTest::addColumn<bool>("wizard");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("closed");
    QTest::addColumn<int>("result");
    QTest::newRow("wizard Finish") << true << QStringLiteral("finish") << 1 << int(QDialog::Accepted);
    QTest::newRow("wizard Finish refused") << true << QStringLiteral("finish refused") << 0 << -1;
    QTest::newRow("wizard Cancel") << true << QStringLiteral("cancel") << 1 << int(QDialog::Rejected);
    QTest::newRow("wizard close box") << true << QStringLiteral("close") << 1 << int(QDialog::Rejected);
    QTest::newRow("wizard Escape") << true << QStringLiteral("escape") << 1 << int(QDialog::Rejected);
    QTest::newRow("tabbed OK") << false << QStringLiteral("ok") << 1 << int(QDialog::Accepted);
    QTest::newRow("tabbed OK refused by a page") << false << QStringLiteral("ok refused") << 0 << -1;
    QTest::newRow("tabbed Cancel") << false << QStringLiteral("cancel") << 1 << int(QDialog::Rejected);
    QTest::newRow("tabbed close box") << false << QStringLiteral("close") << 1 << int(QDialog::Rejected);
  }
  void EachEndEmitsSheetClosedOnce() {
    QFETCH(bool, wizard);
    QFETCH(QString, gesture);
    QFETCH(int, closed);
    QFETCH(int, result);
    CResizablePropertySheet sheet(QStringLiteral("Sheet"), 0, nullptr, false, wizard);
    auto* page = new RecordingPage(QStringLiteral("page"), QSize(300, 200), &log_);
    sheet.AddPage(page);
    QSignalSpy spy(&sheet, &CResizablePropertySheet::sheetClosed);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    sheet.setResult(-1);
    if (gesture.startsWith(QLatin1String("finish"))) {
      page->acceptFinish = gesture == QLatin1String("finish");
      sheet.SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
      Button(&sheet, kWizardFinishId)->click();
    } else if (gesture.startsWith(QLatin1String("ok"))) {
      if (gesture == QLatin1String("ok refused")) page->applyResult = kApplyRefused;
      Button(&sheet, kSheetOkId)->click();
    } else if (gesture == QLatin1String("cancel")) {
      Button(&sheet, kSheetCancelId)->click();
    } else if (gesture == QLatin1String("close")) {
      sheet.close();
    } else {
      QTest::keyClick(&sheet, Qt::Key_Escape);
    }
    QApplication::processEvents();
    QCOMPARE(spy.count(), closed);
    QCOMPARE(sheet.isVisible(), closed == 0);
    QCOMPARE(sheet.result(), result);
    if (gesture == QLatin1String("cancel") || gesture == QLatin1String("close") || gesture == QLatin1String("escape")) {
      QVERIFY(log_.contains(QStringLiteral("page reset")));
    }
    // An open sheet closes now; a closed one signals nothing more.
    sheet.close();
    QCOMPARE(spy.count(), 1);
  }

  void WizardButtonsFollowTheFlags_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("backEnabled");
    QTest::addColumn<bool>("nextShown");
    QTest::addColumn<bool>("nextEnabled");
    QTest::addColumn<bool>("finishShown");
    QTest::addColumn<bool>("finishEnabled");
    QTest::newRow("none") << 0 << false << true << false << false << false;
    QTest::newRow("Next") << PSWIZB_NEXT << false << true << true << false << false;
    QTest::newRow("Back") << PSWIZB_BACK << true << true << false << false << false;
    QTest::newRow("Back and Next") << (PSWIZB_BACK | PSWIZB_NEXT) << true << true << true << false << false;
    QTest::newRow("Back and Finish") << (PSWIZB_BACK | PSWIZB_FINISH) << true << false << false << true << true;
    QTest::newRow("disabled Finish") << PSWIZB_DISABLEDFINISH << false << false << false << true << false;
  }
  void WizardButtonsFollowTheFlags() {
    QFETCH(int, flags);
    QFETCH(bool, backEnabled);
    QFETCH(bool, nextShown);
    QFETCH(bool, nextEnabled);
    QFETCH(bool, finishShown);
    QFETCH(bool, finishEnabled);
    CResizablePropertySheet sheet(QStringLiteral("Wizard"), 0, nullptr, false, true);
    auto* page = new RecordingPage(QStringLiteral("page"), QSize(300, 200), &log_);
    page->buttonsOnActivation = flags;
    sheet.AddPage(page);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(sheet.WizardButtons(), flags);
    QAbstractButton* back = Button(&sheet, kWizardBackId);
    QAbstractButton* next = Button(&sheet, kWizardNextId);
    QAbstractButton* finish = Button(&sheet, kWizardFinishId);
    QCOMPARE(back->isEnabled(), backEnabled);
    QCOMPARE(next->isVisible(), nextShown);
    QCOMPARE(next->isEnabled(), nextEnabled);
    QCOMPARE(finish->isVisible(), finishShown);
    QCOMPARE(finish->isEnabled(), finishEnabled);
    // Finish sits where Next is.
    QCOMPARE(finish->geometry(), next->geometry());
  }

  void WizardPagesThroughBackAndNext() {
    CResizablePropertySheet sheet(QStringLiteral("Wizard"), 0, nullptr, false, true);
    auto* one = new RecordingPage(QStringLiteral("one"), QSize(300, 200), &log_);
    auto* two = new RecordingPage(QStringLiteral("two"), QSize(300, 200), &log_);
    auto* three = new RecordingPage(QStringLiteral("three"), QSize(300, 200), &log_);
    auto* four = new RecordingPage(QStringLiteral("four"), QSize(300, 200), &log_);
    four->SetDialogId(335);
    for (auto* page : {one, two, three, four}) sheet.AddPage(page);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(log_, (QStringList{QStringLiteral("one init"), QStringLiteral("one set active")}));
    QAbstractButton* next = Button(&sheet, kWizardNextId);
    QAbstractButton* back = Button(&sheet, kWizardBackId);

    log_.clear();
    next->click();
    QCOMPARE(sheet.ActivePage(), two);
    QCOMPARE(log_, (QStringList{QStringLiteral("one next"), QStringLiteral("one kill active"), QStringLiteral("two init"),
                                QStringLiteral("two set active")}));

    // Next refused by the page: it stays.
    two->nextResult = kWizardStay;
    next->click();
    QCOMPARE(sheet.ActivePage(), two);
    // Leaving refused: it stays.
    two->nextResult = kWizardGoOn;
    two->acceptLeaving = false;
    next->click();
    QCOMPARE(sheet.ActivePage(), two);
    two->acceptLeaving = true;
    // A page that refuses to become active is passed over.
    three->acceptActivation = false;
    next->click();
    QCOMPARE(sheet.ActivePage(), four);
    QVERIFY(three->IsInitialized());
    QVERIFY(!three->isVisible());

    // Back skips the refusing page too; a page named by its form id is gone to directly.
    back->click();
    QCOMPARE(sheet.ActivePage(), two);
    two->nextResult = 335;
    next->click();
    QCOMPARE(sheet.ActivePage(), four);
    // Pressing a button waits for the event loop.
    four->backResult = kWizardGoOn;
    sheet.PressButton(PSBTN_BACK);
    QCOMPARE(sheet.ActivePage(), four);
    QTRY_COMPARE(sheet.ActivePage(), two);
  }

  void TabbedSheetSwitchesAppliesAndCancels() {
    CResizablePropertySheet sheet(QStringLiteral("Program Settings"));
    auto* one = new RecordingPage(QStringLiteral("one"), QSize(300, 200), &log_);
    auto* two = new RecordingPage(QStringLiteral("two"), QSize(300, 200), &log_);
    auto* three = new RecordingPage(QStringLiteral("three"), QSize(300, 200), &log_);
    for (auto* page : {one, two, three}) sheet.AddPage(page);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    auto* bar = FindControl(&sheet, kSheetTabControlId)->findChild<QTabBar*>();
    QAbstractButton* apply = Button(&sheet, kSheetApplyId);
    QVERIFY(!apply->isEnabled());

    // A tab click changes pages unless the current page refuses to go.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(sheet.ActivePage(), two);
    two->acceptLeaving = false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QCOMPARE(sheet.ActivePage(), two);
    QCOMPARE(bar->currentIndex(), 1);
    two->acceptLeaving = true;

    // Apply: only the pages that were shown; Apply is enabled by a change.
    two->SetModified();
    QVERIFY(apply->isEnabled());
    log_.clear();
    apply->click();
    QCOMPARE(log_, (QStringList{QStringLiteral("two kill active"), QStringLiteral("one apply"),
                                QStringLiteral("two apply")}));
    QVERIFY(!apply->isEnabled());
    QVERIFY(sheet.isVisible());

    // A page that refuses its apply becomes current, and the sheet stays.
    one->applyResult = kApplyRefused;
    Button(&sheet, kSheetOkId)->click();
    QVERIFY(sheet.isVisible());
    QCOMPARE(sheet.ActivePage(), one);
    one->applyResult = kApplyAccepted;

    // Cancel resets the pages that were shown.
    log_.clear();
    Button(&sheet, kSheetCancelId)->click();
    QCOMPARE(log_, (QStringList{QStringLiteral("one reset"), QStringLiteral("two reset")}));
    QVERIFY(!three->IsInitialized());
  }

  void HelpReachesTheHandler() {
    {
      CResizablePropertySheet sheet(QStringLiteral("Tabbed"));
      sheet.AddPage(new RecordingPage(QStringLiteral("one"), QSize(300, 200), &log_));
      sheet.Create();
      QVERIFY(QTest::qWaitForWindowExposed(&sheet));
      Button(&sheet, kSheetHelpId)->click();
      QCOMPARE(help_.size(), 1);
      QCOMPARE(help_[0].command, kSheetHelpCommand);
      QCOMPARE(help_[0].window, nullptr);
    }
    {
      CResizablePropertySheet sheet(QStringLiteral("Wizard"), 0, nullptr, false, true);
      auto* page = new RecordingPage(QStringLiteral("one"), QSize(300, 200), &log_);
      sheet.AddPage(page);
      sheet.Create();
      QVERIFY(QTest::qWaitForWindowExposed(&sheet));
      Button(&sheet, kSheetHelpId)->click();
      QCOMPARE(help_.size(), 2);
      QCOMPARE(help_[1].command, 0);
      QCOMPARE(help_[1].window, page);
    }
  }

  void RendersTabbedAndWizardSheetsAtTwoSizes() {
    {
      CResizablePropertySheet sheet(QStringLiteral("File Format Properties"));
      sheet.AddPage(new RecordingPage(QStringLiteral("Technical Description"), QSize(380, 240), nullptr));
      sheet.AddPage(new RecordingPage(QStringLiteral("Description"), QSize(380, 240), nullptr));
      sheet.AddPage(new RecordingPage(QStringLiteral("Signature Stamp"), QSize(380, 240), nullptr));
      sheet.Create();
      sheet.Page(0)->SetModified();
      QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_tabbed")).isEmpty());
      sheet.resize(sheet.size() + QSize(220, 120));
      QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_tabbed_larger")).isEmpty());
    }
    {
      CResizablePropertySheet sheet(QStringLiteral("New Signature Wizard"), 0, nullptr, false, true);
      sheet.SetWizard97Mode(317);
      auto* page = new RecordingPage(QStringLiteral("Add files for analysis"), QSize(400, 230), nullptr);
      page->SetHeaderTitle(QStringLiteral("Add files for analysis"));
      page->SetHeaderSubTitle(QStringLiteral("1. The files must be of the same type."));
      page->buttonsOnActivation = PSWIZB_NEXT;
      sheet.AddPage(page);
      sheet.Create();
      QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_wizard")).isEmpty());
      sheet.resize(sheet.size() + QSize(260, 140));
      QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_wizard_larger")).isEmpty());
    }
  }

 private:
  QStringList log_;
  QList<HelpCall> help_;
};
VANDREL_QT_TEST(ResizablePropertySheetTest);

#include "ResizablePropertySheetTest.moc"
