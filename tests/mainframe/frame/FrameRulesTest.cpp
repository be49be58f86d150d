// The main window's rules as plain functions: the progress bar, the command
// states, the disabled images, where each command goes, the close order, and the
// command table itself.
#include <QTest>

#include <set>
#include <string>
#include <vector>

#include "mainframe/frame/CloseSequence.h"
#include "mainframe/frame/CommandRoute.h"
#include "mainframe/frame/CommandStates.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/DisabledIcon.h"
#include "mainframe/frame/ProgressRule.h"
#include "support/QtTestRegistry.h"

using namespace mainframe;

Q_DECLARE_METATYPE(mainframe::FrameRoute)

namespace {

// Close steps that answer from a script and record what was done, in order.
class ScriptedSteps : public ICloseSteps {
 public:
  bool exitAnswer = true;
  bool running = false;
  bool stopAnswer = true;  // the stop's own question (asked only when not forced)
  bool temporaryFiles = false;
  std::vector<std::string> done;
  bool analysisStopped = false;

  bool AskExit() override {
    done.push_back("ask exit");
    return exitAnswer;
  }
  bool StopAnalysis(bool force) override {
    if (!running) return true;
    if (!force) {
      done.push_back("ask stop");
      if (!stopAnswer) return false;
    }
    done.push_back("stop");
    analysisStopped = true;
    running = false;
    return true;
  }
  void DeleteTemporaryFiles() override {
    if (temporaryFiles) done.push_back("ask temporary files");
  }
  bool Quit(bool modeSwitch) override {
    done.push_back(modeSwitch ? "switch" : "quit");
    return true;
  }
};

}  // namespace

class FrameRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void Progress_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("family");
    QTest::addColumn<qint64>("current");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("position");  // -1: not moved
    QTest::newRow("not running") << false << 1 << qint64(50) << qint64(100) << false << -1;
    QTest::newRow("FAT family: shown, not moved") << true << 0 << qint64(500) << qint64(1000) << true << -1;
    QTest::newRow("NTFS at the start") << true << 1 << qint64(0) << qint64(1000) << true << -1;
    QTest::newRow("total 0") << true << 1 << qint64(10) << qint64(0) << true << -1;
    QTest::newRow("total below 100") << true << 2 << qint64(10) << qint64(99) << true << -1;
    QTest::newRow("current / step") << true << 1 << qint64(250) << qint64(1000) << true << 25;
    QTest::newRow("step cut") << true << 1 << qint64(299) << qint64(1099) << true << 29;
    QTest::newRow("current above total") << true << 1 << qint64(5000) << qint64(1000) << true << 100;
    QTest::newRow("64-bit totals") << true << 2 << qint64(0x7000000000000000LL) << qint64(0x7FFFFFFFFFFFFFFFLL)
                                   << true << 87;
    QTest::newRow("negative current") << true << 1 << qint64(-5) << qint64(1000) << true << 0;
  }
  void Progress() {
    QFETCH(bool, running);
    QFETCH(int, family);
    QFETCH(qint64, current);
    QFETCH(qint64, total);
    QFETCH(bool, visible);
    QFETCH(int, position);
    const ProgressStep step = ComputeProgress({running, family, current, total});
    QCOMPARE(step.visible, visible);
    QCOMPARE(step.position.value_or(-1), position);
  }

  void CommandStates_data() {
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("volume");
    QTest::addColumn<bool>("object");
    QTest::addColumn<bool>("previousFileCommands");
    // enabled: 32781 32791 32774 32775 32782 32862 32787 32809
    QTest::addColumn<QString>("enabled");
    QTest::newRow("idle, nothing selected, files were on") << false << false << false << true << "11000011";
    QTest::newRow("idle, nothing selected, files were off") << false << false << false << false << "11000000";
    QTest::newRow("idle, volume") << false << true << false << true << "11101100";
    QTest::newRow("running, volume") << true << true << false << true << "00011100";
    QTest::newRow("idle, object") << false << false << true << false << "11000011";
    QTest::newRow("running, object") << true << false << true << false << "00010001";
    QTest::newRow("running, nothing selected, files kept") << true << false << false << true << "00010011";
  }
  void CommandStates() {
    QFETCH(bool, running);
    QFETCH(bool, volume);
    QFETCH(bool, object);
    QFETCH(bool, previousFileCommands);
    QFETCH(QString, enabled);
    mainframe::CommandStates previous;
    for (int id : kFileCommands) previous[id].enabled = previousFileCommands;
    CommandStateInput in;
    in.running = running;
    in.volumeSelected = volume;
    in.objectSelected = object;
    const mainframe::CommandStates s = ComputeCommandStates(in, previous);
    const int ids[] = {32781, 32791, 32774, 32775, 32782, 32862, 32787, 32809};
    QString got;
    for (int id : ids) got += s.at(id).enabled ? '1' : '0';
    QCOMPARE(got, enabled);
    // The other three file commands follow 32809.
    for (int id : {32845, 32831, 32797}) QCOMPARE(s.at(id).enabled, s.at(32809).enabled);
  }

  void SearchCheckedAndRescanBusy() {
    CommandStateInput in;
    in.findPaneVisible = true;
    in.rescanBusy = true;
    const auto s = ComputeCommandStates(in, {});
    QVERIFY(s.at(32791).checked);
    QVERIFY(!s.at(32781).enabled);
    in.findPaneVisible = false;
    in.rescanBusy = false;
    const auto t = ComputeCommandStates(in, {});
    QVERIFY(!t.at(32791).checked);
    QVERIFY(t.at(32781).enabled);
  }

  void DisabledImagePixels_data() {
    QTest::addColumn<uint>("pixel");
    QTest::addColumn<uint>("expected");
    QTest::newRow("black stays") << uint(qRgba(0, 0, 0, 255)) << uint(qRgba(0, 0, 0, 255));
    QTest::newRow("transparent black stays") << uint(qRgba(0, 0, 0, 0)) << uint(qRgba(0, 0, 0, 0));
    QTest::newRow("white") << uint(qRgba(255, 255, 255, 255)) << uint(qRgba(255, 255, 255, 255));
    QTest::newRow("red") << uint(qRgba(255, 0, 0, 255)) << uint(qRgba(76, 76, 76, 255));
    QTest::newRow("green") << uint(qRgba(0, 255, 0, 255)) << uint(qRgba(149, 149, 149, 255));
    QTest::newRow("blue, alpha kept") << uint(qRgba(0, 0, 255, 128)) << uint(qRgba(29, 29, 29, 128));
    QTest::newRow("dark grey-blue") << uint(qRgba(10, 20, 30, 200)) << uint(qRgba(18, 18, 18, 200));
    QTest::newRow("one") << uint(qRgba(1, 0, 0, 255)) << uint(qRgba(0, 0, 0, 255));
  }
  void DisabledImagePixels() {
    QFETCH(uint, pixel);
    QFETCH(uint, expected);
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(200, 100, 50));
    image.setPixel(1, 1, pixel);
    const QImage out = MakeDisabledImage(image);
    QCOMPARE(out.format(), QImage::Format_ARGB32);
    QCOMPARE(uint(out.pixel(1, 1)), expected);
    const int g = DisabledGrey(200, 100, 50);  // 59.8 + 58.7 + 5.7 = 124.2
    QCOMPARE(g, 124);
    QCOMPARE(uint(out.pixel(0, 0)), uint(qRgba(g, g, g, 255)));
    QVERIFY(MakeDisabledImage(QImage()).isNull());
    QVERIFY(MakeDisabledIcon(QIcon(), QSize(24, 24)).isNull());
  }

  void Routes_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<FrameRoute>("route");
    QTest::newRow("virtual volume") << 32784 << FrameRoute::VirtualVolume;
    QTest::newRow("tool bar") << 59392 << FrameRoute::ViewToolBar;
    QTest::newRow("status bar") << 59393 << FrameRoute::ViewStatusBar;
    QTest::newRow("legend") << 32794 << FrameRoute::ToggleLegend;
    QTest::newRow("filters") << 32803 << FrameRoute::Filters;
    QTest::newRow("log button") << 134 << FrameRoute::ShowLogFile;
    QTest::newRow("search") << 32791 << FrameRoute::ViewSearch;
    for (int id : {32798, 32802, 32799, 32810, 32800, 32801, 32811, 32829})
      QTest::newRow(("settings " + std::to_string(id)).c_str()) << id << FrameRoute::ProgramSettings;
    QTest::newRow("pane close") << 57682 << FrameRoute::PaneClose;
    for (int id : {32839, 32840, 32841, 32842})
      QTest::newRow(("mode " + std::to_string(id)).c_str()) << id << FrameRoute::SetUIMode;
    for (int id : {57670, 32817, 32818, 32838, 32789, 32795})
      QTest::newRow(("help " + std::to_string(id)).c_str()) << id << FrameRoute::Help;
    QTest::newRow("about") << 57664 << FrameRoute::About;
    QTest::newRow("exit") << 57665 << FrameRoute::Exit;
    for (int id : {32774, 32775, 32782, 32783, 32781, 32862, 32787, 32809, 32845, 32831, 32797, 32868, 32871, 32872})
      QTest::newRow(("explorer " + std::to_string(id)).c_str()) << id << FrameRoute::Explorer;
  }
  void Routes() {
    QFETCH(int, id);
    QFETCH(FrameRoute, route);
    QCOMPARE(RouteCommand(id), route);
  }

  void CloseOrder_data() {
    QTest::addColumn<bool>("confirmExit");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("temporaryFiles");
    QTest::addColumn<bool>("exitAnswer");
    QTest::addColumn<bool>("stopAnswer");
    QTest::addColumn<bool>("modeSwitch");
    QTest::addColumn<QString>("done");
    QTest::addColumn<bool>("closed");
    QTest::newRow("confirm, idle, Yes") << true << false << false << true << true << false << "ask exit,quit" << true;
    QTest::newRow("confirm, idle, No") << true << false << true << false << true << false << "ask exit" << false;
    QTest::newRow("confirm, running, No keeps the scan")
        << true << true << true << false << true << false << "ask exit" << false;
    QTest::newRow("confirm, running, Yes stops without asking again")
        << true << true << true << true << false << false << "ask exit,stop,ask temporary files,quit" << true;
    QTest::newRow("no confirm, running, stop declined")
        << false << true << true << true << false << false << "ask stop" << false;
    QTest::newRow("no confirm, running, stop agreed")
        << false << true << false << true << true << false << "ask stop,stop,quit" << true;
    QTest::newRow("no confirm, idle, temporary files")
        << false << false << true << true << true << false << "ask temporary files,quit" << true;
    QTest::newRow("mode switch asks no exit question")
        << true << true << true << false << true << true << "ask stop,stop,ask temporary files,switch" << true;
  }
  void CloseOrder() {
    QFETCH(bool, confirmExit);
    QFETCH(bool, running);
    QFETCH(bool, temporaryFiles);
    QFETCH(bool, exitAnswer);
    QFETCH(bool, stopAnswer);
    QFETCH(bool, modeSwitch);
    QFETCH(QString, done);
    QFETCH(bool, closed);
    ScriptedSteps steps;
    steps.running = running;
    steps.temporaryFiles = temporaryFiles;
    steps.exitAnswer = exitAnswer;
    steps.stopAnswer = stopAnswer;
    const CloseResult result = RunCloseSequence(steps, confirmExit, modeSwitch);
    QStringList got;
    for (const auto& s : steps.done) got << QString::fromStdString(s);
    QCOMPARE(got.join(','), done);
    QCOMPARE(result == CloseResult::Close, closed);
    // A kept window keeps its scan.
    if (!closed) QCOMPARE(steps.running, running);
  }

  void TheCommandTable() {
    // Toolbar: twelve entries, images 247..255 as given, separators of 8 px.
    const auto bar = MainToolbar();
    QCOMPARE(int(bar.size()), 12);
    const int commands[] = {32774, 32775, 32781, 0, 32787, 32791, 0, 32798, 0, 32789, 57670, 57664};
    const int icons[] = {247, 249, 255, 0, 248, 250, 0, 251, 0, 253, 254, 252};
    for (int i = 0; i < 12; ++i) {
      QCOMPARE(bar[std::size_t(i)].command, commands[i]);
      QCOMPARE(bar[std::size_t(i)].iconId, icons[i]);
      QCOMPARE(bar[std::size_t(i)].separatorWidth, commands[i] == 0 ? 8 : 0);
    }
    QCOMPARE(QString::fromStdU16String(std::u16string(bar[0].text)), QStringLiteral("Analyze"));
    QVERIFY(bar[1].text.empty());
    QCOMPARE(QString::fromStdU16String(std::u16string(bar[5].text)), QStringLiteral("Find"));
    // Eight menu icons.
    int withIcon = 0;
    for (int id : AllCommandIds()) withIcon += MenuIconId(id) != 0;
    QCOMPARE(withIcon, 8);
    QCOMPARE(MenuIconId(32789), 253);
    // Menus: Disk and File first; every id of the table once.
    QCOMPARE(QString::fromStdU16String(std::u16string(MainMenu()[0].title)), QStringLiteral("&Disk"));
    QCOMPARE(QString::fromStdU16String(std::u16string(MainMenu()[1].title)), QStringLiteral("&File"));
    std::set<int> seen;
    for (const MenuPopup& p : MainMenu())
      for (const MenuItem& i : p.items)
        if (i.id) QVERIFY2(seen.insert(i.id).second, std::to_string(i.id).c_str());
    QCOMPARE(int(MainAccelerators().size()), 5);
  }
};
VANDREL_QT_TEST(FrameRulesTest);

#include "FrameRulesTest.moc"
