// CMultiPaneStatusBarEx: parts and pane rectangles as the window's width
// changes, pane widths, and the log button's command arriving after the click.
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include "controls/ControlId.h"
#include "controls/MultiPaneStatusBarEx.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"

using namespace controls;

namespace {

const QList<int> kMainFramePanes{133, 159, 0};

}  // namespace

class MultiPaneStatusBarExTest : public QObject {
  Q_OBJECT
 private slots:
  void LayoutMovesTheVariablePane_data() {
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QList<int>>("rights");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("grip");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("wider") << kMainFramePanes << QList<int>{250, 450, 650} << 800 << 0 << QList<int>{250, 450, 800};
    QTest::newRow("narrower") << kMainFramePanes << QList<int>{250, 450, 800} << 500 << 0 << QList<int>{250, 450, 500};
    QTest::newRow("too narrow: the parts stay")
        << kMainFramePanes << QList<int>{250, 450, 500} << 450 << 0 << QList<int>{250, 450, 500};
    QTest::newRow("far too narrow: the parts stay")
        << kMainFramePanes << QList<int>{250, 450, 800} << 100 << 0 << QList<int>{250, 450, 800};
    QTest::newRow("hidden progress pane") << kMainFramePanes << QList<int>{250, 250, 450} << 800 << 0
                                          << QList<int>{250, 250, 800};
    QTest::newRow("variable pane first") << QList<int>{0, 7} << QList<int>{100, 200} << 500 << 0
                                         << QList<int>{400, 500};
    QTest::newRow("variable pane first, too narrow")
        << QList<int>{0, 7} << QList<int>{100, 200} << 100 << 0 << QList<int>{100, 200};
    QTest::newRow("room for a size grip") << kMainFramePanes << QList<int>{250, 450, 650} << 800 << 20
                                          << QList<int>{250, 450, 780};
    QTest::newRow("no variable pane") << QList<int>{1, 2} << QList<int>{100, 200} << 500 << 0 << QList<int>{100, 200};
    QTest::newRow("count differs") << kMainFramePanes << QList<int>{100, 200} << 500 << 0 << QList<int>{100, 200};
  }
  void LayoutMovesTheVariablePane() {
    QFETCH(QList<int>, ids);
    QFETCH(QList<int>, rights);
    QFETCH(int, width);
    QFETCH(int, grip);
    QFETCH(QList<int>, expected);
    QCOMPARE(StatusBarPaneLayout(ids, rights, width, grip), expected);
  }

  void PaneWidthsPushTheirNeighbours_data() {
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QList<int>>("rights");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("hide the progress pane") << kMainFramePanes << QList<int>{250, 450, 800} << 1 << 0
                                            << QList<int>{250, 250, 800};
    QTest::newRow("show it again") << kMainFramePanes << QList<int>{250, 250, 800} << 1 << 200
                                   << QList<int>{250, 450, 800};
    QTest::newRow("first pane wider") << kMainFramePanes << QList<int>{250, 450, 800} << 0 << 300
                                      << QList<int>{300, 500, 800};
    QTest::newRow("the variable pane keeps its width")
        << kMainFramePanes << QList<int>{250, 450, 800} << 2 << 10 << QList<int>{250, 450, 800};
    QTest::newRow("pane after the variable one") << QList<int>{1, 0, 2} << QList<int>{100, 400, 500} << 2 << 150
                                                 << QList<int>{100, 350, 500};
    QTest::newRow("no variable pane") << QList<int>{1, 2} << QList<int>{100, 200} << 0 << 50 << QList<int>{50, 150};
  }
  void PaneWidthsPushTheirNeighbours() {
    QFETCH(QList<int>, ids);
    QFETCH(QList<int>, rights);
    QFETCH(int, index);
    QFETCH(int, width);
    QFETCH(QList<int>, expected);
    QCOMPARE(StatusBarPaneWidth(ids, rights, index, width), expected);
  }

