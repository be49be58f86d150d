// The step-by-step wizard end to end, as a user meets it: "VandrelPro" offscreen
// opens in it, every page by clicks, the real engine over the fixture images.
// fat16.img is loaded on the drive page; the file types as they are; the
// scanning mode (free space only, or the entire drive); a temporary destination;
// the file-system pass finds the deleted files; "deleted file.txt" is recovered
// byte for byte; the sector pass marks the deleted JPEG carved (and, over the
// entire drive only, the live ones too); the summary counts both passes' files
// and the one recovered. "Process Another Drive" then takes lost.img, whose
// table was wiped: the file-system pass finds nothing and Next asks nothing, the
// sector pass carves the planted files, and a JPEG recovered from them starts
// with the planted file's bytes. The auto-pilot recovers every file the
// file-system pass found without a click.
//
// Screenshots of the pages go to <build>/screenshots/wizards/.
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <QDir>

#include "controls/Label.h"
#include "mainframe/explorer/StoreAccess.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/wizards/WizardModeTestSupport.h"
#include "wizards/WizardModeProgressPage.h"
#include "wizards/WizardModeResultsPage.h"
#include "wizards/WizardMode_Finish.h"
#include "wizards/WizardMode_Step3.h"
#include "wizards/WizardMode_Step4.h"
#include "wizards/WizardMode_Step5.h"
#include "wizards/WizardMode_Step7.h"

namespace {

enum Page { kStep0, kStep1, kStep2, kStep3, kStep4, kStep5, kStep6, kStep7, kStep8, kFinish };

std::int64_t ClusterOffset(const nlohmann::json& m, std::int64_t cluster) {
  return m["first_data_sector"].get<std::int64_t>() * 512 + (cluster - 2) * m["cluster_size"].get<std::int64_t>();
}

const FoundObject* RecordOf(CVolume& v, const nlohmann::json& m, const std::string& path) {
  for (const auto& o : m["objects"])
    if (o["path"] == path) return v.Store().FindByOffset(ClusterOffset(m, o["first_cluster"].get<std::int64_t>()));
  return nullptr;
}

QString LabelText(QWidget* page, int id) {
  QWidget* w = controls::FindControl(page, id);
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* label = qobject_cast<controls::CLabel*>(w)) return label->Text();
  return QString();
}

// Drives the pages from the welcome page to the drive page's choice of `image`
// and on through the file types, the scanning mode and the destination to the
// file-system pass's end.
void ToTheFileSystemPassEnd(test::WizardModeWorld& w, const std::string& image, bool freeOnly, bool shots) {
  QCOMPARE(w.Page(), int(kStep0));
  if (shots) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step0_welcome").isEmpty());
  QVERIFY(w.ClickNext());
  QCOMPARE(w.Page(), int(kStep1));
  QVERIFY(!w.NextEnabled());  // no drive chosen yet
  QVERIFY(w.LoadImage(image));
  QTRY_VERIFY(w.NextEnabled());
  if (shots) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step1_drive").isEmpty());
  QVERIFY(w.ClickNext());
  QCOMPARE(w.Page(), int(kStep2));
  std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
  QVERIFY(volume);
  QCOMPARE(QString::fromStdU16String(volume->GetPath()),
           QString::fromStdString(test::FixtureImage(image)));
  if (shots) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step2_types").isEmpty());
  QVERIFY(w.ClickNext());
  QCOMPARE(w.Page(), int(kStep3));
  QVERIFY(w.Click(freeOnly ? CWizardMode_Step3::IDC_FREE_SPACE : CWizardMode_Step3::IDC_ENTIRE_DRIVE));
  if (shots) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step3_mode").isEmpty());
  QVERIFY(w.ClickNext());
  QCOMPARE(w.Settings().SkipAllocatedClusters(), freeOnly ? 1 : 0);
  QCOMPARE(w.Page(), int(kStep4));
  QVERIFY(w.Type(CWizardMode_Step4::IDC_DESTINATION, QString::fromStdString(w.out.path() + "/")));
  if (shots) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step4_destination").isEmpty());
  QVERIFY(w.ClickNext());
  QCOMPARE(w.Page(), int(kStep5));
  // The pass starts by itself at the first showing.
  QVERIFY(w.WaitForPassEnd());
  QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardModeProgressPage::IDC_STATUS), QStringLiteral("Idle"));
}

}  // namespace

class WizardModeEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void Fat16ThroughEveryPage_data() {
    QTest::addColumn<bool>("freeOnly");
    QTest::newRow("free drive space only") << true;
    QTest::newRow("entire drive") << false;
  }
  void Fat16ThroughEveryPage() {
    QFETCH(bool, freeOnly);
    const nlohmann::json manifest = test::FixtureManifest("fat16");
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QCOMPARE(g_App->TopWindow(), static_cast<QWidget*>(w.sheet.data()));
    ToTheFileSystemPassEnd(w, "fat16.img", freeOnly, freeOnly);
    if (QTest::currentTestFailed()) return;
    std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
    const std::int64_t fsFiles = volume->FileSystemPassCounters().files.load();
    QVERIFY(fsFiles > 0);
    QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardModeProgressPage::IDC_FILES_FOUND), QString::number(fsFiles));
    if (freeOnly) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step5_idle").isEmpty());

    // Step6: the deleted file in the root's list, recovered by clicks.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep6));
    CVolumeExploreView& view6 = *w.sheet->Step6()->View();
    const QModelIndex node = view6.Tree()->AnalysedVolumeItem();
    QVERIFY(node.isValid());
    const QModelIndex root = test::WizardModeWorld::TreeChild(view6, node, QStringLiteral("."));
    QVERIFY(root.isValid());
    test::WizardModeWorld::ClickTreeItem(view6, root);
    if (test::WizardModeWorld::ClickListRows(view6, {QStringLiteral("deleted file.txt")}) != 1) {
      for (int row = 0; row < view6.List()->Model()->rowCount(); ++row)
        qInfo() << "row" << view6.List()->Model()->index(row, 0).data().toString();
      qInfo() << "tree current" << view6.Tree()->currentIndex().data().toString();
      QFAIL("no deleted file.txt in the list");
    }
    if (freeOnly) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step6_results").isEmpty());
    QVERIFY(w.RecoverByClicks());
    QCOMPARE(w.sheet->RecoveredCount(), 1);
    const std::set<std::string> written = test::FilesUnder(w.out.path());
    QCOMPARE(written, std::set<std::string>{"deleted file.txt"});
    QCOMPARE(test::ShaOfFile(w.out / "deleted file.txt"),
             std::string("2bb0f92fa907dfacbe9537faa215f16a4fc4651f953c7c606c0d201a34a9d3a2"));
    // Something was recovered: Next asks nothing.
    const int boxes = int(w.boxes.shown.size());
    QVERIFY(w.ClickNext());
    QCOMPARE(int(w.boxes.shown.size()), boxes);

    // Step7: the sector pass over the chosen space.
    QCOMPARE(w.Page(), int(kStep7));
    QVERIFY(w.WaitForPassEnd());
    const std::int64_t sectorFiles = volume->SectorPassCounters().files.load();
    qInfo("sector pass: %lld files", static_cast<long long>(sectorFiles));
    QCOMPARE(volume->SectorPassFreeClustersOnly(), freeOnly);
    QWidget* step7 = w.sheet->ActivePage();
    QCOMPARE(LabelText(step7, CWizardModeProgressPage::IDC_FILES_FOUND), QString::number(sectorFiles));
    QCOMPARE(LabelText(step7, CWizardMode_Step7::IDC_FREE_CLUSTERS),
             QString::number(GetScanProgress().freeClusters.load()));
    QVERIFY(GetScanProgress().freeClusters.load() > 0);
    const FoundObject* deletedJpeg = RecordOf(*volume, manifest, "/DELETED.JPG");
    QVERIFY(deletedJpeg);
    QVERIFY(deletedJpeg->flags.Any(OBJ_CARVED));
    for (const char* path : {"/Überraschung Fotos/Geburtstag 2021.jpg", "/DCIM/100CANON/IMG_0002.JPG"}) {
      const FoundObject* live = RecordOf(*volume, manifest, path);
      QVERIFY2(live, path);
      QCOMPARE(live->flags.Any(OBJ_CARVED), !freeOnly);
    }
    if (freeOnly) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step7_idle").isEmpty());

    // Step8, then the summary.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep8));
    QVERIFY(w.sheet->Step8()->SnapshotTaken());
    QCOMPARE(w.sheet->Step8()->Snapshot(), 1);
    if (freeOnly) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step8_results").isEmpty());
    // Nothing recovered after the sector pass: Next asks 222 when the pass found
    // files of its own (No stays, Yes goes on).
    if (sectorFiles > 0) {
      w.boxes.Queue(Answer::No);
      QVERIFY(w.ClickNext());
      QCOMPARE(w.Page(), int(kStep8));
      QCOMPARE(w.boxes.shown.last().text, LangString(222));
      w.boxes.Queue(Answer::Yes);
    }
    const int asked = int(w.boxes.shown.size());
    QVERIFY(w.ClickNext());
    QCOMPARE(int(w.boxes.shown.size()), asked + (sectorFiles > 0 ? 1 : 0));
    QCOMPARE(w.Page(), int(kFinish));
    QWidget* finish = w.sheet->ActivePage();
    QCOMPARE(LabelText(finish, CWizardMode_Finish::IDC_FOUND), QString::number(fsFiles + sectorFiles));
    QCOMPARE(LabelText(finish, CWizardMode_Finish::IDC_RECOVERED), QStringLiteral("1"));
    if (freeOnly) QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_finish").isEmpty());
    // "Explore Recovered Files" opens the folder the recovery wrote into.
    QVERIFY(w.Click(CWizardMode_Finish::IDC_EXPLORE));
    QVERIFY(!w.opened.empty());
    QCOMPARE(QDir(w.opened.back().toLocalFile()).canonicalPath(),
             QDir(QString::fromStdString(w.out.path())).canonicalPath());
  }

  void ProcessAnotherDriveWithTheLostFiles() {
    const nlohmann::json lost = test::FixtureManifest("lost");
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    ToTheFileSystemPassEnd(w, "fat16.img", true, false);
    if (QTest::currentTestFailed()) return;
    // Straight on to the summary without recovering (Step6's question: Yes).
    w.boxes.Queue(Answer::Yes);
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep6));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.boxes.shown.last().text, LangString(221));
    QCOMPARE(w.Page(), int(kStep7));
    QVERIFY(w.WaitForPassEnd());
    w.boxes.Queue(Answer::Yes);
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kFinish));
    QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardMode_Finish::IDC_RECOVERED), QStringLiteral("0"));

    // "Process Another Drive": the drive page again, both passes re-armed.
    QVERIFY(w.Click(CWizardMode_Finish::IDC_ANOTHER_DRIVE));
    QCOMPARE(w.Page(), int(kStep1));
    QVERIFY(w.sheet->Step5()->StartPending());
    QVERIFY(w.sheet->Step7()->StartPending());
    QVERIFY(w.LoadImage("lost.img"));
    QTRY_VERIFY(w.NextEnabled());
    QVERIFY(w.ClickNext());
    std::shared_ptr<CVolume> volume = CWizardMode_Main::CurrentVolume();
    QCOMPARE(QString::fromStdU16String(volume->GetPath()), QString::fromStdString(test::FixtureImage("lost.img")));
    QVERIFY(w.ClickNext());  // types
    QVERIFY(w.ClickNext());  // mode: free space only still
    QVERIFY(w.ClickNext());  // destination
    QCOMPARE(w.Page(), int(kStep5));
    QVERIFY(w.WaitForPassEnd());
    QCOMPARE(volume->FileSystemPassCounters().files.load(), 0);
    // Nothing found: Next asks nothing.
    QVERIFY(w.ClickNext());
    const int boxes = int(w.boxes.shown.size());
    QVERIFY(w.ClickNext());
    QCOMPARE(int(w.boxes.shown.size()), boxes);
    QCOMPARE(w.Page(), int(kStep7));
    QVERIFY(w.WaitForPassEnd());
    QVERIFY(volume->SectorPassCounters().files.load() >= std::int64_t(lost["planted"].size()) - 1);

    // Step8: the lost files; the first planted JPEG recovered.
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep8));
    CVolumeExploreView& view8 = *w.sheet->Step8()->View();
    const QModelIndex lostFiles = view8.Tree()->LostFilesItem();
    QVERIFY(lostFiles.isValid());
    const auto& planted = lost["planted"][0];
    const std::int64_t offset = planted["offset"].get<std::int64_t>();
    // Carved files lie in folders by kind of file below "Lost files".
    const QString name = test::WizardModeWorld::FindListedAt(view8, lostFiles, offset);
    QVERIFY2(!name.isEmpty(), "no carved file at the planted offset");
    QCOMPARE(test::WizardModeWorld::ClickListRows(view8, {name}), 1);
    QVERIFY(!test::SaveScreenshot(w.sheet, "wizards", "wizard_step8_lost_files").isEmpty());
    QVERIFY(w.RecoverByClicks());
    const std::set<std::string> files = test::FilesUnder(w.out.path());
    QCOMPARE(int(files.size()), 1);
    const std::vector<std::uint8_t> got = test::FileBytes(w.out / *files.begin());
    QVERIFY(got.size() >= 512);
    // The planted file from the image itself.
    std::ifstream image(test::FixtureImage("lost.img"), std::ios::binary);
    image.seekg(offset);
    std::vector<std::uint8_t> want(512);
    image.read(reinterpret_cast<char*>(want.data()), 512);
    QVERIFY(std::equal(want.begin(), want.end(), got.begin()));
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kFinish));
    QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardMode_Finish::IDC_RECOVERED), QStringLiteral("1"));
  }

  void FilesRecoveredCountsTheFilesWritten() {
    // A folder selected: one object chosen, its three files written; the summary
    // counts the files written.
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    ToTheFileSystemPassEnd(w, "fat16.img", true, false);
    if (QTest::currentTestFailed()) return;
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kStep6));
    CVolumeExploreView& view6 = *w.sheet->Step6()->View();
    const QModelIndex root =
        test::WizardModeWorld::TreeChild(view6, view6.Tree()->AnalysedVolumeItem(), QStringLiteral("."));
    test::WizardModeWorld::ClickTreeItem(view6, root);
    QCOMPARE(test::WizardModeWorld::ClickListRows(view6, {QStringLiteral("Old Projects")}), 1);
    QVERIFY(w.RecoverByClicks());
    QCOMPARE(w.sheet->RecoveredCount(), 3);
    QCOMPARE(int(test::FilesUnder(w.out.path()).size()), 3);
    QVERIFY(w.ClickNext());
    QVERIFY(w.WaitForPassEnd());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), int(kFinish));
    QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardMode_Finish::IDC_RECOVERED), QStringLiteral("3"));
  }

  // With the auto-pilot on, the whole road runs without a click after Step 4: the
  // file-system pass, its recovery, the sector pass, its recovery, the summary,
  // whose "Files Recovered" are the files written.
  void TheAutoPilotRunsTheWholeRoadToTheSummary_data() {
    QTest::addColumn<QString>("image");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("fat16, free space only") << QStringLiteral("fat16.img") << int(CWizardMode_Step3::IDC_FREE_SPACE)
                                            << QStringList{QStringLiteral("deleted file.txt"), QStringLiteral("README.TXT")};
    // No file system: every file is carved, most of them of unknown size.
    QTest::newRow("carved files, entire drive") << QStringLiteral("carve.img") << int(CWizardMode_Step3::IDC_ENTIRE_DRIVE)
                                                << QStringList{};
  }
  void TheAutoPilotRunsTheWholeRoadToTheSummary() {
    QFETCH(QString, image);
    QFETCH(int, mode);
    QFETCH(QStringList, written);
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage(image.toStdString()));
    QTRY_VERIFY(w.NextEnabled());
    QVERIFY(w.ClickNext());
    QVERIFY(w.ClickNext());
    QVERIFY(w.Click(mode));
    QVERIFY(w.ClickNext());
    QVERIFY(w.Click(CWizardMode_Step4::IDC_AUTO_RECOVER));
    QVERIFY(w.Type(CWizardMode_Step4::IDC_DESTINATION, QString::fromStdString(w.out.path() + "/")));
    int recoveries = 0;
    QTimer counter;
    QObject::connect(&counter, &QTimer::timeout, [&] {
      static QPointer<QWidget> last;
      QWidget* p = test::ShownTopLevel<CRecoveryProgressDlg>();
      if (p && p != last) ++recoveries;
      last = p;
    });
    counter.start(10);
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Settings().AutoRecover(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(w.Page() == int(kFinish), 120000);
    RecoveryJob().Join();
    QVERIFY(!test::ShownTopLevel<CRecoveryProgressDlg>());
    // No question was asked on the way (the size of carved files included).
    QVERIFY(w.boxes.shown.isEmpty());
    const std::set<std::string> files = test::FilesUnder(w.out.path());
    QVERIFY(!files.empty());
    QCOMPARE(LabelText(w.sheet->ActivePage(), CWizardMode_Finish::IDC_RECOVERED), QString::number(files.size()));
    for (const QString& name : written) QVERIFY2(files.count(name.toStdString()) == 1, qPrintable(name));
    if (image == QStringLiteral("fat16.img"))
      QCOMPARE(test::ShaOfFile(w.out / "deleted file.txt"),
               std::string("2bb0f92fa907dfacbe9537faa215f16a4fc4651f953c7c606c0d201a34a9d3a2"));
    else
      QVERIFY2(files.size() >= test::FixtureManifest("carve")["planted"].size(), qPrintable(QString::number(files.size())));
    QVERIFY(recoveries >= 1);
  }
};

VANDREL_QT_TEST(WizardModeEndToEndTest);
#include "WizardModeEndToEndTest.moc"
