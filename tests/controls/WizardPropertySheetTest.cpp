// CWizardPropertySheet: interior pages right of the side bar strip, and one
// WM_PAGE_LAYOUT_CHANGED per resize, after the page was placed.
#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "controls/ControlId.h"
#include "controls/DialogUnits.h"
#include "controls/WizardPropertySheet.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/controls/SheetTestPages.h"

using namespace controls;
using test::RecordingPage;

namespace {

// A wizard that notes, at each layout message, where its page is and where it
// should be, and places a side bar in the strip on the left.
class LayoutRecordingWizard : public CWizardPropertySheet {
 public:
  LayoutRecordingWizard() : CWizardPropertySheet(QString(), 0, nullptr, false, true) {
    sideBar = new QLabel(QStringLiteral("Step 1 of 9:\nSelect drive\n\nStep 2 of 9:\nFile types"), this);
    sideBar->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    sideBar->setMargin(8);
    sideBar->setAutoFillBackground(true);
    QPalette palette = sideBar->palette();
    palette.setColor(QPalette::Window, QColor(226, 234, 246));
    sideBar->setPalette(palette);
  }

  QLabel* sideBar;
  int layoutMessages = 0;
  QList<QRect> pageAtMessage;
  QList<QRect> expectedAtMessage;
  QList<QSize> sizeAtMessage;

 protected:
  void OnPageLayoutChanged() override {
    ++layoutMessages;
    pageAtMessage << (ActivePage() ? ActivePage()->geometry() : QRect());
    expectedAtMessage << PageRect(ActivePage());
    sizeAtMessage << size();
    const QWidget* lower = FindControl(this, kWizardButtonLineId);
    sideBar->setGeometry(0, HeaderHeight() + 2, kWizardSideBarWidth - 7, lower->y() - HeaderHeight() - 2);
  }
};

}  // namespace

class WizardPropertySheetTest : public QObject {
  Q_OBJECT
 private slots:
  void InteriorPagesStayRightOfTheStrip() {
    LayoutRecordingWizard sheet;
    sheet.SetWizard97Mode(325);
    QStringList log;
    auto* page = new RecordingPage(QStringLiteral("Select drive"), QSize(420, 260), &log);
    auto* exterior = new RecordingPage(QStringLiteral("Welcome"), QSize(300, 200), &log, true);
    sheet.AddPage(page);
    sheet.AddPage(exterior);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(page->size(), QSize(420, 260));
    const QSize first = sheet.size();
    const QWidget* upper = FindControl(&sheet, kWizardHeaderLineId);
    const QWidget* lower = FindControl(&sheet, kWizardButtonLineId);
    for (const QSize& size : {QSize(900, 600), QSize(640, 700), first, QSize(1200, 450)}) {
      sheet.resize(size);
      const int y = upper->y() + 7;
      // 145 pixels for the 8-point dialog font, scaled with the sheet's.
      const int strip = ScaledPixelsX(sheet.font(), 145);
      QCOMPARE(page->geometry(), QRect(strip, y, size.width() - 7 - strip, lower->y() - y - 7));
      QVERIFY(page->x() >= kWizardSideBarWidth);
    }
    // The sheet cannot shrink the page into the strip.
    sheet.resize(100, 100);
    QCOMPARE(sheet.size(), first);
    QVERIFY(page->x() >= kWizardSideBarWidth);
    // Exterior pages are as in any wizard.
    QVERIFY(sheet.SetActivePage(exterior));
    QCOMPARE(exterior->geometry(), QRect(0, 0, sheet.width(), lower->y()));
  }

  void OneLayoutMessagePerResizeAfterThePageIsPlaced() {
    LayoutRecordingWizard sheet;
    sheet.SetWizard97Mode(325);
    auto* page = new RecordingPage(QStringLiteral("Select drive"), QSize(420, 260), nullptr);
    sheet.AddPage(page);
    QSignalSpy spy(&sheet, &CWizardPropertySheet::pageLayoutChanged);
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    // The first layout after the sheet appears.
    QTRY_COMPARE(sheet.layoutMessages, 1);
    QApplication::processEvents();
    QCOMPARE(sheet.layoutMessages, 1);

    // One resize: one message, and by then the page is in place.
    sheet.resize(900, 600);
    QCOMPARE(sheet.layoutMessages, 1);  // queued, not sent
    QApplication::processEvents();
    QCOMPARE(sheet.layoutMessages, 2);
    QCOMPARE(sheet.sizeAtMessage.last(), QSize(900, 600));
    QCOMPARE(sheet.pageAtMessage.last(), sheet.expectedAtMessage.last());
    QCOMPARE(sheet.pageAtMessage.last().x(), ScaledPixelsX(sheet.font(), 145));

    // Three resizes before the loop runs: one message, for the last size.
    sheet.resize(800, 500);
    sheet.resize(1000, 520);
    sheet.resize(950, 640);
    QApplication::processEvents();
    QApplication::processEvents();
    QCOMPARE(sheet.layoutMessages, 3);
    QCOMPARE(sheet.sizeAtMessage.last(), QSize(950, 640));
    QCOMPARE(sheet.pageAtMessage.last(), sheet.expectedAtMessage.last());
    QCOMPARE(spy.count(), 3);

    // No resize, no message.
    QApplication::processEvents();
    QCOMPARE(sheet.layoutMessages, 3);
  }

  void TheResizableSheetPostsNoLayoutMessage() {
    // Only the wizard variant tells itself about its layout.
    CResizablePropertySheet sheet(QStringLiteral("New Signature Wizard"), 0, nullptr, false, true);
    sheet.AddPage(new RecordingPage(QStringLiteral("one"), QSize(300, 200), nullptr));
    sheet.Create();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    sheet.resize(700, 500);
    QApplication::processEvents();
    QCOMPARE(sheet.Page(0)->x(), 11);
  }

  void RendersTheWizardWithItsStrip() {
    LayoutRecordingWizard sheet;
    sheet.setWindowTitle(QStringLiteral("Digital Vandrel Professional"));
    sheet.SetWizard97Mode(325);
    auto* page = new RecordingPage(QStringLiteral("Select drive"), QSize(440, 260), nullptr);
    page->SetHeaderTitle(QStringLiteral("Step 1 of 9: Select drive"));
    page->SetHeaderSubTitle(QStringLiteral("Select the drive to search for lost files."));
    page->buttonsOnActivation = PSWIZB_BACK | PSWIZB_NEXT;
    sheet.AddPage(page);
    sheet.Create();
    QTRY_VERIFY(sheet.layoutMessages >= 1);
    QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_wizard_mode")).isEmpty());
    sheet.resize(sheet.size() + QSize(200, 100));
    QTRY_VERIFY(sheet.layoutMessages >= 2);
    QVERIFY(!test::SaveScreenshot(&sheet, QStringLiteral("controls"), QStringLiteral("sheet_wizard_mode_larger")).isEmpty());
  }
};
VANDREL_QT_TEST(WizardPropertySheetTest);

#include "WizardPropertySheetTest.moc"
