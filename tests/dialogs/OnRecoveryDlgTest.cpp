// The recovery options dialog (237): Browse and its trailing separator, OK with a
// destination on the source drive (a fake device tree) and with a good one, the
// settings it edits and the one it leaves alone, and its look.
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "controls/Bitmaps.h"
#include "controls/Label.h"
#include "dialogs/OnRecoveryDlg.h"
#include "support/FakeBlockTree.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/dialogs/RecoveryWorld.h"

namespace {

// A block device node of this machine, to stand for the drive being recovered
// from (the fake tree says which disk it belongs to).
std::string AnyBlockNode() {
  std::string found;
  if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      const std::string path = std::string("/dev/") + e->d_name;
      struct stat st{};
      if (stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        found = path;
        break;
      }
    }
    closedir(d);
  }
  return found;
}

std::string DevText(dev_t dev) { return std::to_string(major(dev)) + ":" + std::to_string(minor(dev)); }

}  // namespace

class OnRecoveryDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void BrowseAppendsOneSeparator_data() {
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("shown");
    QTest::newRow("folder") << "/out" << "/out/";
    QTest::newRow("folder with separator") << "/out/" << "/out/";
    QTest::newRow("root") << "/" << "/";
    QTest::newRow("picker cancelled") << "" << "/start/here/";
  }
  void BrowseAppendsOneSeparator() {
    QFETCH(QString, picked);
    QFETCH(QString, shown);
    test::RecoveryWorld world;
    world.Settings().SetDestinationFolder(u"/start/here/");
    world.picks.push_back(picked);
    COnRecoveryDlg dialog(&world.top);
    dialog.show();
    auto* edit = controls::FindControlAs<QLineEdit>(&dialog, COnRecoveryDlg::IDC_DESTINATION);
    QVERIFY(edit);
    QCOMPARE(edit->text(), QStringLiteral("/start/here/"));
    test::ClickControl(&dialog, COnRecoveryDlg::IDC_BROWSE);
    QCOMPARE(world.pickerTitles, QStringList{QString()});  // no title text
    QCOMPARE(world.pickerStarts, QStringList{QStringLiteral("/start/here/")});
    QCOMPARE(edit->text(), shown);
    QCOMPARE(app::ToQString(world.Settings().DestinationFolder()), shown);
    QVERIFY(dialog.isVisible());
  }

  void BrowseKeepsAnUnsavedCheckBoxChange() {
    test::RecoveryWorld world;
    world.Settings().SetKeepFolderStructure(1);
    world.picks.push_back(QStringLiteral("/elsewhere"));
    COnRecoveryDlg dialog(&world.top);
    dialog.show();
    auto* keep = controls::FindControlAs<QCheckBox>(&dialog, COnRecoveryDlg::IDC_KEEP_FOLDER_STRUCTURE);
    QVERIFY(keep && keep->isChecked());
    test::Click(keep);
    QVERIFY(!keep->isChecked());
    test::ClickControl(&dialog, COnRecoveryDlg::IDC_BROWSE);
    QVERIFY(!keep->isChecked());
  }

  void OkOnTheSourceDriveStaysOpenAndAGoodDestinationPostsOnce() {
    test::RecoveryWorld world;
    const std::string node = AnyBlockNode();
    struct stat destination{}, source{};
    if (node.empty() || stat(node.c_str(), &source) != 0) QSKIP("no block device node to stand for the source");
    if (stat(world.dir.path().c_str(), &destination) != 0 || major(destination.st_dev) == 0)
      QSKIP("the temporary folder lies on no block device here");

    // The fake tree: the source node is a partition of the disk the destination
    // lies on.
    test::FakeBlockTree same;
    same.Disk("vdz", DevText(destination.st_dev), 1 << 20);
    same.Partition("vdz", "vdz1", DevText(source.st_rdev), 1, 2048, 1 << 19);
    world.Computer().SetBlockDeviceTree(same.Tree());
    auto disk = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
    disk->SetDevicePath(platform::Utf8ToUtf16(node));
    world.Computer().SetScannedVolume(disk);

    world.Settings().SetAutoRecover(1);
    world.Settings().SetKeepFolderStructure(1);
    COnRecoveryDlg dialog(&world.top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    auto* edit = controls::FindControlAs<QLineEdit>(&dialog, COnRecoveryDlg::IDC_DESTINATION);
    const QString typed = QString::fromStdString(world.dir / "on the source");
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    test::ClickControl(&dialog, COnRecoveryDlg::IDC_KEEP_FOLDER_STRUCTURE);
    test::ClickControl(&dialog, 1);
    QTest::qWait(50);
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(edit->text(), typed);
    QCOMPARE(world.top.startRecovery, 0);
    QCOMPARE(world.boxes.shown.size(), 1);
    QVERIFY(world.boxes.shown[0].text.startsWith(QStringLiteral("The distination folder is on the same drive")));
    QVERIFY(!std::filesystem::exists(world.dir / "on the source"));

    // The source now on another disk: the folder is made, the recovery asked for
    // once, and the wizard's AutoRecover left as it was.
    test::FakeBlockTree other;
    other.Disk("vdz", DevText(destination.st_dev), 1 << 20);
    other.Disk("sdq", "259:77", 1 << 20);
    other.Partition("sdq", "sdq1", DevText(source.st_rdev), 1, 2048, 1 << 19);
    world.Computer().SetBlockDeviceTree(other.Tree());
    const QString good = QString::fromStdString(world.dir / "good/place");
    edit->selectAll();
    QTest::keyClicks(edit, good);
    test::ClickControl(&dialog, 1);
    QTRY_COMPARE(world.top.startRecovery, 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 1);
    QVERIFY(std::filesystem::is_directory(world.dir / "good/place"));
    QCOMPARE(app::ToQString(world.Settings().DestinationFolder()), good);
    QCOMPARE(world.Settings().KeepFolderStructure(), 0);
    QCOMPARE(world.Settings().AutoRecover(), 1);
    QTest::qWait(50);
    QCOMPARE(world.top.startRecovery, 1);
    world.Computer().SetScannedVolume(nullptr);
  }

  void CancelPostsNothingAndKeepsTheSettings() {
    test::RecoveryWorld world;
    world.Settings().SetDestinationFolder(u"/kept/");
    COnRecoveryDlg dialog(&world.top);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    auto* edit = controls::FindControlAs<QLineEdit>(&dialog, COnRecoveryDlg::IDC_DESTINATION);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("/typed"));
    test::ClickControl(&dialog, 2);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(world.Settings().DestinationFolder(), u"/kept/");
    QTest::qWait(20);
    QCOMPARE(world.top.startRecovery, 0);
  }

  void LooksAsItShould() {
    test::RecoveryWorld world;
    const QPixmap header = controls::Bitmap(COnRecoveryDlg::kHeaderBitmap);
    QVERIFY(!header.isNull());
    QCOMPARE(header.size(), QSize(480, 60));
    world.Settings().SetDestinationFolder(u"/home/user/Recovered Files/");
    COnRecoveryDlg dialog(&world.top);
    auto* title = controls::FindControlAs<controls::CLabel>(&dialog, COnRecoveryDlg::IDC_TITLE);
    QVERIFY(title);
    QCOMPARE(title->Text(), QStringLiteral("Recover files"));
    QVERIFY(title->Transparent());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Recover"));
    for (int id : {1032, 1034, 1113, 1060, 1, 2, 9})
      QVERIFY2(controls::FindControl(&dialog, id), qPrintable(QString::number(id)));
    QVERIFY(!controls::FindControl(&dialog, 1185));
    QVERIFY(!test::SaveScreenshot(&dialog, QStringLiteral("dialogs"), QStringLiteral("recover_options_237")).isEmpty());
  }
};
VANDREL_QT_TEST(OnRecoveryDlgTest);

#include "OnRecoveryDlgTest.moc"
