// The main window driven through real key and mouse events: its commands and
// where they go, the accelerators, command states, progress, panes, toolbar and
// status bar, the first idle, and the close.
#include <QMenuBar>
#include <QToolBar>

#include "controls/ControlId.h"
#include "controls/PaneContainerEx.h"
#include "mainframe/LogView.h"
#include "mainframe/CommandTable.h"
#include "mainframe/FrameActions.h"
#include "mainframe/FrameStatusBar.h"
#include "mainframe/VolumeExploreView.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/FrameTestSupport.h"

using namespace mainframe;

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void TheFactoryMakesTheFrameOfTheExplorerModes_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("dataViewer");
    QTest::newRow("legend") << 32839 << false;
    QTest::newRow("data viewer") << 32841 << true;
    QTest::newRow("data viewer 2") << 32842 << true;
  }
  void TheFactoryMakesTheFrameOfTheExplorerModes() {
    QFETCH(int, mode);
    QFETCH(bool, dataViewer);
    test::FrameWorld world;
    CMainFrame* frame = world.Open(mode);
    QVERIFY(frame);
    QCOMPARE(frame->Mode(), mode);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Vandrel Pro"));
    QCOMPARE(world.app->Notifier().LogWindow(), static_cast<QObject*>(frame->LogWindow()));
    QCOMPARE(frame->ShowsDataViewer(), dataViewer);
    QCOMPARE(frame->LowerPane()->isVisible(), true);
    QCOMPARE(frame->DataViewerPane()->isVisible(), dataViewer);
    QCOMPARE(frame->LegendPane()->isVisible(), !dataViewer);
    QVERIFY(world.Logged(u"Program running."));
    QCOMPARE(Settings().SignaturePass(), 1);
    QVERIFY(controls::FindCommand(frame, 32774));
  }
};
VANDREL_QT_TEST(MainFrameTest);

#include "MainFrameTest.moc"
