// The recovery end to end through the real engine, the real dialogs and clicks:
// the fat16 fixture analysed, two deleted files and a deleted folder selected in
// the root folder's list, Recover... -> OK -> progress -> the files byte-exact in
// the destination, with and without "Keep folder structure"; a carved object of
// unknown size from the lost-files fixture whose size the recovery thread asks
// for, answered by clicks in the real dialog; Abort in mid-job on a slow volume.
#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <set>

#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/ProbableFileSizeDlg.h"
#include "dialogs/RecoveryCommands.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
#include "tests/dialogs/RecoveryWorld.h"

using nlohmann::json;

namespace {

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

std::string ShaOfFile(const std::string& path) {
  const std::vector<std::uint8_t> data = ReadWhole(path);
  return test::Sha256(data.data(), data.size());
}

// Every regular file below a folder, relative to it.
std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.insert(e.path().lexically_relative(root).string());
  return out;
}

// The record of the root folder's child named `name`.
FoundObject* ChildOfRoot(CVolume& volume, std::u16string_view name) {
  const auto view = volume.Store().Read();
  std::vector<FoundObject*> children;
  view.CollectChildren(view.RootFolderId(), children);
  for (FoundObject* o : children)
    if (o->Name() == name) return o;
  return nullptr;
}

// What the explorer collects for items selected in a list: each folder's files
// (depth-first, in store order) and then the folder itself; a file as it is.
void CollectFolderContents(CVolume& volume, const FoundObject& folder, CRecoveryCommands::Selection& out,
                           const std::shared_ptr<CVolume>& shared) {
  std::vector<FoundObject*> children;
  volume.Store().CollectChildren(folder.id, children);
  for (FoundObject* c : children) {
    if (c->IsFolder())
      CollectFolderContents(volume, *c, out, shared);
    else
      out.push_back({shared, c});
  }
}
CRecoveryCommands::Selection CollectListItems(const std::shared_ptr<CVolume>& volume,
                                              const std::vector<FoundObject*>& items) {
  CRecoveryCommands::Selection out;
  for (FoundObject* item : items) {
    if (item->IsFolder()) CollectFolderContents(*volume, *item, out, volume);
    out.push_back({volume, item});
  }
  return out;
}

}  // namespace

class RecoveryEndToEndTest : public QObject {
  Q_OBJECT

  // Recover... -> (the check box clicked when `toggleKeep`) OK -> the explorer's
  // start -> the progress dialog, followed to its end and closed with OK.
  void RecoverByClicks(test::RecoveryWorld& world, const CRecoveryCommands::Selection& selection, bool toggleKeep,
                       const std::function<void(CProbableFileSizeDlg*)>& sizeAnswer = {}) {
    int progressResult = -100;
    world.top.onStartRecovery = [&] {
      // The size question may come before the progress dialog is seen.
      if (sizeAnswer) test::WhenModal<CProbableFileSizeDlg>(sizeAnswer, std::chrono::milliseconds(60000));
      test::WhenModal<CRecoveryProgressDlg>([&](CRecoveryProgressDlg* progress) {
        auto* timer = new QTimer(progress);
        QObject::connect(timer, &QTimer::timeout, progress, [progress, timer] {
          if (!progress->IsEnded()) return;
          timer->stop();
          test::ClickControl(progress, 1);
        });
        timer->start(20);
      });
      progressResult = CRecoveryCommands::StartRecovery(&world.top, selection);
    };
    test::WhenModal<COnRecoveryDlg>([&](COnRecoveryDlg* options) {
      if (toggleKeep) test::ClickControl(options, COnRecoveryDlg::IDC_KEEP_FOLDER_STRUCTURE);
      test::ClickControl(options, 1);
    });
    QCOMPARE(CRecoveryCommands::OnRecover(&world.top), 1);
    QTRY_COMPARE_WITH_TIMEOUT(progressResult, 1, 60000);
    QCOMPARE(world.top.startRecovery, 1);
    world.top.startRecovery = 0;
    world.top.onStartRecovery = nullptr;
    QVERIFY(!RecoveryJob().IsThreadAlive());
  }

