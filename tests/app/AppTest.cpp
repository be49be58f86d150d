// The application object: modes and top windows, the exit path, the idle save,
// and the shared helpers (digit grouping, file times, settings pages, web links,
// the version text).
#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <sys/stat.h>

#include "app/AboutDlg.h"
#include "app/App.h"
#include "app/Formatting.h"
#include "app/HelpWindow.h"
#include "app/Icons.h"
#include "app/PlaceholderWindow.h"
#include "app/WebLinks.h"
#include "controls/ControlId.h"
#include "controls/ResizablePropertyPage.h"
#include "controls/ResizablePropertySheet.h"
#include "platform/FileTime.h"
#include "support/QtTestRegistry.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace {

// A top window that closes as the main frame does: its own close work (counted),
// then CApp::Exit decides.
class FakeTop : public QWidget {
 public:
  explicit FakeTop(int mode) : mode(mode) {}
  int mode;
  int closeWork = 0;

 protected:
  void closeEvent(QCloseEvent* e) override {
    ++closeWork;
    if (!g_App->Exit()) {
      e->ignore();
      return;
    }
    e->accept();
  }
};

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void GroupThousands_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one") << "7" << "7";
    QTest::newRow("three") << "123" << "123";
    QTest::newRow("four") << "1234" << "1 234";
    QTest::newRow("six") << "123456" << "123 456";
    QTest::newRow("seven") << "1234567" << "1 234 567";
    QTest::newRow("ten") << "1234567890" << "1 234 567 890";
  }
  void GroupThousands() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QString text = in;
    QCOMPARE(::GroupThousands(text), static_cast<int>(out.size()));
    QCOMPARE(text, out);
  }

  void FormatFileTimeInThePinnedZone() {
    // The test runner pins TZ to Central European time and the C locale.
    QCOMPARE(FormatFileTime(std::nullopt), QString());
    // 2023-07-01 10:20:30 UTC is 12:20:30 summer time.
    platform::DateTime utc{2023, 7, 1, 10, 20, 30, 0, 0};
    QCOMPARE(FormatFileTime(platform::FileTimeFromUtc(utc)), QStringLiteral("07/01/23 12:20:30"));
    // 2023-12-31 23:30:00 UTC is already the new year here.
    platform::DateTime winter{2023, 12, 31, 23, 30, 0, 0, 0};
    QCOMPARE(FormatFileTime(platform::FileTimeFromUtc(winter)), QStringLiteral("01/01/24 00:30:00"));
  }

  void IconsComeFromTheThemeOffscreen_data() {
    QTest::addColumn<int>("id");
    for (int id : {128, 247, 248, 249, 250, 251, 252, 253, 254, 255}) QTest::newRow(QByteArray::number(id)) << id;
  }
  void IconsComeFromTheThemeOffscreen() {
    QFETCH(int, id);
    app::SetUpIconTheme();
    QCOMPARE(QIcon::themeName(), QStringLiteral("Adwaita"));
    QVERIFY(!app::IconThemeName(id).isEmpty());
    QVERIFY(app::IconFromTheme(id));
    const QIcon icon = app::IconById(id);
    QVERIFY(!icon.isNull());
    // It draws something at toolbar size.
    const QImage image = icon.pixmap(16, 16).toImage();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y)
      for (int x = 0; x < image.width() && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) != 0;
    QVERIFY(drawn);
  }

  void UnknownIconsAreNull() { QVERIFY(app::IconById(4711).isNull()); }

  void SpecialFolders() {
    SpecialFolderInfo info;
    QCOMPARE(GetSpecialFolderInfo(CSIDL_DRIVES, info), 0);
    QCOMPARE(info.displayName, QStringLiteral("Computer"));
    QVERIFY(!info.icon.isNull());
    QCOMPARE(GetSpecialFolderInfo(CSIDL_BITBUCKET, info), 0);
    QCOMPARE(info.displayName, QStringLiteral("Trash"));
    QVERIFY(!info.icon.isNull());
    QCOMPARE(GetSpecialFolderInfo(5, info), E_FAIL_RESULT);
  }

  void SettingsPagesByCommand_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("page");
    QTest::newRow("settings") << 32798 << 0;
    QTest::newRow("common") << 32802 << 0;
    QTest::newRow("confirmations") << 32799 << 1;
    QTest::newRow("file types") << 32829 << 2;
    QTest::newRow("temporary") << 32810 << 3;
    QTest::newRow("drive access") << 32800 << 4;
    QTest::newRow("logging") << 32811 << 5;
    QTest::newRow("language") << 32801 << 6;
    QTest::newRow("unknown") << 12345 << 0;
  }
  void SettingsPagesByCommand() {
    QFETCH(int, command);
    QFETCH(int, page);
    QCOMPARE(CApp::SettingsPageForCommand(command), page);
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    int shownPage = -1;
    app.SetProgramSettingsHandler([&](QWidget*, int p) { shownPage = p; });
    app.ShowProgramSettings(command);
    QCOMPARE(shownPage, page);
  }

  void BuildEventUrl_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("url");
    QTest::newRow("with event") << "https://h.example/products/vandrelpro/" << "OnHelp"
                                << "https://h.example/products/vandrelpro/?event1=VandrelPro&event2=Application&event3=OnHelp";
    QTest::newRow("several slashes") << "https://h.example/support///" << "OnHelp"
                                     << "https://h.example/support/?event1=VandrelPro&event2=Application&event3=OnHelp";
    QTest::newRow("no slash, no event") << "https://h.example/x" << QString()
                                        << "https://h.example/x/?event1=VandrelPro&event2=Application";
    QTest::newRow("not encoded") << "https://h.example/" << "a b&c"
                                 << "https://h.example/?event1=VandrelPro&event2=Application&event3=a b&c";
  }
  void BuildEventUrl() {
    QFETCH(QString, base);
    QFETCH(QString, event);
    QFETCH(QString, url);
    QCOMPARE(::BuildEventUrl(base, event), url);
  }

  void VersionText_data() {
    QTest::addColumn<QString>("fileVersion");
    QTest::addColumn<QString>("text");
    QTest::newRow("blanks") << "5, 0, 0, 478" << "Version 5.0 Build 478";
    QTest::newRow("no blanks") << "5,0,0,478" << "Version 5.0 Build 478";
    QTest::newRow("wide parts") << "5, 12, 3, 1024" << "Version 5.12 Build 1024";
    QTest::newRow("two parts") << "5, 1" << "Version 5.1 Build ";
    QTest::newRow("one part") << "7" << "Version 7. Build ";
    QTest::newRow("none") << "" << "";
  }
  void VersionText() {
    QFETCH(QString, fileVersion);
    QFETCH(QString, text);
    QCOMPARE(CAboutDlg::VersionText(fileVersion), text);
    // The build's own version text has four parts.
    QCOMPARE(CAboutDlg::FileVersion().split(QLatin1Char(',')).size(), 4);
  }

  void SetUIModeQueriesReMakesAndSwitches() {
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();
    QList<QPointer<FakeTop>> made;
    auto factory = [&](int mode) {
      auto* w = new FakeTop(mode);
      made.append(w);
      return CApp::ModeWindow{w, nullptr};
    };
    app.SetTopWindowFactory(CApp::WindowKind::MainFrame, factory);
    app.SetTopWindowFactory(CApp::WindowKind::WizardMode, factory);

    app.SetUIMode(CApp::MODE_MAIN_LEGEND);
    QVERIFY(app.LastModeWindowMade());
    QCOMPARE(made.size(), 1);
    QCOMPARE(app.TopWindow(), made[0].data());
    QCOMPARE(app.TopWindow()->windowTitle(), QStringLiteral("Vandrel Pro"));
    QCOMPARE(app.Notifier().TopWindow(), made[0].data());
    QCOMPARE(app.Notifier().LogWindow(), made[0].data());

    // -1: only the query.
    QCOMPARE(app.SetUIMode(-1), int(CApp::MODE_MAIN_LEGEND));
    QCOMPARE(made.size(), 1);
    QCOMPARE(app.TopWindow(), made[0].data());

    // 0: the current mode's window made anew.
    app.SetUIMode(0);
    QCOMPARE(made.size(), 2);
    QCOMPARE(made[1]->mode, int(CApp::MODE_MAIN_LEGEND));
    QCOMPARE(app.TopWindow(), made[1].data());
    QCOMPARE(made[0]->closeWork, 1);
    QVERIFY(!app.IsQuitting());
    for (auto& w : made) delete w.data();
  }

  void ASwitchClosesWithoutTheQuestionAndKeepsRunning() {
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();
    app.Settings().SetConfirmExit(1);
    app.Settings().SetExitProcessOnQuit(1);
    int exits = 0;
    app.SetExitFunction([&](int) { ++exits; });
    QList<QPointer<FakeTop>> made;
    auto factory = [&](int mode) {
      auto* w = new FakeTop(mode);
      made.append(w);
      return CApp::ModeWindow{w, nullptr};
    };
    app.SetTopWindowFactory(CApp::WindowKind::MainFrame, factory);
    app.SetTopWindowFactory(CApp::WindowKind::WizardMode, factory);
    test::ScriptedBoxes boxes(Answer::No);

    app.SetUIMode(CApp::MODE_MAIN_DATA_VIEWER);
    app.SetUIMode(CApp::MODE_WIZARD);
    QCOMPARE(boxes.shown.size(), 0);  // no exit question
    QCOMPARE(exits, 0);               // still running
    QVERIFY(!app.IsQuitting());
    QCOMPARE(made.size(), 2);
    QCOMPARE(made[0]->closeWork, 1);  // the old window's own close work ran
    QCOMPARE(app.TopWindow(), made[1].data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!made[0]);  // the old window is gone: one window
    QVERIFY(made[1]->isVisible());
    QCOMPARE(app.SetUIMode(-1), int(CApp::MODE_WIZARD));

    // An ordinary close asks; No keeps the window.
    QVERIFY(!made[1]->close());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Are you sure you want to exit the application?"));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Confirmation"));
    QCOMPARE(exits, 0);
    // Yes ends the process at once (ExitProcessOnQuit).
    boxes.Queue(Answer::Yes);
    QVERIFY(made[1]->close());
    QCOMPARE(exits, 1);
    QVERIFY(app.IsQuitting());
    for (auto& w : made) delete w.data();
  }

  void PlaceholdersStandInForUnregisteredWindows_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("wizard") << int(CApp::MODE_WIZARD);
    QTest::newRow("signature wizard") << int(CApp::MODE_SIGNATURE_WIZARD);
    QTest::newRow("legend") << int(CApp::MODE_MAIN_LEGEND);
    QTest::newRow("data viewer") << int(CApp::MODE_MAIN_DATA_VIEWER_2);
    QTest::newRow("unknown") << 4711;
  }
  void PlaceholdersStandInForUnregisteredWindows() {
    QFETCH(int, mode);
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();
    app.SetUIMode(mode);
    auto* top = qobject_cast<CPlaceholderWindow*>(app.TopWindow());
    QVERIFY(top);
    QCOMPARE(top->Mode(), mode);
    QCOMPARE(top->windowTitle(), QStringLiteral("Vandrel Pro"));
    QVERIFY(top->isVisible());
    delete top;
  }

  void ATopSheetThatEndsItselfEndsTheProgramUnlessASwitchClosedIt() {
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();
    app.Settings().SetConfirmExit(1);
    app.Settings().SetExitProcessOnQuit(1);
    int exits = 0;
    app.SetExitFunction([&](int) { ++exits; });
    test::ScriptedBoxes boxes(Answer::No);
    QList<QPointer<controls::CResizablePropertySheet>> made;
    app.SetTopWindowFactory(CApp::WindowKind::WizardMode, [&](int) {
      auto* sheet = new controls::CResizablePropertySheet(QStringLiteral("Wizard"), 0, nullptr, false, true);
      sheet->AddPage(new controls::CResizablePropertyPage(QStringLiteral("Step")));
      made.append(sheet);
      return CApp::ModeWindow{sheet, nullptr};
    });
    app.SetUIMode(CApp::MODE_WIZARD);
    app.SetUIMode(CApp::MODE_WIZARD);  // a switch closes the first sheet: nothing ends
    QCOMPARE(exits, 0);
    QVERIFY(!app.IsQuitting());
    QCOMPARE(made.size(), 2);
    QCOMPARE(app.TopWindow(), made[1].data());

    // The sheet's Help reaches the help command (the contents).
    controls::FindControlAs<QPushButton>(made[1], 9)->click();
    QTRY_VERIFY(CHelpWindow::Instance()->isVisible());
    CHelpWindow::Destroy();

    // Its Cancel ends the program, without a second question.
    controls::FindControlAs<QPushButton>(made[1], 2)->click();
    QCOMPARE(exits, 1);
    QVERIFY(app.IsQuitting());
    QCOMPARE(boxes.shown.size(), 0);
    for (auto& w : made) delete w.data();
  }

  void AFailedWindowReturnsWithoutALoop() {
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();
    app.SetTopWindowFactory(CApp::WindowKind::WizardMode, [](int) { return CApp::ModeWindow{}; });
    QCOMPARE(app.Run(CApp::MODE_WIZARD), -1);
    QVERIFY(!app.LastModeWindowMade());
    QCOMPARE(app.SetUIMode(-1), int(CApp::MODE_WIZARD));  // the mode is stored all the same
  }

  void IdleSavesAChangedRecordOnceAndAnUnchangedOneNever() {
    test::ScopedConfig config;
    test::TempDir dir;
    CApp app(QString::fromStdString(dir.path()));
    app.LoadSettings();  // a first start writes the defaults
    const std::string file = config.RegistryFile();
    const ino_t written = InodeOf(file);
    QVERIFY(written != 0);
    // The defaults are written with the record's old checksum; the first idle turn
    // writes the true one.
    app.RunIdleHandlers();
    const ino_t first = InodeOf(file);
    QVERIFY(first != written);

    // Unchanged: idle turns write nothing.
    for (int i = 0; i < 3; ++i) app.RunIdleHandlers();
    QCOMPARE(InodeOf(file), first);

    // Changed: the next idle turn writes once, later ones not again.
    app.Settings().SetMaxLogSizeKB(777);
    app.RunIdleHandlers();
    const ino_t second = InodeOf(file);
    QVERIFY(second != first);
    app.RunIdleHandlers();
    app.RunIdleHandlers();
    QCOMPARE(InodeOf(file), second);

    // The event loop runs the idle work by itself after a burst of events.
    int runs = 0;
    QObject owner;
    app.AddIdleHandler([&] { ++runs; }, &owner);
    app.Settings().SetMaxLogSizeKB(778);
    QTimer::singleShot(0, [] {});
    QTRY_VERIFY(runs > 0);
    QTRY_VERIFY(InodeOf(file) != second);
    // It settles: with nothing happening it stops running.
    QTest::qWait(50);
    const int settled = runs;
    QTest::qWait(100);
    QVERIFY(runs - settled <= 1);
  }
};

VANDREL_QT_TEST(AppTest);
#include "AppTest.moc"
