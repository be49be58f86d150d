// The program settings sheet: the page each command opens, the ranges the number
// fields keep, the temporary folder, the Logging page and the log taking its
// settings, the search file types, and a screenshot of every page.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "app/App.h"
#include "app/AppTestSupport.h"
#include "app/Icons.h"
#include "app/QtText.h"
#include "controls/ControlId.h"
#include "controls/UpDownCtrl.h"
#include "dialogs/DialogsRegistration.h"
#include "dialogs/ProgSettings.h"
#include "dialogs/ProgSettings_SearchFileTypes.h"
#include "dialogs/ProgSettings_Temporary.h"
#include "dialogs/SearchFileTypeTreeView.h"
#include "engine/records/ProgramLog.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "search/SearchManager.h"
#include "search/SearchTestSupport.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "DialogsTestSupport.h"

using controls::FindControl;
using controls::FindControlAs;

namespace {

std::string ReadFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  platform::ReadWholeFile(path, 1 << 20, bytes);
  return std::string(bytes.begin(), bytes.end());
}

// What the program writes to standard error while `run` runs.
std::string CaptureStandardError(const std::function<void()>& run) {
  test::TempDir dir;
  const std::string path = dir / "stderr.txt";
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, STDERR_FILENO);
  close(fd);
  run();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  return ReadFile(path);
}

// A sheet as the application opens it, shown modeless for the test.
struct Sheet {
  AppSettings& settings;
  test::TypesFixture types;
  std::unique_ptr<CProgSettings> sheet;
  Sheet(AppSettings& s, int page) : settings(s) {
    sheet = std::make_unique<CProgSettings>(QStringLiteral("Settings"), page, nullptr, settings, &types.db());
    sheet->show();
  }
  template <typename T>
  T* Control(int page, int id) {
    sheet->SetActivePage(page);
    return FindControlAs<T>(sheet->Page(page), id);
  }
  QPushButton* Button(int id) const { return FindControlAs<QPushButton>(sheet.get(), id); }
  void Ok() { Button(1)->click(); }
  void Cancel() { Button(2)->click(); }
};

}  // namespace

class CProgSettingsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::ScopedConfig> config_;
  std::unique_ptr<CApp> app_;

 private slots:
  void initTestCase() {
    config_ = std::make_unique<test::ScopedConfig>();
    app_ = std::make_unique<CApp>(QStringLiteral(VANDREL_SOURCE_DIR));
    app::SetUpIconTheme();
    app_->Settings().FillDefaults();
  }
  void cleanupTestCase() {
    AppSettings quiet;
    quiet.FillDefaults();
    quiet.SetLogToDebugger(0);
    Log().ApplySettings(quiet);
    app_.reset();
    config_.reset();
  }
  void init() { app_->Settings().FillDefaults(); }

  void commandOpensItsPage_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("caption");
    QTest::newRow("32798 Settings") << 32798 << 0 << "Common Settings";
    QTest::newRow("32802") << 32802 << 0 << "Common Settings";
    QTest::newRow("32799") << 32799 << 1 << "Confirmations";
    QTest::newRow("32829") << 32829 << 2 << "File Types";
    QTest::newRow("32810") << 32810 << 3 << "Temporary Folder";
    QTest::newRow("32800") << 32800 << 4 << "Drive Access";
    QTest::newRow("32811") << 32811 << 5 << "Logging";
    QTest::newRow("32801") << 32801 << 6 << "Interface Language";
    QTest::newRow("wizard 32792") << 32792 << 0 << "Common Settings";
    QTest::newRow("unknown") << 4711 << 0 << "Common Settings";
  }
  void commandOpensItsPage() {
    QFETCH(int, command);
    QFETCH(int, page);
    QFETCH(QString, caption);
    RegisterDialogs(*app_);
    int shown = -2;
    QString title, pageTitle;
    bool applyHidden = false, helpShown = false;
    test::OnNextModal([&](QDialog* dialog) {
      auto* sheet = qobject_cast<CProgSettings*>(dialog);
      if (sheet) {
        shown = sheet->ActiveIndex();
        title = sheet->windowTitle();
        pageTitle = sheet->ActivePage()->Title();
        applyHidden = FindControl(sheet, 0x3021)->isHidden();
        helpShown = !FindControl(sheet, 9)->isHidden();
      }
      dialog->reject();
    });
    app_->ShowProgramSettings(command);
    QCOMPARE(shown, page);
    QCOMPARE(title, QStringLiteral("Settings"));
    QCOMPARE(pageTitle, caption);
    QVERIFY(applyHidden);
    QVERIFY(helpShown);
  }

  void numbersOutsideTheirRangeAreRefused_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");  // empty: accepted
    QTest::newRow("retries -5") << 4 << 1146 << "-5" << "Please enter an integer between 0 and 100.";
    QTest::newRow("retries 5000000") << 4 << 1146 << "5000000" << "Please enter an integer between 0 and 100.";
    QTest::newRow("retries text") << 4 << 1146 << "ten" << "Please enter an integer between 0 and 100.";
    QTest::newRow("retries 100") << 4 << 1146 << "100" << "";
    QTest::newRow("pause 60001") << 4 << 1118 << "60001" << "Please enter an integer between 0 and 60000.";
    QTest::newRow("pause 60000") << 4 << 1118 << "60000" << "";
    QTest::newRow("log size 0") << 5 << 1147 << "0" << "Please enter an integer between 1 and 102400.";
    QTest::newRow("log size 102401") << 5 << 1147 << "102401" << "Please enter an integer between 1 and 102400.";
    QTest::newRow("log size empty") << 5 << 1147 << "" << "Please enter an integer between 1 and 102400.";
    QTest::newRow("log size 102400") << 5 << 1147 << "102400" << "";
  }
  void numbersOutsideTheirRangeAreRefused() {
    QFETCH(int, page);
    QFETCH(int, edit);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    test::ScriptedBoxes boxes;
    AppSettings& s = app_->Settings();
    s.SetLogToFile(1);  // the size field is enabled
    const std::vector<std::uint8_t> before = s.Bytes();
    Sheet sheet(s, 0);
    auto* field = sheet.Control<QLineEdit>(page, edit);
    QVERIFY(field);
    field->setText(typed);
    sheet.sheet->SetActivePage(0);  // OK from another page
    sheet.Ok();
    QApplication::processEvents();
    if (message.isEmpty()) {
      QVERIFY(boxes.shown.isEmpty());
      QVERIFY(!sheet.sheet->isVisible());
      QCOMPARE(sheet.sheet->result(), int(QDialog::Accepted));
      const std::int32_t stored = edit == 1146 ? s.ReadRetries() : edit == 1118 ? s.RetryPauseMs() : s.MaxLogSizeKB();
      QCOMPARE(stored, typed.toInt());
    } else {
      QCOMPARE(boxes.shown.size(), 1);
      QCOMPARE(boxes.shown[0].text, message);
      QVERIFY(sheet.sheet->isVisible());
      QCOMPARE(sheet.sheet->ActiveIndex(), page);
      QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field));
      // The refused number is not stored.
      AppSettings old;
      old.SetBytes(before);
      QCOMPARE(s.ReadRetries(), old.ReadRetries());
      QCOMPARE(s.RetryPauseMs(), old.RetryPauseMs());
      QCOMPARE(s.MaxLogSizeKB(), old.MaxLogSizeKB());
    }
  }

  void settingsAreThereAfterARestart() {
    AppSettings& s = app_->Settings();
    Sheet sheet(s, 0);
    sheet.Control<QCheckBox>(0, 1112)->setChecked(false);
    sheet.Control<QCheckBox>(1, 1114)->setChecked(false);
    sheet.Control<QLineEdit>(4, 1146)->setText(QStringLiteral("42"));
    sheet.Control<QLineEdit>(4, 1118)->setText(QStringLiteral("250"));
    sheet.Ok();
    QVERIFY(!sheet.sheet->isVisible());
    app_->OnIdle();  // the application's idle save
    platform::RegistryStore stored(config_->RegistryFile());
    AppSettings next;
    next.SetRegistry(&stored);
    QCOMPARE(next.Load(), 1);
    QCOMPARE(next.ShowSplash(), 0);
    QCOMPARE(next.ConfirmRecoveryAbort(), 0);
    QCOMPARE(next.ReadRetries(), 42);
    QCOMPARE(next.RetryPauseMs(), 250);
  }

  void arrowsStopAtTheRange_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("spin");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("high");
    QTest::newRow("retries") << 4 << 1146 << 1117 << "0" << "100";
    QTest::newRow("pause") << 4 << 1118 << 1119 << "0" << "60000";
    QTest::newRow("log size") << 5 << 1147 << 1117 << "1" << "102400";
  }
  void arrowsStopAtTheRange() {
    QFETCH(int, page);
    QFETCH(int, edit);
    QFETCH(int, spin);
    QFETCH(QString, low);
    QFETCH(QString, high);
    AppSettings& s = app_->Settings();
    s.SetLogToFile(1);
    Sheet sheet(s, page);
    auto* field = sheet.Control<QLineEdit>(page, edit);
    auto* arrows = sheet.Control<controls::CUpDownCtrl>(page, spin);
    QVERIFY(field && arrows);
    QCOMPARE(arrows->Buddy(), field);
    field->setText(high);
    arrows->UpButton()->click();
    QCOMPARE(field->text(), high);
    field->setText(low);
    arrows->DownButton()->click();
    QCOMPARE(field->text(), low);
    arrows->UpButton()->click();
    QCOMPARE(field->text(), QString::number(low.toInt() + 1));
  }

  void temporaryFolder() {
    AppSettings& s = app_->Settings();
    const QString system = CProgSettings_Temporary::SystemTempPath();
    QVERIFY(system.endsWith(QLatin1Char('/')));
    QCOMPARE(system, app::PathToQString(platform::TempDir()) + QLatin1Char('/'));
    QVERIFY(CProgSettings_Temporary::SameFolder(system, system.chopped(1)));
    QVERIFY(!CProgSettings_Temporary::SameFolder(system, system.toUpper()));

    struct Case {
      QString stored;
      bool custom;
    };
    for (const Case& c : {Case{system, false}, Case{system.chopped(1), false}, Case{system.toUpper(), true},
                          Case{QStringLiteral("/var/tmp/"), true}}) {
      s.SetTempFolder(app::ToU16(c.stored));
      s.SetUseCustomTempFolder(c.custom ? 0 : 1);  // the page works it out anew
      Sheet sheet(s, 3);
      QCOMPARE(s.UseCustomTempFolder(), c.custom ? 1 : 0);
      QCOMPARE(sheet.Control<QRadioButton>(3, 1085)->isChecked(), c.custom);
      QCOMPARE(sheet.Control<QRadioButton>(3, 1122)->isChecked(), !c.custom);
      QCOMPARE(sheet.Control<QLineEdit>(3, 1148)->isEnabled(), c.custom);
      QCOMPARE(sheet.Control<QPushButton>(3, 1034)->isEnabled(), c.custom);
    }

    {
      // Default + OK stores the system path, whatever the edit holds.
      s.SetTempFolder(u"/var/tmp");
      Sheet sheet(s, 3);
      sheet.Control<QLineEdit>(3, 1148)->setText(QStringLiteral("/somewhere/else"));
      sheet.Control<QRadioButton>(3, 1122)->click();
      QCOMPARE(s.UseCustomTempFolder(), 0);  // stored at the click
      sheet.Ok();
      QVERIFY(!sheet.sheet->isVisible());
      QCOMPARE(app::ToQString(s.TempFolder()), system);
    }
    {
      // A click on a radio button stays after Cancel.
      s.SetTempFolder(app::ToU16(system));
      Sheet sheet(s, 3);
      sheet.Control<QRadioButton>(3, 1085)->click();
      QVERIFY(sheet.Control<QLineEdit>(3, 1148)->isEnabled());
      sheet.Cancel();
      QCOMPARE(s.UseCustomTempFolder(), 1);
      QCOMPARE(app::ToQString(s.TempFolder()), system);
    }
    test::TempDir dir;
    const QString made = app::PathToQString(dir / "new/tmp");
    struct Custom {
      QString typed;
      bool accepted;
    };
    for (const Custom& c : {Custom{QString(), false}, Custom{QStringLiteral("relative/folder"), false},
                            Custom{QStringLiteral("/proc/no-such-folder/x"), false}, Custom{made, true}}) {
      test::ScriptedBoxes boxes;
      s.SetTempFolder(app::ToU16(system));
      Sheet sheet(s, 3);
      sheet.Control<QRadioButton>(3, 1085)->click();
      auto* edit = sheet.Control<QLineEdit>(3, 1148);
      edit->setText(c.typed);
      sheet.Ok();
      QApplication::processEvents();
      QCOMPARE(!sheet.sheet->isVisible(), c.accepted);
      if (c.accepted) {
        QVERIFY(boxes.shown.isEmpty());
        QCOMPARE(app::ToQString(s.TempFolder()), c.typed);
        QVERIFY(QFileInfo(c.typed).isDir());
      } else {
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text,
                 QStringLiteral("Please enter the full path of a folder that exists or can be created."));
        QCOMPARE(app::ToQString(s.TempFolder()), system);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit));
      }
    }
  }

  void loggingPageEnablesAndTheLogTakesItsSettings() {
    AppSettings& s = app_->Settings();
    test::TempDir dir;
    const std::string logPath = dir / "chosen.log";
    s.SetLogToFile(1);
    s.SetLogToDebugger(0);
    {
      // Turning "Save log in file" off disables the file's controls at once and is
      // stored, also when the sheet is then cancelled.
      Sheet sheet(s, 5);
      auto* toFile = sheet.Control<QCheckBox>(5, 1112);
      const std::vector<int> fileControls{1062, 1124, 1147, 1117, 4242, 4243, 4244};
      for (int id : fileControls) QVERIFY(FindControl(sheet.sheet->Page(5), id)->isEnabled());
      toFile->click();
      QCOMPARE(s.LogToFile(), 0);
      for (int id : fileControls) QVERIFY2(!FindControl(sheet.sheet->Page(5), id)->isEnabled(), qPrintable(QString::number(id)));
      QVERIFY(FindControl(sheet.sheet->Page(5), 1125)->isEnabled());
      sheet.Cancel();
      QCOMPARE(s.LogToFile(), 0);
    }
    // Enabling the file and the debug window; OK through the application's path:
    // the log writes to the chosen file and to standard error.
    RegisterDialogs(*app_);
    test::OnNextModal([&](QDialog* dialog) {
      auto* sheet = qobject_cast<CProgSettings*>(dialog);
      QVERIFY(sheet);
      auto* page = sheet->Page(5);
      FindControlAs<QCheckBox>(page, 1112)->click();
      FindControlAs<QLineEdit>(page, 1062)->setText(app::PathToQString(logPath));
      FindControlAs<QCheckBox>(page, 1124)->setChecked(true);
      FindControlAs<QCheckBox>(page, 1125)->setChecked(true);
      FindControlAs<QPushButton>(sheet, 1)->click();
    });
    app_->ShowProgramSettings(32811);
    QCOMPARE(s.LogToFile(), 1);
    QCOMPARE(s.LogToDebugger(), 1);
    QCOMPARE(app::ToQString(s.LogFileName()), app::PathToQString(logPath));
    const bool stamps = Log().TimeStamps();
    Log().SetTimeStamps(false);
    const std::string echoed = CaptureStandardError([] { Log().Info(u"a line for the settings test"); });
    QCOMPARE(echoed, std::string("a line for the settings test\n"));
    QCOMPARE(ReadFile(logPath), std::string("a line for the settings test\n"));

    // Unchecking 1125 and cancelling keeps the echo (not stored); OK stops it.
    test::OnNextModal([&](QDialog* dialog) {
      FindControlAs<QCheckBox>(dialog, 1125)->setChecked(false);
      dialog->reject();
    });
    app_->ShowProgramSettings(32811);
    QCOMPARE(CaptureStandardError([] { Log().Info(u"still echoed"); }), std::string("still echoed\n"));
    test::OnNextModal([&](QDialog* dialog) {
      auto* page = qobject_cast<CProgSettings*>(dialog)->Page(5);
      FindControlAs<QCheckBox>(page, 1125)->setChecked(false);
      FindControlAs<QCheckBox>(page, 1112)->click();  // and the file off
      FindControlAs<QPushButton>(dialog, 1)->click();
    });
    app_->ShowProgramSettings(32811);
    QCOMPARE(CaptureStandardError([] { Log().Info(u"quiet"); }), std::string());
    QVERIFY(!Log().WriteThrough());
    QCOMPARE(ReadFile(logPath), std::string("a line for the settings test\nstill echoed\n"));
    Log().SetTimeStamps(stamps);
  }

  // Unchecking "Images" on the "File Types" page and OK: the sector pass over the
  // lost-files fixture finds no JPEG or PNG, and still its PDF, ZIP and Office
  // files; the flags are there after a restart.
  void uncheckedGroupIsNotSearched() {
    AppSettings& s = app_->Settings();
    Sheet sheet(s, 2);
    auto* tree = sheet.Control<CSearchFileTypeTreeView>(2, 1042);
    QVERIFY(tree);
    QTreeWidgetItem* images = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
      if (tree->RecordOf(tree->topLevelItem(i))->categoryId() == CATEGORY_IMAGES) images = tree->topLevelItem(i);
    QVERIFY(images);
    QVERIFY(tree->IsChecked(images));
    tree->scrollToItem(images);
    QApplication::processEvents();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->CheckBoxRect(images).center());
    QVERIFY(!tree->IsChecked(images));
    sheet.Ok();
    QVERIFY(!sheet.sheet->isVisible());
    FileTypeDatabase& db = sheet.types.db();
    QCOMPARE(db.FindById(83)->searchEnabled(), 0);
    QCOMPARE(db.FindById(88)->searchEnabled(), 0);
    QCOMPARE(db.FindById(47)->searchEnabled(), 1);
    {
      auto restart = sheet.types.Reopen();
      QCOMPARE(restart.db->FindById(83)->searchEnabled(), 0);
      QCOMPARE(restart.db->FindById(300)->searchEnabled(), 1);
    }

    const nlohmann::json manifest = test::FixtureManifest("lost");
    auto volume = std::make_shared<CVolume>(CVolume::kImageFile);
    volume->SetDevicePath(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
    QCOMPARE(volume->BootSetup(), 1);
    ScanProgress progress;
    progress.running.store(1);
    test::RecordingSink hits;
    CSearchManager search(volume, progress, test::SearchSettings(2), db, &hits);
    QCOMPARE(search.RunSearch(), 0);
    std::set<std::int16_t> found;
    for (const auto& h : hits.Hits()) found.insert(h.typeId);
    QVERIFY(!found.count(83));
    QVERIFY(!found.count(88));
    for (const auto& f : manifest["planted"]) {
      const auto id = f["type_id"].get<std::int16_t>();
      if (id == 83 || id == 88) continue;
      QVERIFY2(found.count(id), f["path_before_format"].get<std::string>().c_str());
    }
    QVERIFY(found.count(47) && found.count(300) && found.count(501) && found.count(502));
  }

  void screenshots() {
    AppSettings& s = app_->Settings();
    s.SetLogToFile(1);
    Sheet sheet(s, 0);
    const char* names[] = {"settings_common",  "settings_confirmations", "settings_file_types",
                           "settings_temporary", "settings_drive_access", "settings_logging",
                           "settings_language"};
    for (int page = 0; page < 7; ++page) {
      sheet.sheet->SetActivePage(page);
      QVERIFY(!test::SaveScreenshot(sheet.sheet.get(), QStringLiteral("dialogs"), QString::fromLatin1(names[page]))
                   .isEmpty());
    }
  }
};

