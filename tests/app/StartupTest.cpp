// Start-up as the executable runs it: the command line, the privilege check, the
// first start, "/addsig" end to end, and an analysis with the program's objects as
// main builds them.
#include <QTest>

#include <grp.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "app/App.h"
#include "app/PlaceholderWindow.h"
#include "app/QtText.h"
#include "app/Startup.h"
#include "controls/Splash.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"
#include "platform/Privilege.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "search/FileTypeDatabase.h"
#include "support/QtTestRegistry.h"
#include "support/TempDir.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr std::int32_t kTestTypeId = 9001;

// A .filesig file of a new type in the images group, as the engine writes one.
std::string WriteSignatureFile(const test::TempDir& dir, const std::string& name, const std::u16string& title) {
  FileType type;
  type.Init(CATEGORY_IMAGES, kTestTypeId, title, u"A test image type", u"test_", u"tst");
  const std::uint8_t magic[] = {'T', 'S', 'T', '!'};
  type.AddBytesSignature(0, platform::Bytes(magic, sizeof magic), 0);
  const std::string path = dir / name;
  if (!type.SaveToFile(path)) return {};
  return path;
}

CStartup::Seams Seams(bool admin, const test::TempDir& programDir) {
  CStartup::Seams s;
  s.isUserAdmin = [admin] { return admin; };
  s.runEventLoop = false;
  s.programDir = QString::fromStdString(programDir.path());
  return s;
}

