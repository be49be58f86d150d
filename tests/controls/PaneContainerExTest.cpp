// CPaneContainerEx: header sizes, layout, elided title and the close button.
#include <QAbstractButton>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include "controls/ControlId.h"
#include "controls/PaneContainerEx.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

using namespace controls;

namespace {

QFont PixelFont(int pixels) {
  QFont font;
  font.setPixelSize(pixels);
  return font;
}

// Receives the close requests, as the main frame does, and notes the sender.
class CloseReceiver : public QObject {
 public:
  QList<QObject*> senders;
  QList<CPaneContainerEx*> containers;
  void OnClose(CPaneContainerEx* container) {
    senders.append(sender());
    containers.append(container);
  }
};

}  // namespace

class PaneContainerExTest : public QObject {
  Q_OBJECT
 private slots:
  void HeaderSizeFollowsTheFont_data() {
    QTest::addColumn<int>("pixels");
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<int>("header");
    QTest::addColumn<bool>("closeButton");
    QTest::newRow("9 px font") << 9 << 0u << 22 << true;
    QTest::newRow("12 px font") << 12 << 0u << 22 << true;
    QTest::newRow("13 px font") << 13 << 0u << 23 << true;
    QTest::newRow("16 px font") << 16 << 0u << 26 << true;
    QTest::newRow("vertical, 16 px font") << 16 << kPaneVertical << 22 << true;
    QTest::newRow("no close button") << 16 << kPaneNoCloseButton << 26 << false;
    QTest::newRow("no header") << 16 << kPaneNoHeader << 0 << false;
    QTest::newRow("no header, vertical") << 9 << (kPaneNoHeader | kPaneVertical) << 0 << false;
  }
  void HeaderSizeFollowsTheFont() {
    QFETCH(int, pixels);
    QFETCH(unsigned, style);
    QFETCH(int, header);
    QFETCH(bool, closeButton);
    QCOMPARE(PaneHeaderSize(pixels, style), header);

    QWidget frame;
    frame.setFont(PixelFont(pixels));
    CPaneContainerEx pane(&frame, style);
    pane.resize(300, 200);
    QCOMPARE(pane.HeaderSize(), header);
    QCOMPARE(pane.CloseButton() != nullptr, closeButton);
    QCOMPARE(FindControl(&pane, ID_PANE_CLOSE) != nullptr, closeButton);
  }

  void LayoutPlacesHeaderButtonAndView_data() {
    QTest::addColumn<unsigned>("style");
    QTest::addColumn<QRect>("header");
    QTest::addColumn<QRect>("close");
    QTest::addColumn<QRect>("client");
    QTest::newRow("normal") << 0u << QRect(0, 0, 300, 26) << QRect(277, 3, 20, 18) << QRect(0, 26, 300, 174);
    QTest::newRow("vertical") << kPaneVertical << QRect(0, 0, 22, 200) << QRect(2, 3, 20, 18) << QRect(22, 0, 278, 200);
    QTest::newRow("no header") << kPaneNoHeader << QRect() << QRect() << QRect(0, 0, 300, 200);
    QTest::newRow("no close button") << kPaneNoCloseButton << QRect(0, 0, 300, 26) << QRect() << QRect(0, 26, 300, 174);
  }
  void LayoutPlacesHeaderButtonAndView() {
    QFETCH(unsigned, style);
    QFETCH(QRect, header);
    QFETCH(QRect, close);
    QFETCH(QRect, client);
    QWidget frame;
    frame.setFont(PixelFont(16));
    CPaneContainerEx pane(&frame, style);
    auto* view = new QTextEdit;
    pane.SetClient(view);
    pane.resize(300, 200);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const PaneContainerLayout layout = pane.Layout();
    QCOMPARE(layout.header, header);
    QCOMPARE(layout.closeButton, close);
    QCOMPARE(view->geometry(), client);
    QCOMPARE(view->parentWidget(), &pane);
    if (pane.CloseButton()) {
      QCOMPARE(pane.CloseButton()->geometry(), close);
      QVERIFY(pane.CloseButton()->isVisible());
    }
    // The view follows a resize.
    pane.resize(400, 250);
    QCOMPARE(view->geometry().bottomRight(), QPoint(399, 249));
  }