// The language page with two languages: a choice is made current at once (the
// registered windows are re-texted) and stays after Cancel.
class CProgSettingsLanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void choosingALanguageAppliesItAtOnce() {
    test::ScopedConfig config;
    test::TempDir dir;
    QDir(QString::fromStdString(dir.path())).mkpath(QStringLiteral("Languages"));
    QFile::copy(QStringLiteral(VANDREL_SOURCE_DIR "/Languages/English.lng"),
                QString::fromStdString(dir / "Languages/English.lng"));
    {
      QFile zulu(QString::fromStdString(dir / "Languages/Zulu.lng"));
      QVERIFY(zulu.open(QIODevice::WriteOnly));
      zulu.write("[ProgramSettings]\n0=Izilungiselelo\n[ProgrammSettings.Confirms]\n1116=Qinisekisa ukuvala\n");
    }
    CApp app(QString::fromStdString(dir.path()));
    app.Settings().FillDefaults();
    QCOMPARE(app.Languages().LanguageNames(), (QStringList{QStringLiteral("English"), QStringLiteral("Zulu")}));
    test::TypesFixture types;
    CProgSettings sheet(QStringLiteral("Settings"), CProgSettings::kConfirms, nullptr, app.Settings(), &types.db());
    sheet.show();
    QApplication::processEvents();
    auto* exitBox = FindControlAs<QCheckBox>(sheet.Page(1), 1116);
    QCOMPARE(exitBox->text(), QStringLiteral("Confirm application shutdown"));
    sheet.SetActivePage(CProgSettings::kLanguage);
    auto* combo = FindControlAs<QComboBox>(sheet.Page(CProgSettings::kLanguage), 1045);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentIndex(), 0);
    combo->setCurrentIndex(1);
    QCOMPARE(app.Settings().LanguageIndex(), 1);
    QCOMPARE(app.Languages().CurrentName(), QStringLiteral("Zulu"));
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Izilungiselelo"));
    QCOMPARE(exitBox->text(), QStringLiteral("Qinisekisa ukuvala"));
    FindControlAs<QPushButton>(&sheet, 2)->click();
    QCOMPARE(app.Settings().LanguageIndex(), 1);
    QCOMPARE(app.Languages().CurrentName(), QStringLiteral("Zulu"));
  }
};

VANDREL_QT_TEST(CProgSettingsTest);
VANDREL_QT_TEST(CProgSettingsLanguageTest);
#include "ProgSettingsTest.moc"
