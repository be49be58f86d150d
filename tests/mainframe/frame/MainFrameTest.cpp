// The main window driven through real key and mouse events: its commands and
// where they go, the accelerators, the command states, the progress bar, the
// status bar's panes, the side pane, the toolbar and status bar settings, and the
// first idle of the run.
#include <QProgressBar>
#include <QDialog>
#include <QSignalSpy>
#include <QTimer>
#include <QSplitter>

#include "controls/ControlId.h"
#include "controls/PaneContainerEx.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/DisabledIcon.h"
#include "mainframe/frame/FrameStatusBar.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/panes/LogView.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

using namespace mainframe;

namespace {

// Counts the posted messages of one number that reach a window.
class PostedCounter : public QObject {
 public:
  PostedCounter(QObject* target, std::uint32_t message) : message_(message) { target->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (static_cast<std::uint32_t>(e->type()) == message_) ++count;
    return false;
  }

 private:
  std::uint32_t message_;
};

QString EnabledStates(CMainFrame* frame, std::initializer_list<int> ids) {
  QString s;
  for (int id : ids) {
    const QList<QAction*> actions = frame->Actions()->Actions(id);
    bool on = !actions.isEmpty() && actions.front()->isEnabled();
    for (QAction* a : actions) on = on && a->isEnabled();  // the menu's and the toolbar's agree
    s += on ? '1' : '0';
  }
  return s;
}

// An image whose root folder holds no file, that folder selected in the focused
// tree: the file commands have a selection to act on (Recover finds its
// list empty and says so).
std::shared_ptr<CVolume> PickAFolder(test::FrameWorld& world, CMainFrame* frame) {
  auto v = std::make_shared<CVolume>(CVolume::kImageFile);
  v->SetDevicePath(u"/tmp/picked.dsk");
  v->SetDeviceNodeId(world.computer->NewObjectId());
  v->Store().SetRootFolderId(0);
  FoundObject root;
  root.id = 0;
  root.parentId = v->DeviceNodeId();
  root.flags = OBJ_FOLDER | OBJ_NAMED;
  root.SetName(u".");
  v->Store().RegisterObject(root);
  world.computer->Volumes().Add(v);
  world.computer->SetAnalysedVolume(v);
  CFilesTreeView* tree = frame->ExploreView()->Tree();
  frame->ExploreView()->RefreshTree();
  const QModelIndex node = tree->Model()->IndexOfNode(v->DeviceNodeId());
  tree->ExpandItem(node);
  const QModelIndex folder = tree->Model()->index(0, 0, node);
  tree->SelectItem(folder);
  tree->setFocus();
  QApplication::processEvents();
  return v;
}

// Closes every modal dialog that opens while it lives.
class ModalCloser {
 public:
  ModalCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    timer_.start(20);
  }

 private:
  QTimer timer_;
};