nlohmann::json LostManifest() {
  std::ifstream f(VANDREL_FIXTURE_SRC_DIR "/lost.manifest.json");
  return nlohmann::json::parse(f);
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void CommandLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("addSignature");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("missing");
    QTest::newRow("none") << QStringList{} << false << 32840 << "" << false;
    QTest::newRow("cs") << QStringList{"/cs"} << false << 100 << "" << false;
    QTest::newRow("cs in a word") << QStringList{"/csv"} << false << 100 << "" << false;
    QTest::newRow("CS upper case") << QStringList{"/CS"} << false << 32840 << "" << false;
    QTest::newRow("ADDSIG upper case") << QStringList{"/ADDSIG", "x.filesig"} << false << 32840 << "" << false;
    QTest::newRow("addsig") << QStringList{"/addsig", "/tmp/a.filesig"} << true << 32840 << "/tmp/a.filesig" << false;
    QTest::newRow("both switches") << QStringList{"/cs", "/addsig", "b.filesig"} << true << 32840 << "b.filesig"
                                   << false;
    QTest::newRow("blanks in the name") << QStringList{"/addsig", "/home/u/My Sigs/a b.filesig"} << true << 32840
                                        << "/home/u/My Sigs/a b.filesig" << false;
    QTest::newRow("desktop entry, quoted") << QStringList{"/addsig \"/home/u/a b.filesig\""} << true << 32840
                                           << "\"/home/u/a b.filesig\"" << false;
    QTest::newRow("bare addsig") << QStringList{"/addsig"} << true << 32840 << "" << true;
    QTest::newRow("addsig and a blank") << QStringList{"/addsig", ""} << true << 32840 << "" << true;
    QTest::newRow("addsig and quotes only") << QStringList{"/addsig", "\"\""} << true << 32840 << "\"\"" << true;
  }
  void CommandLines() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, addSignature);
    QFETCH(int, mode);
    QFETCH(QString, fileName);
    QFETCH(bool, missing);
    const CommandLine parsed = ParseCommandLine(JoinArguments(arguments));
    QCOMPARE(parsed.action == CommandLine::Action::AddSignature, addSignature);
    if (!addSignature) QCOMPARE(parsed.mode, mode);
    QCOMPARE(app::ToQString(parsed.fileName), fileName);
    QCOMPARE(parsed.fileNameMissing, missing);
  }

  void Privilege_data() {
    QTest::addColumn<int>("uid");
    QTest::addColumn<int>("gid");
    QTest::addColumn<QList<int>>("groups");
    QTest::addColumn<int>("diskGroup");  // -1: none known
    QTest::addColumn<bool>("admin");
    QTest::newRow("root") << 0 << 0 << QList<int>{} << 6 << true;
    QTest::newRow("root, no disk group") << 0 << 100 << QList<int>{} << -1 << true;
    QTest::newRow("member of disk") << 1000 << 1000 << QList<int>{24, 6, 27} << 6 << true;
    QTest::newRow("disk as primary group") << 1000 << 6 << QList<int>{} << 6 << true;
    QTest::newRow("not a member") << 1000 << 1000 << QList<int>{24, 27} << 6 << false;
    QTest::newRow("no disk group") << 1000 << 6 << QList<int>{6} << -1 << false;
  }
  void Privilege() {
    QFETCH(int, uid);
    QFETCH(int, gid);
    QFETCH(QList<int>, groups);
    QFETCH(int, diskGroup);
    QFETCH(bool, admin);
    platform::PrivilegeFacts facts;
    facts.effectiveUid = static_cast<uid_t>(uid);
    facts.effectiveGid = static_cast<gid_t>(gid);
    for (int g : groups) facts.groups.push_back(static_cast<gid_t>(g));
    if (diskGroup >= 0) facts.diskGroup = static_cast<gid_t>(diskGroup);
    QCOMPARE(platform::IsAdminFor(facts), admin);
  }

  void TheDiskGroupIsTheOneOwningTheDisks() {
    // Without readable disks the group named "disk" stands; Debian has one.
    struct group* disk = ::getgrnam("disk");
    const auto found = platform::DiskGroup("/nonexistent-sys", "/nonexistent-dev");
    if (disk) {
      QVERIFY(found.has_value());
      QCOMPARE(*found, disk->gr_gid);
    }
    QCOMPARE(platform::IsUserAdmin() != 0, platform::IsAdminFor(platform::CurrentPrivilegeFacts()));
  }

  void AFirstStartWritesSettingsGroupsAndTypes() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(true, programDir));
    QCOMPARE(startup.Main(u""), 0);
    QCOMPARE(QString::fromLatin1(startup.LastPath()), QStringLiteral("run"));
    QCOMPARE(boxes.shown.size(), 0);
    auto* top = qobject_cast<CPlaceholderWindow*>(g_App->TopWindow());
    QVERIFY(top);
    QCOMPARE(top->Mode(), 32840);
    QCOMPARE(g_FileTypes->TypeCount(), std::size_t(104));
    // "Show splash screen" is on by default: the splash is up.
    QVERIFY(g_App->GetSplash());
    QVERIFY(g_App->GetSplash()->View());
    QCOMPARE(g_App->GetSplash()->View()->size(), QSize(320, 390));

    platform::RegistryStore stored(config.RegistryFile());
    std::vector<std::uint8_t> settings;
    QCOMPARE(stored.QueryBinary(kProgramKey, u"Settings", settings), platform::RegStatus::Ok);
    QCOMPARE(settings.size(), AppSettings::kSize);
    const std::u16string key(kProgramKey);
    QCOMPARE(stored.EnumValues(key + u"\\Groups").size(), std::size_t(11));
    QCOMPARE(stored.EnumValues(key + u"\\File Types").size(), std::size_t(104));
    delete top;
  }

  void AnUnprivilegedStartShowsTheMessageAndMakesNoWindow() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(false, programDir));
    QCOMPARE(startup.Main(u"/cs"), 0);
    QCOMPARE(QString::fromLatin1(startup.LastPath()), QStringLiteral("admin"));
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Error: Administrator access necessary"));
    QCOMPARE(boxes.shown[0].caption,
             QStringLiteral("Administrator access necessary. Please run the program using an administrator's "
                            "account on your computer."));
    QCOMPARE(boxes.shown[0].icon, MessageIcon::Error);
    QCOMPARE(boxes.shown[0].owner, nullptr);
    QCOMPARE(g_App->TopWindow(), nullptr);
    // The settings were loaded before the check: a first start stores them.
    platform::RegistryStore stored(config.RegistryFile());
    std::vector<std::uint8_t> settings;
    QCOMPARE(stored.QueryBinary(kProgramKey, u"Settings", settings), platform::RegStatus::Ok);
  }

  void AddSignatureAddsThenUpdatesAndARestartListsIt() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::TempDir files;
    const std::string first = WriteSignatureFile(files, "my type.filesig", u"My type");
    const std::string second = WriteSignatureFile(files, "renamed.filesig", u"My renamed type");
    QVERIFY(!first.empty() && !second.empty());
    test::ScriptedBoxes boxes;
    {
      CStartup startup(Seams(true, programDir));
      QCOMPARE(startup.Main(JoinArguments({QStringLiteral("/addsig"), QString::fromStdString(first)})), 0);
      QCOMPARE(QString::fromLatin1(startup.LastPath()), QStringLiteral("addsig"));
      QCOMPARE(g_App->TopWindow(), nullptr);
      QCOMPARE(g_App->GetSplash(), nullptr);  // no splash, no window
    }
    {
      CStartup startup(Seams(true, programDir));
      // The desktop entry's form: the name in quotes of its own.
      startup.Main(JoinArguments({QStringLiteral("/addsig \"%1\"").arg(QString::fromStdString(second))}));
    }
    QCOMPARE(boxes.shown.size(), 2);
    QCOMPARE(boxes.shown[0].text, QStringLiteral("Signature file '%1' added!").arg(QString::fromStdString(first)));
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("ok"));
    QCOMPARE(boxes.shown[1].text, QStringLiteral("Signature file '%1' updated!").arg(QString::fromStdString(second)));
    QCOMPARE(boxes.shown[1].caption, QStringLiteral("ok"));
    {
      CStartup startup(Seams(true, programDir));
      startup.BuildProgramObjects();
      QVERIFY(g_FileTypes->LoadFileTypes());
      const FileType* type = g_FileTypes->FindById(kTestTypeId);
      QVERIFY(type);
      QVERIFY(type->Title() == u"My renamed type");
      QCOMPARE(type->GetSignatureCount(), std::size_t(1));
      QCOMPARE(g_FileTypes->TypeCount(), std::size_t(105));
    }
  }

  void AddSignatureFailuresSayWhy_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("text");
    QTest::newRow("bare switch") << "" << "Signature file '' can't open!\n\nNo file name follows \"/addsig\".";
    QTest::newRow("missing file") << "/nonexistent/x.filesig"
                                  << "Signature file '/nonexistent/x.filesig' can't open!\n\nthe file can't be opened";
  }
  void AddSignatureFailuresSayWhy() {
    QFETCH(QString, argument);
    QFETCH(QString, text);
    test::ScopedConfig config;
    test::TempDir programDir;
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(true, programDir));
    QStringList args{QStringLiteral("/addsig")};
    if (!argument.isEmpty()) args << argument;
    QCOMPARE(startup.Main(JoinArguments(args)), 0);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, text);
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Error!"));
    QCOMPARE(g_App->TopWindow(), nullptr);
  }

  void ARefusedTypeIsReportedWithItsReason() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::TempDir files;
    FileType type;
    type.Init(-999, kTestTypeId, u"No group", u"d", u"x_", u"xx");  // a category without a group
    const std::string path = files / "nogroup.filesig";
    QVERIFY(type.SaveToFile(path));
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(true, programDir));
    startup.Main(JoinArguments({QStringLiteral("/addsig"), QString::fromStdString(path)}));
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].text.startsWith(
        QStringLiteral("Signature file '%1' can't open!\n\n").arg(QString::fromStdString(path))));
    QVERIFY(boxes.shown[0].text.size() > QStringLiteral("Signature file '%1' can't open!\n\n").arg(QString::fromStdString(path)).size());
    QCOMPARE(boxes.shown[0].caption, QStringLiteral("Error!"));
    QVERIFY(!g_FileTypes->FindById(kTestTypeId));
  }

  void AnAnalysisWithTheProgramsObjectsCarvesTheLostFiles() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(true, programDir));
    QCOMPARE(startup.Main(u""), 0);
    g_App->Settings().SetSignaturePass(1);
    g_App->Settings().SetSearchThreads(2);
    CLocalComputer* computer = startup.Computer();
    auto image = computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/lost.img"));
    QVERIFY(image);
    QCOMPARE(computer->StartAnalysis(image), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!image->HasAnalysisThread(), 120000);
    CVolume::JoinAnalysisThreads();
    const nlohmann::json manifest = LostManifest();
    for (const auto& f : manifest["planted"]) {
      const FoundObject* r = image->Store().FindByOffset(f["offset"].get<std::int64_t>());
      QVERIFY(r);
      QVERIFY(r->flags.Any(OBJ_CARVED));
      QCOMPARE(r->typeId, f["type_id"].get<std::int16_t>());
    }
    delete g_App->TopWindow();
  }

  void QuittingStopsAndJoinsTheWorkersBeforeTheProcessEnds() {
    test::ScopedConfig config;
    test::TempDir programDir;
    test::ScriptedBoxes boxes;
    CStartup startup(Seams(true, programDir));
    QCOMPARE(startup.Main(u""), 0);
    g_App->Settings().SetConfirmExit(0);
    g_App->Settings().SetExitProcessOnQuit(1);
    g_App->Settings().SetSignaturePass(1);
    // A sector pass that runs until it is stopped.
    std::atomic<bool> passRunning{false};
    CVolume::SetSectorPass([&](CVolume&, ScanProgress& progress, const AppSettings&) {
      passRunning = true;
      while (progress.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      passRunning = false;
    });
    std::vector<std::string> order;
    g_App->AddShutdownHook([&] { order.push_back("hook"); });
    bool threadAtExit = true;
    g_App->SetExitFunction([&](int code) {
      order.push_back("exit " + std::to_string(code));
      threadAtExit = CVolume::WaitForAnalysisEnd(std::chrono::milliseconds(0)) == false;
    });
    auto image = startup.Computer()->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/lost.img"));
    QVERIFY(image);
    QCOMPARE(startup.Computer()->StartAnalysis(image), 1);
    QTRY_VERIFY_WITH_TIMEOUT(passRunning.load(), 60000);

    QCOMPARE(g_App->Exit(), 1);
    QCOMPARE(order, (std::vector<std::string>{"hook", "exit 0"}));
    QVERIFY(!threadAtExit);
    QVERIFY(!passRunning.load());
    QVERIFY(!image->HasAnalysisThread());
    QCOMPARE(boxes.shown.size(), 0);
    CVolume::SetSectorPass(nullptr);
    delete g_App->TopWindow();
  }
};

VANDREL_QT_TEST(StartupTest);
#include "StartupTest.moc"