  void LongTitleEndsInAnEllipsis() {
    QWidget frame;
    frame.setFont(PixelFont(12));
    CPaneContainerEx pane(&frame);
    pane.resize(400, 100);
    const QString shortTitle = QStringLiteral("Data viewer");
    pane.SetTitle(shortTitle);
    QCOMPARE(pane.ElidedTitle(), shortTitle);
    const QString longTitle = QStringLiteral("A title that is far too long for the narrow strip of this pane");
    pane.SetTitle(longTitle);
    pane.resize(160, 100);
    const QString elided = pane.ElidedTitle();
    QVERIFY(elided.endsWith(QChar(0x2026)));
    QVERIFY(elided.size() < longTitle.size());
    QVERIFY(QFontMetrics(pane.font()).horizontalAdvance(elided) <= pane.Layout().title.width());
    // The strip leaves room for the close button.
    QCOMPARE(pane.Layout().title, QRect(6, 2, 160 - 2 - 27 - 6, 20));
    // Titles keep at most 80 characters.
    pane.SetTitle(QString(100, QLatin1Char('x')));
    QCOMPARE(pane.Title().size(), 80);
  }

  void EachClickRequestsCloseOnce() {
    QWidget frame;
    frame.resize(300, 200);
    CPaneContainerEx pane(&frame);
    pane.setGeometry(0, 0, 300, 200);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    CloseReceiver receiver;
    connect(&pane, &CPaneContainerEx::closeRequested, &receiver, [&receiver](CPaneContainerEx* container) {
      receiver.OnClose(container);
    });
    QSignalSpy spy(&pane, &CPaneContainerEx::closeRequested);
    QAbstractButton* close = pane.CloseButton();
    QVERIFY(close);
    QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(10, 9));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<CPaneContainerEx*>(), &pane);
    QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(10, 9));
    QCOMPARE(spy.count(), 2);
    // A press released outside is no click.
    QTest::mousePress(close, Qt::LeftButton, {}, QPoint(10, 9));
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(receiver.containers, (QList<CPaneContainerEx*>{&pane, &pane}));
    QCOMPARE(receiver.senders, (QList<QObject*>{&pane, &pane}));
  }

  void StyleChangesRebuildTheHeader() {
    QWidget frame;
    frame.setFont(PixelFont(16));
    CPaneContainerEx pane(&frame);
    pane.resize(200, 100);
    QVERIFY(pane.CloseButton());
    pane.SetExtendedStyle(kPaneNoHeader);
    QCOMPARE(pane.HeaderSize(), 0);
    QVERIFY(!pane.CloseButton());
    pane.SetExtendedStyle(0);
    QCOMPARE(pane.HeaderSize(), 26);
    QVERIFY(pane.CloseButton());
    QCOMPARE(pane.CloseButton()->geometry(), QRect(177, 3, 20, 18));
  }

  void RendersItsVariants() {
    QWidget frame;
    frame.resize(720, 200);
    auto* row = new QHBoxLayout(&frame);
    auto* normal = new CPaneContainerEx(&frame);
    normal->SetTitle(QStringLiteral("Data viewer"));
    auto* text = new QTextEdit;
    text->setPlainText(QStringLiteral("The hosted view."));
    normal->SetClient(text);
    auto* narrow = new CPaneContainerEx(&frame);
    narrow->SetTitle(QStringLiteral("A title far too long for this narrow pane"));
    narrow->setFixedWidth(150);
    auto* vertical = new CPaneContainerEx(&frame, kPaneVertical);
    vertical->SetClient(new QTextEdit(QStringLiteral("Vertical header on the left.")));
    auto* noHeader = new CPaneContainerEx(&frame, kPaneNoHeader);
    noHeader->SetTitle(QStringLiteral("Not shown"));
    noHeader->SetClient(new QTextEdit(QStringLiteral("No header: the view fills the pane.")));
    for (QWidget* pane : {static_cast<QWidget*>(normal), static_cast<QWidget*>(narrow), static_cast<QWidget*>(vertical),
                          static_cast<QWidget*>(noHeader)}) {
      row->addWidget(pane);
    }
    QVERIFY(!test::SaveScreenshot(&frame, QStringLiteral("controls"), QStringLiteral("pane_containers")).isEmpty());
  }
};
VANDREL_QT_TEST(PaneContainerExTest);

#include "PaneContainerExTest.moc"