bool Activate(QWidget* w) {
  w->activateWindow();
  w->raise();
  return QTest::qWaitForWindowActive(w, 3000);
}

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    GetScanProgress().running.store(0);
    GetScanProgress().SetVolume(nullptr);
  }

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
    QCOMPARE(world.app->SetMainMenu(), frame->Actions()->MenuBar());
    QCOMPARE(frame->ShowsDataViewer(), dataViewer);
    QVERIFY(frame->LowerPane()->isVisible());
    QCOMPARE(frame->DataViewerPane()->isVisible(), dataViewer);
    QCOMPARE(frame->LegendPane()->isVisible(), !dataViewer);
    QCOMPARE(frame->LegendPane()->Title(), QStringLiteral("Legend"));
    QCOMPARE(frame->DataViewerPane()->Title(), QStringLiteral("Data viewer"));
    QVERIFY(world.Logged(u"Program running."));
    QCOMPARE(Settings().SignaturePass(), 1);
    QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
    // The posted layout: legend h - h / 3 above it, the data viewer h / 3.
    QVERIFY(test::WaitUntil([&] { return frame->ExploreView()->sizes().first() == 250; }));
    const int h = frame->Splitter()->height();
    const QList<int> sizes = frame->Splitter()->sizes();
    QCOMPARE(sizes[0], dataViewer ? h / 3 : h - h / 3);
    // A log line reaches the log box at the top.
    Log().Info(u"A line for the log box.");
    QVERIFY(test::WaitUntil([&] { return frame->LogWindow()->currentText().contains("A line for the log box."); }));
    QCOMPARE(frame->LogWindow()->currentIndex(), 0);
  }

  void StatusTextsKeepTheBuiltInWording() {
    test::FrameWorld world(nullptr, false,
                           "[StringsTable]\n57112=Abbruch...\n57345=Bereit\n[MainMenu]\n0=&Laufwerk\n32774=Analyse starten\n");
    Settings().SetLanguageIndex(0);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    // The language applies to the menu...
    QCOMPARE(world.app->Languages().CurrentName(), QStringLiteral("Deutsch"));
    QCOMPARE(frame->Actions()->MenuBar()->actions()[0]->text(), QStringLiteral("&Laufwerk"));
    QCOMPARE(frame->Actions()->MenuAction(32774)->text(), QStringLiteral("Analyse starten"));
    // ...but a status text sent by the log comes in the built-in wording (posted).
    GetScanProgress().running.store(1);  // while idle, "Ready" would follow at once
    Log().SendStatus(57112);
    QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
    QVERIFY(test::WaitUntil([&] { return frame->StatusText() == QStringLiteral("Aborting..."); }, 3000));
    GetScanProgress().running.store(0);
    world.Idle();
    QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
  }

  void FrameCommandsReachTheirHandlers_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("call");
    for (int id : {32798, 32802, 32799, 32829, 32810, 32800, 32811, 32801})
      QTest::newRow(qPrintable(QStringLiteral("menu settings %1").arg(id)))
          << "menu" << id << QStringLiteral("settings %1 page %2").arg(id).arg(CApp::SettingsPageForCommand(id));
    for (int id : {32840, 32839, 32841})
      QTest::newRow(qPrintable(QStringLiteral("menu mode %1").arg(id))) << "menu" << id
                                                                         << QStringLiteral("mode %1").arg(id);
    for (int id : {57670, 32818, 32817, 32789})
      QTest::newRow(qPrintable(QStringLiteral("menu help %1").arg(id))) << "menu" << id
                                                                         << QStringLiteral("help %1").arg(id);
    QTest::newRow("menu about") << "menu" << 57664 << "about";
    QTest::newRow("menu filters") << "menu" << 32803 << "filters";
    QTest::newRow("toolbar settings") << "toolbar" << 32798 << "settings 32798 page 0";
    QTest::newRow("toolbar web site") << "toolbar" << 32789 << "help 32789";
    QTest::newRow("toolbar help") << "toolbar" << 57670 << "help 57670";
    QTest::newRow("toolbar about") << "toolbar" << 57664 << "about";
    QTest::newRow("log button") << "button" << 134 << "log file";
  }
  void FrameCommandsReachTheirHandlers() {
    QFETCH(QString, how);
    QFETCH(int, id);
    QFETCH(QString, call);
    test::FrameWorld world;
    test::RecordingHost host;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    if (how == "menu") {
      QVERIFY(test::ClickMenuItem(frame, id));
    } else if (how == "toolbar") {
      QVERIFY(test::ClickToolButton(frame, id));
    } else {
      QToolButton* button = frame->StatusBar()->LogButton();
      QCOMPARE(controls::ControlId(button), 134);
      QTest::mouseClick(button, Qt::LeftButton);
    }
    QVERIFY(test::WaitUntil([&] { return !host.calls.isEmpty(); }, 3000));
    QCOMPARE(host.calls, QStringList{call});
  }

  void DiskAndFileCommandsGoOnToTheExplorerView_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("volume");
    for (int id : {32787, 32809, 32831, 32845, 32797}) QTest::newRow(qPrintable(QString::number(id))) << id << false;
    for (int id : {32774, 32782, 32862, 32781}) QTest::newRow(qPrintable(QString::number(id))) << id << true;
  }
  void DiskAndFileCommandsGoOnToTheExplorerView() {
    QFETCH(int, id);
    QFETCH(bool, volume);
    test::FrameWorld world;
    test::RecordingHost host;
    CMainFrame* frame = world.Open(32839);
    test::ScriptedBoxes boxes;
    ModalCloser closer;
    if (volume)
      world.computer->SetSelectedVolume(std::make_shared<CVolume>(CVolume::kImageFile));
    else
      PickAFolder(world, frame);
    world.Idle();
    QSignalSpy spy(frame, &CMainFrame::explorerCommand);
    QVERIFY(test::ClickMenuItem(frame, id));
    QVERIFY(test::WaitUntil([&] { return spy.count() == 1; }, 3000));
    QCOMPARE(spy.at(0).at(0).toInt(), id);
    QVERIFY(host.calls.isEmpty());
  }

  void AcceleratorsRunTheirCommands_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("explorerId");  // 0: a call of the host
    QTest::addColumn<QString>("call");
    QTest::newRow("F5 rescans") << int(Qt::Key_F5) << 0 << 32781 << "";
    QTest::newRow("Ctrl+R recovers") << int(Qt::Key_R) << int(Qt::ControlModifier) << 32787 << "";
    QTest::newRow("Ctrl+I informs") << int(Qt::Key_I) << int(Qt::ControlModifier) << 32797 << "";
    QTest::newRow("Ctrl+P settings at page 0") << int(Qt::Key_P) << int(Qt::ControlModifier) << 0
                                               << "settings 32798 page 0";
    QTest::newRow("F1 help contents") << int(Qt::Key_F1) << 0 << 0 << "help 57670";
  }
  void AcceleratorsRunTheirCommands() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, explorerId);
    QFETCH(QString, call);
    test::FrameWorld world;
    test::RecordingHost host;
    CMainFrame* frame = world.Open(32839);
    test::ScriptedBoxes boxes;
    ModalCloser closer;
    if (explorerId == 32787 || explorerId == 32797) PickAFolder(world, frame);
    world.Idle();
    QVERIFY(Activate(frame));
    QSignalSpy spy(frame, &CMainFrame::explorerCommand);
    QTest::keyClick(frame, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QApplication::processEvents();
    if (explorerId) {
      QVERIFY(test::WaitUntil([&] { return spy.count() == 1; }, 3000));
      QCOMPARE(spy.at(0).at(0).toInt(), explorerId);
      QVERIFY(host.calls.isEmpty());
      if (explorerId == 32781) QVERIFY(frame->ExploreView()->IsRescanning() || world.computer->Volumes().RefreshCount() > 0);
    } else {
      QVERIFY(test::WaitUntil([&] { return !host.calls.isEmpty(); }, 3000));
      QCOMPARE(host.calls, QStringList{call});
      QCOMPARE(spy.count(), 0);
    }
  }

  void CommandStatesFollowTheRunAndTheSelection() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    const auto ids = {32781, 32791, 32774, 32775, 32782, 32862, 32787, 32809, 32845, 32831, 32797};
    auto image = std::make_shared<CVolume>(CVolume::kImageFile);
    struct Step {
      const char* name;
      bool running;
      std::shared_ptr<CVolume> selected;
      const char* enabled;
    };
    const Step steps[] = {
        // My Computer is where the selection starts: no volume, and the tree,
        // which has the focus, holds no file or folder: the file commands are off.
        {"start, My Computer", false, world.computer->MyComputer(), "11000000000"},
        {"running, My Computer", true, world.computer->MyComputer(), "00010000000"},
        {"an image selected", false, image, "11101100000"},
        {"running, an image selected", true, image, "00011100000"},
        {"My Computer again: the file commands keep their states", false, world.computer->MyComputer(),
         "11000000000"},
        {"Recycle Bin", false, world.computer->RecycleBin(), "11000000000"},
    };
    for (const Step& step : steps) {
      GetScanProgress().running.store(step.running ? 1 : 0);
      world.computer->SetSelectedVolume(step.selected);
      world.Idle();
      QVERIFY2(EnabledStates(frame, ids) == QLatin1String(step.enabled),
               qPrintable(QStringLiteral("%1: %2").arg(step.name, EnabledStates(frame, ids))));
      // The toolbar's buttons follow.
      QCOMPARE(test::ToolButton(frame, 32774)->isEnabled(), step.enabled[2] == '1');
      QCOMPARE(test::ToolButton(frame, 32775)->isEnabled(), step.enabled[3] == '1');
    }
    GetScanProgress().running.store(0);
    // Search is checked while the find results show; it toggles back to the view
    // shown before.
    frame->ExploreView()->SetView(8);
    QVERIFY(!frame->Actions()->MenuAction(32791)->isChecked());
    QVERIFY(test::ClickMenuItem(frame, 32791));
    world.Idle();
    QCOMPARE(frame->ExploreView()->CurrentView(), 3);
    QVERIFY(frame->Actions()->MenuAction(32791)->isChecked());
    QVERIFY(frame->Actions()->ToolbarAction(32791)->isChecked());
    QVERIFY(test::ClickToolButton(frame, 32791));
    world.Idle();
    QCOMPARE(frame->ExploreView()->CurrentView(), 8);
    QVERIFY(!frame->Actions()->MenuAction(32791)->isChecked());
    QVERIFY(!frame->Actions()->ToolbarAction(32791)->isChecked());
  }

  void TheProgressBarFollowsTheRunState_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("code");  // the scanned volume's file-system code
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("position");
    QTest::newRow("not running") << false << 7 << qint64(10) << qint64(100) << false << 0;
    QTest::newRow("FAT16: shown, not moved") << true << 6 << qint64(500) << qint64(1000) << true << 0;
    QTest::newRow("NTFS, total 0") << true << 7 << qint64(5) << qint64(0) << true << 0;
    QTest::newRow("NTFS, current / step") << true << 7 << qint64(420) << qint64(1000) << true << 42;
    QTest::newRow("other, current above total") << true << 0 << qint64(9000) << qint64(1000) << true << 100;
  }
  void TheProgressBarFollowsTheRunState() {
    QFETCH(bool, running);
    QFETCH(int, code);
    QFETCH(qint64, current);
    QFETCH(qint64, total);
    QFETCH(bool, visible);
    QFETCH(int, position);
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetFileSystemTypeCode(code);
    ScanProgress& p = GetScanProgress();
    p.SetVolume(volume);
    p.current.store(current);
    p.total.store(total);
    p.running.store(running ? 1 : 0);
    QProgressBar* bar = frame->StatusBar()->ProgressBar();
    // The 250 ms timer brings it up to date by itself.
    QVERIFY(test::WaitUntil([&] { return bar->isVisible() == visible && bar->value() == position; }, 5000));
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    const QList<int> parts = frame->StatusBar()->Parts();
    QCOMPARE(parts[1] - parts[0], visible ? 200 : 0);
    if (!visible) QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
  }

  void TheStatusBarPanesWithTheProgressShownAndHidden_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("900") << 900;
    QTest::newRow("1200") << 1200;
  }
  void TheStatusBarPanesWithTheProgressShownAndHidden() {
    QFETCH(int, width);
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    frame->resize(width, 600);
    QApplication::processEvents();
    CFrameStatusBar* bar = frame->StatusBar();
    QCOMPARE(bar->PaneIds(), (QList<int>{133, 159, 0}));
    GetScanProgress().SetVolume(std::make_shared<CVolume>(CVolume::kImageFile));
    for (bool shown : {false, true, false}) {
      // The run state shows and hides the bar.
      GetScanProgress().running.store(shown ? 1 : 0);
      QVERIFY(test::WaitUntil([&] { return bar->ProgressBar()->isVisible() == shown; }, 5000));
      const QList<int> parts = bar->Parts();
      QCOMPARE(parts[0], 250);
      QCOMPARE(parts[1] - parts[0], shown ? 200 : 0);
      QCOMPARE(parts[2], bar->width());
      const QRect progress = bar->PaneRect(159);
      const QRect log = bar->PaneRect(0);
      if (shown) QCOMPARE(bar->ProgressBar()->geometry(), progress);
      // The variable pane takes the rest of the bar.
      QVERIFY(log.right() >= bar->width() - 2);
      // The "..." button is the square at its right end, the log box the rest.
      const QRect button = bar->LogButton()->geometry();
      QCOMPARE(button.width(), button.height());
      QCOMPARE(button.right(), log.right());
      QCOMPARE(button.top(), log.top());
      QCOMPARE(button.bottom(), log.bottom() - 1);
      const QRect box = bar->LogBox()->geometry();
      QCOMPARE(box.left(), log.left());
      QCOMPARE(box.right(), button.left() - 1);
    }
  }

  void TheLegendCommandHidesAndShowsTheLowerPane_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("legend mode") << 32839;
    QTest::newRow("data viewer mode") << 32841;
  }
  void TheLegendCommandHidesAndShowsTheLowerPane() {
    QFETCH(int, mode);
    test::FrameWorld world;
    CMainFrame* frame = world.Open(mode);
    world.Idle();
    QWidget* lower = frame->LowerPane();
    QWidget* other = lower == frame->LegendPane() ? static_cast<QWidget*>(frame->DataViewerPane())
                                                  : static_cast<QWidget*>(frame->LegendPane());
    QAction* legend = frame->Actions()->MenuAction(32794);
    QVERIFY(lower->isVisible() && legend->isChecked());
    QVERIFY(test::ClickMenuItem(frame, 32794));
    world.Idle();
    QVERIFY(!lower->isVisible());
    QVERIFY(!other->isVisible());
    QCOMPARE(Settings().ShowLegend(), 0);
    QVERIFY(!legend->isChecked());
    QVERIFY(test::ClickMenuItem(frame, 32794));
    world.Idle();
    QVERIFY(lower->isVisible());
    QVERIFY(!other->isVisible());
    QCOMPARE(Settings().ShowLegend(), 1);
    QVERIFY(legend->isChecked());
    // The pane's own close button hides it too.
    auto* pane = static_cast<controls::CPaneContainerEx*>(lower);
    QVERIFY(pane->CloseButton());
    QTest::mouseClick(pane->CloseButton(), Qt::LeftButton);
    world.Idle();
    QVERIFY(!lower->isVisible());
    QCOMPARE(Settings().ShowLegend(), 0);
    QVERIFY(!legend->isChecked());
  }

  void TheToolbarAndStatusBarFollowTheSettings_data() {
    QTest::addColumn<bool>("toolbar");
    QTest::addColumn<bool>("statusBar");
    QTest::newRow("both") << true << true;
    QTest::newRow("no toolbar") << false << true;
    QTest::newRow("no status bar") << true << false;
    QTest::newRow("neither") << false << false;
  }
  void TheToolbarAndStatusBarFollowTheSettings() {
    QFETCH(bool, toolbar);
    QFETCH(bool, statusBar);
    test::FrameWorld world;
    Settings().SetShowToolbar(toolbar ? 1 : 0);
    Settings().SetShowStatusBar(statusBar ? 1 : 0);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QToolBar* bar = frame->Actions()->ToolBar();
    QCOMPARE(controls::ControlId(bar), 0xE800);
    QCOMPARE(bar->isVisible(), toolbar);
    QCOMPARE(frame->StatusBar()->isVisible(), statusBar);
    QCOMPARE(frame->Actions()->MenuAction(59392)->isChecked(), toolbar);
    QCOMPARE(frame->Actions()->MenuAction(59393)->isChecked(), statusBar);
    // The first toggle shows the change at once.
    QVERIFY(test::ClickMenuItem(frame, 59392));
    world.Idle();
    QCOMPARE(bar->isVisible(), !toolbar);
    QCOMPARE(Settings().ShowToolbar(), toolbar ? 0 : 1);
    QCOMPARE(frame->Actions()->MenuAction(59392)->isChecked(), !toolbar);
    QVERIFY(test::ClickMenuItem(frame, 59393));
    world.Idle();
    QCOMPARE(frame->StatusBar()->isVisible(), !statusBar);
    QCOMPARE(Settings().ShowStatusBar(), statusBar ? 0 : 1);
    QCOMPARE(frame->Actions()->MenuAction(59393)->isChecked(), !statusBar);
  }

  void TheToolbarAsTheTableGivesIt() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QToolBar* bar = frame->Actions()->ToolBar();
    QCOMPARE(bar->iconSize(), QSize(24, 24));
    // Text beside the image only where the table gives one.
    for (const ToolbarEntry& e : MainToolbar()) {
      if (!e.command) continue;
      QToolButton* button = test::ToolButton(frame, e.command);
      QVERIFY(button);
      QCOMPARE(button->toolButtonStyle(), e.text.empty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
      QCOMPARE(controls::CommandId(frame->Actions()->ToolbarAction(e.command)), e.command);
      // The disabled image is the grey of the normal one.
      const QIcon icon = frame->Actions()->ToolbarAction(e.command)->icon();
      const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
      const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
      QVERIFY(!normal.isNull());
      // (Compared in the format the icon hands out: premultiplied pixels round.)
      QCOMPARE(disabled, MakeDisabledImage(normal).convertToFormat(disabled.format()));
    }
    QCOMPARE(test::ToolButton(frame, 32774)->text(), QStringLiteral("Analyze"));
    QCOMPARE(test::ToolButton(frame, 32781)->text(), QStringLiteral("Rescan Drives"));
    // The menu: 16 x 16 icons on eight commands, Disk and File first.
    const QList<QAction*> top = frame->Actions()->MenuBar()->actions();
    QCOMPARE(top[0]->text(), QStringLiteral("&Disk"));
    QCOMPARE(top[1]->text(), QStringLiteral("&File"));
    QCOMPARE(frame->Actions()->MenuAction(32787)->text(), QStringLiteral("Recover... \tCtrl+R"));
    QVERIFY(!frame->Actions()->MenuAction(32787)->icon().isNull());
    QVERIFY(frame->Actions()->MenuAction(32809)->icon().isNull());
  }

  void TheFirstIdleRunsOncePerRun() {
    test::FrameWorld world(nullptr, true);
    QCOMPARE(Settings().Loaded(), 1);  // set by the load
    CMainFrame* frame = world.Open(32839);
    PostedCounter captions(frame, WM_UPDATE_CAPTION);
    world.Idle();
    QCOMPARE(Settings().Loaded(), 0);
    QCOMPARE(frame->ExploreView()->CurrentView(), 8);
    QVERIFY(test::WaitUntil([&] { return captions.count == 1; }, 3000));
    // Rescan Drives was posted: the drive list is refreshed and the tree rebuilt.
    QSignalSpy rebuilt(frame->ExploreView(), &CVolumeExploreView::driveTreeRefreshed);
    QVERIFY(test::WaitUntil([&] { return rebuilt.count() == 1; }, 20000));
    const std::uint64_t refreshes = world.computer->Volumes().RefreshCount();
    QVERIFY(refreshes >= 1);

    // A main window made later in the run (a mode switch) skips the caption and the
    // refresh, yet shows the drive list the program holds at once.
    world.app->SetUIMode(0);
    auto* second = qobject_cast<CMainFrame*>(world.app->TopWindow());
    QVERIFY(second && second != frame);
    PostedCounter secondCaptions(second, WM_UPDATE_CAPTION);
    QSignalSpy secondRebuilt(second->ExploreView(), &CVolumeExploreView::driveTreeRefreshed);
    world.Idle();
    QTest::qWait(600);
    world.Idle();
    QCOMPARE(second->ExploreView()->CurrentView(), 8);
    QCOMPARE(secondCaptions.count, 0);
    QCOMPARE(secondRebuilt.count(), 1);
    QCOMPARE(world.computer->Volumes().RefreshCount(), refreshes);
  }

  void Screenshots_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("mode_32839") << 32839;
    QTest::newRow("mode_32841") << 32841;
  }
  void Screenshots() {
    QFETCH(int, mode);
    test::FrameWorld world;
    CMainFrame* frame = world.Open(mode);
    frame->resize(1000, 700);
    world.Idle();
    QTest::qWait(300);
    world.Idle();
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("start_%1").arg(mode)).isEmpty());
  }
};
VANDREL_QT_TEST(MainFrameTest);

#include "MainFrameTest.moc"