 private slots:
  void DeletedFilesAndAFolderComeBackByteExactWithAndWithoutTheirPaths() {
    test::RecoveryWorld world;
    const json manifest = test::FixtureManifest("fat16");
    auto volume = world.Analyse(test::FixtureImage("fat16.img"), false);
    QVERIFY(volume);
    FoundObject* deletedFile = ChildOfRoot(*volume, u"deleted file.txt");
    FoundObject* deletedJpeg = ChildOfRoot(*volume, u"_ELETED.JPG");
    FoundObject* deletedFolder = ChildOfRoot(*volume, u"Old Projects");
    QVERIFY(deletedFile && deletedJpeg && deletedFolder);
    QVERIFY(deletedFile->flags.Any(OBJ_DELETED) && deletedJpeg->flags.Any(OBJ_DELETED) &&
            deletedFolder->flags.Any(OBJ_DELETED));
    const auto selection = CollectListItems(volume, {deletedFile, deletedJpeg, deletedFolder});
    QCOMPARE(selection.size(), std::size_t(6));

    const std::string destination = world.dir / "Recovered Files";
    std::map<std::string, std::string> sha;  // manifest path -> content
    for (const json& o : manifest["objects"])
      if (o["type"] == "file") sha[o["path"].get<std::string>()] = o["sha256"].get<std::string>();

    // Keep folder structure (the default): the paths recreated.
    QCOMPARE(world.Settings().KeepFolderStructure(), 1);
    RecoverByClicks(world, selection, false);
    const std::map<std::string, std::string> kept = {
        {"deleted file.txt", "/deleted file.txt"},
        {"_ELETED.JPG", "/DELETED.JPG"},
        {"Old Projects/Project plan.txt", "/Old Projects/Project plan.txt"},
        {"Old Projects/_ATA.BIN", "/Old Projects/DATA.BIN"},
        {"Old Projects/Sub Folder/inner file.txt", "/Old Projects/Sub Folder/inner file.txt"},
    };
    std::set<std::string> expected;
    for (const auto& [file, path] : kept) {
      expected.insert(file);
      QVERIFY2(ShaOfFile(destination + "/" + file) == sha.at(path), file.c_str());
    }
    QCOMPARE(FilesBelow(destination), expected);
    QCOMPARE(RecoveryJob().SuccessCount(), 5);

    // Without: every file straight into the same destination, a name already
    // there numbered, nothing overwritten.
    RecoverByClicks(world, selection, true);
    QCOMPARE(world.Settings().KeepFolderStructure(), 0);
    const std::map<std::string, std::string> flat = {
        {"deleted file (2).txt", "/deleted file.txt"},
        {"_ELETED (2).JPG", "/DELETED.JPG"},
        {"Project plan.txt", "/Old Projects/Project plan.txt"},
        {"_ATA.BIN", "/Old Projects/DATA.BIN"},
        {"inner file.txt", "/Old Projects/Sub Folder/inner file.txt"},
    };
    for (const auto& [file, path] : flat) {
      expected.insert(file);
      QVERIFY2(ShaOfFile(destination + "/" + file) == sha.at(path), file.c_str());
    }
    QCOMPARE(FilesBelow(destination), expected);
    for (const auto& [file, path] : kept) QVERIFY2(ShaOfFile(destination + "/" + file) == sha.at(path), file.c_str());
    QCOMPARE(RecoveryJob().SuccessCount(), 5);
    QCOMPARE(world.LoggedCount(u"Recovery completed."), 2);
  }

  void ACarvedFileOfUnknownSizeIsAskedForAndTakesTheSizeClickedIn() {
    test::RecoveryWorld world;
    auto volume = world.Analyse(test::FixtureImage("lost.img"), true);
    QVERIFY(volume);
    FoundObject* carved = volume->Store().FindByOffset(53248);
    QVERIFY(carved);
    QVERIFY(carved->flags.Any(OBJ_CARVED));
    QCOMPARE(int(carved->typeId), 83);
    volume->Store().SetSize(carved, -1);  // as "Reset Size" leaves it

    bool asked = false;
    RecoverByClicks(world, {{volume, carved}}, false, [&](CProbableFileSizeDlg* size) {
      asked = true;
      QVERIFY(!test::SaveScreenshot(size, QStringLiteral("dialogs"), QStringLiteral("probable_size_106_carved"))
                   .isEmpty());
      test::ClickControl(size, CProbableFileSizeDlg::IDC_MODE_CUSTOM);
      auto* edit = controls::FindControlAs<QLineEdit>(size, CProbableFileSizeDlg::IDC_SIZE_VALUE);
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, QStringLiteral("8"));
      auto* unit = controls::FindControlAs<QComboBox>(size, CProbableFileSizeDlg::IDC_UNIT);
      QCOMPARE(unit->currentText(), QStringLiteral(" B "));
      unit->setFocus();
      QTest::keyClick(unit, Qt::Key_Down);
      QCOMPARE(unit->currentText(), QStringLiteral(" KB"));
      test::ClickControl(size, 1);
    });
    QVERIFY(asked);
    const std::string name = platform::Utf16ToUtf8(carved->Name());
    std::string file;
    for (const std::string& f : FilesBelow(world.dir / "Recovered Files"))
      if (std::filesystem::path(f).filename() == name) file = world.dir / ("Recovered Files/" + f);
    QVERIFY2(!file.empty(), name.c_str());
    const std::vector<std::uint8_t> got = ReadWhole(file);
    QCOMPARE(got.size(), std::size_t(8192));
    const std::vector<std::uint8_t> image = ReadWhole(test::FixtureImage("lost.img"));
    QVERIFY(std::equal(got.begin(), got.end(), image.begin() + 53248));
    QCOMPARE(carved->size, qint64(8192));
  }

  void AbortInMidJobOnASlowVolumeStopsAndLeavesNoThread() {
    test::RecoveryWorld world;
    std::vector<std::uint8_t> data(1 << 20, 0x5A);
    auto volume = world.MemoryVolume(data, std::chrono::milliseconds(60));
    CRecoveryCommands::Selection selection;
    for (int i = 0; i < 12; ++i) {
      const std::u16string name = platform::Utf8ToUtf16("part" + std::to_string(i) + ".bin");
      selection.push_back({volume, world.Add(*volume, 10 + i, name, 4096 + i * 65536, 60000)});
    }
    world.Settings().SetConfirmRecoveryAbort(0);
    test::WhenModal<CRecoveryProgressDlg>([&](CRecoveryProgressDlg* progress) {
      auto* timer = new QTimer(progress);
      QObject::connect(timer, &QTimer::timeout, progress, [progress, timer] {
        if (RecoveryJob().CurrentIndex() < 2) return;
        timer->stop();
        test::ClickControl(progress, 2);
      });
      timer->start(10);
    });
    QCOMPARE(CRecoveryCommands::StartRecovery(&world.top, selection), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!RecoveryJob().IsThreadAlive(), 20000);
    QVERIFY(world.Logged(u"Recovery aborted."));
    QVERIFY(RecoveryJob().SuccessCount() >= 2);
    QVERIFY(RecoveryJob().SuccessCount() < 12);
    QCOMPARE(world.App().Progress().recoveryRunning.load(), 0);
  }
};
VANDREL_QT_TEST(RecoveryEndToEndTest);

#include "RecoveryEndToEndTest.moc"