  void PaneRectanglesAtSeveralWidths_data() {
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<QList<int>>("barWidths");
    // For each bar width: the rectangles of panes 133, 159 and 0.
    QTest::addColumn<QList<QList<QRect>>>("rects");
    QTest::newRow("250, 200, 200") << QList<int>{250, 200, 200} << QList<int>{800, 1000, 500, 450, 700}
                                   << QList<QList<QRect>>{
                                          {QRect(0, 2, 250, 20), QRect(252, 2, 198, 20), QRect(452, 2, 348, 20)},
                                          {QRect(0, 2, 250, 20), QRect(252, 2, 198, 20), QRect(452, 2, 548, 20)},
                                          {QRect(0, 2, 250, 20), QRect(252, 2, 198, 20), QRect(452, 2, 48, 20)},
                                          // Below the neighbour: the parts stay.
                                          {QRect(0, 2, 250, 20), QRect(252, 2, 198, 20), QRect(452, 2, 48, 20)},
                                          {QRect(0, 2, 250, 20), QRect(252, 2, 198, 20), QRect(452, 2, 248, 20)},
                                      };
    QTest::newRow("250, 0, 200") << QList<int>{250, 0, 200} << QList<int>{800, 300, 240, 600}
                                 << QList<QList<QRect>>{
                                        {QRect(0, 2, 250, 20), QRect(252, 2, 0, 20), QRect(252, 2, 548, 20)},
                                        {QRect(0, 2, 250, 20), QRect(252, 2, 0, 20), QRect(252, 2, 48, 20)},
                                        {QRect(0, 2, 250, 20), QRect(252, 2, 0, 20), QRect(252, 2, 48, 20)},
                                        {QRect(0, 2, 250, 20), QRect(252, 2, 0, 20), QRect(252, 2, 348, 20)},
                                    };
  }
  void PaneRectanglesAtSeveralWidths() {
    QFETCH(QList<int>, widths);
    QFETCH(QList<int>, barWidths);
    QFETCH(QList<QList<QRect>>, rects);
    QWidget frame;
    frame.resize(1000, 22);
    CMultiPaneStatusBarEx bar(&frame);
    bar.resize(650, 22);
    bar.SetPanes(kMainFramePanes, widths);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    for (int i = 0; i < barWidths.size(); ++i) {
      bar.resize(barWidths[i], 22);
      for (int pane = 0; pane < kMainFramePanes.size(); ++pane) {
        QCOMPARE(bar.PaneRect(kMainFramePanes[pane]), rects[i][pane]);
      }
    }
    QCOMPARE(bar.PaneRect(999), QRect());
    QVERIFY(!bar.SetPaneText(999, QStringLiteral("x")));
  }

  void ProgressPaneShowsAndHides() {
    QWidget frame;
    CMultiPaneStatusBarEx bar(&frame);
    bar.resize(800, 22);
    bar.SetPanes(kMainFramePanes, {250, 200, 200});
    QCOMPARE(bar.Parts(), (QList<int>{250, 450, 800}));
    QVERIFY(bar.SetPaneWidth(159, 0));
    QCOMPARE(bar.Parts(), (QList<int>{250, 250, 800}));
    QVERIFY(bar.SetPaneWidth(159, 200));
    QCOMPARE(bar.Parts(), (QList<int>{250, 450, 800}));
    QVERIFY(!bar.SetPaneWidth(42, 10));
  }

  void SizeGripKeepsItsRoom() {
    QWidget frame;
    frame.resize(800, 22);
    CMultiPaneStatusBarEx bar(&frame, true);
    QVERIFY(bar.HasSizeGrip());
    bar.resize(650, 22);
    bar.SetPanes(kMainFramePanes, {250, 200, 200});
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    bar.resize(800, 22);
    const int grip = bar.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &bar) + 2;
    QCOMPARE(bar.Parts().last(), 800 - grip);
  }

  void MinimisedWindowKeepsTheParts() {
    QWidget frame;
    frame.resize(800, 100);
    CMultiPaneStatusBarEx bar(&frame);
    bar.setGeometry(0, 78, 800, 22);
    bar.SetPanes(kMainFramePanes, {250, 200, 200});
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QList<int> parts = bar.Parts();
    frame.setWindowState(Qt::WindowMinimized);
    QVERIFY(frame.isMinimized());
    bar.resize(600, 22);
    QCOMPARE(bar.Parts(), parts);
  }

  void TextGoesToItsPane() {
    CMultiPaneStatusBarEx bar;
    bar.resize(800, 22);
    bar.SetPanes(kMainFramePanes, {250, 200, 200});
    QVERIFY(bar.SetPaneText(133, QStringLiteral("Ready")));
    QCOMPARE(bar.PaneText(133), QStringLiteral("Ready"));
    QCOMPARE(bar.PaneText(0), QString());
  }

  void LogButtonCommandArrivesAfterTheClick() {
    QWidget frame;
    frame.resize(800, 40);
    CMultiPaneStatusBarEx bar(&frame);
    bar.setGeometry(0, 18, 800, 22);
    bar.SetPanes(kMainFramePanes, {250, 200, 200});
    auto* button = new QPushButton(QStringLiteral("..."), &bar);
    SetControlId(button, kStatusLogButtonCommand);
    auto* other = new QPushButton(QStringLiteral("other"), &bar);
    SetControlId(other, 135);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QApplication::processEvents();
    button->setGeometry(bar.PaneRect(0).right() - 20, 2, 20, 20);
    other->setGeometry(300, 2, 40, 20);

    QStringList order;
    QSignalSpy spy(&bar, &CMultiPaneStatusBarEx::command);
    int commandsSeenByTheHandler = -1;
    connect(button, &QPushButton::clicked, &frame, [&] {
      commandsSeenByTheHandler = static_cast<int>(spy.count());
      order << QStringLiteral("click handled");
    });
    connect(&bar, &CMultiPaneStatusBarEx::command, &frame, [&](int id) { order << QStringLiteral("command %1").arg(id); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(commandsSeenByTheHandler, 0);
    QCOMPARE(order, QStringList{QStringLiteral("click handled")});
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), kStatusLogButtonCommand);
    QCOMPARE(order, (QStringList{QStringLiteral("click handled"), QStringLiteral("command 134")}));

    // Other buttons in the bar pass nothing on.
    QTest::mouseClick(other, Qt::LeftButton);
    QApplication::processEvents();
    QCOMPARE(spy.count(), 1);
    // One command per click.
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(spy.count(), 2);
    QApplication::processEvents();
    QCOMPARE(spy.count(), 2);
  }

  void RendersWithProgressBarAndLogButton() {
    QWidget frame;
    frame.resize(820, 160);
    auto* view = new QTextEdit(&frame);
    view->setPlainText(QStringLiteral("Explorer view"));
    view->setGeometry(0, 0, 820, 134);
    auto* bar = new CMultiPaneStatusBarEx(&frame);
    bar->setGeometry(0, 134, 820, 26);
    bar->SetPanes(kMainFramePanes, {250, 200, 200});
    bar->SetPaneText(133, QStringLiteral("Ready"));
    // As the main frame fills the panes: the progress bar in pane 159, the log
    // box and the square "..." button in the variable pane.
    auto* progress = new QProgressBar(bar);
    progress->setRange(0, 100);
    progress->setValue(42);
    progress->setTextVisible(false);
    progress->setGeometry(bar->PaneRect(159));
    const QRect variable = bar->PaneRect(0).adjusted(0, 0, 0, -1);
    const int side = variable.height();
    auto* button = new QPushButton(QStringLiteral("..."), bar);
    SetControlId(button, kStatusLogButtonCommand);
    button->setFlat(true);
    button->setGeometry(variable.right() + 1 - side, variable.top(), side, side);
    auto* log = new QComboBox(bar);
    log->addItem(QStringLiteral("12:00:01 Program running."));
    log->setGeometry(variable.adjusted(0, 0, -side, 0));
    QVERIFY(!test::SaveScreenshot(&frame, QStringLiteral("controls"), QStringLiteral("status_bar")).isEmpty());
  }
};
VANDREL_QT_TEST(MultiPaneStatusBarExTest);

#include "MultiPaneStatusBarExTest.moc"
