// Partitions on the drive page: a whole-disk image with an MBR shows its
// partitions beneath it, and an unmounted partition of a disk (a fake sysfs, proc
// and dev tree whose device nodes are image files) is listed under its disk by its
// device node; either is chosen by a click and Next, and its file-system pass
// lists its named files, the deleted ones included.
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <fstream>

#include "support/FakeBlockTree.h"
#include "support/QtTestRegistry.h"
#include "tests/wizards/WizardModeTestSupport.h"
#include "wizards/WizardMode_Step5.h"

namespace {

// The files the fixture's file-system pass must list (empty files are not).
std::set<std::string> ExpectedNames(const std::string& fixture, int* deleted) {
  std::set<std::string> out;
  const nlohmann::json manifest = test::FixtureManifest(fixture);
  for (const auto& o : manifest["objects"]) {
    if (o["type"] != "file" || o["first_cluster"] == 0) continue;
    out.insert(test::FatListedName(o));
    if (o["state"] == "deleted") ++*deleted;
  }
  return out;
}

std::set<std::string> StoredNames(CVolume& v) {
  std::set<std::string> out;
  const FoundObjectStore::ReadView view = v.Store().Read();
  for (std::size_t i = 0; i < view.Count(); ++i) out.insert(platform::Utf16ToUtf8(std::u16string(view.At(i)->Name())));
  return out;
}

// The tree item whose shown name starts with `prefix`, anywhere below `parent`.
QModelIndex FindItem(CFilesTreeModel& model, const QModelIndex& parent, const QString& prefix) {
  if (model.canFetchMore(parent)) model.fetchMore(parent);
  for (int row = 0; row < model.rowCount(parent); ++row) {
    const QModelIndex child = model.index(row, 0, parent);
    if (child.data().toString().startsWith(prefix)) return child;
    if (QModelIndex deeper = FindItem(model, child, prefix); deeper.isValid()) return deeper;
  }
  return {};
}

// Clicks the item, Next, and the following pages up to the file-system pass, which
// runs to its end. The chosen volume.
std::shared_ptr<CVolume> ChooseAndScan(test::WizardModeWorld& w, const QModelIndex& item) {
  test::WizardModeWorld::ClickTreeItem(*w.sheet->Step1()->View(), item);
  if (!w.NextEnabled() || !w.ClickNext()) return nullptr;
  std::shared_ptr<CVolume> chosen = CWizardMode_Main::CurrentVolume();
  for (int page = 2; page < 5; ++page)
    if (!w.ClickNext()) return nullptr;
  if (w.Page() != 5 || !w.WaitForPassEnd()) return nullptr;
  return chosen;
}

}  // namespace

class WizardModePartitionsTest : public QObject {
  Q_OBJECT

 private slots:
  void APartitionInsideAWholeDiskImage() {
    test::WizardModeWorld w;
    std::vector<test::FixtureDiskPiece> pieces = {{"fat16", 0x06}, {"fat12", 0x01}};
    const std::string disk = w.out / "card.dsk";
    QVERIFY(test::MakeFixtureDisk(disk, pieces));
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage(disk));
    std::shared_ptr<CVolume> image = w.sheet->Step1()->SelectedDrive();
    QVERIFY(image);
    CFilesTreeModel& model = *w.sheet->Step1()->View()->Tree()->Model();
    const QModelIndex imageItem = model.IndexOfNode(image->DeviceNodeId());
    QVERIFY(imageItem.isValid());
    // Both partitions beneath the image, by their places on it.
    const QString second = QStringLiteral("Volume at: %1").arg(pieces[1].start * 512);
    QTRY_VERIFY(FindItem(model, imageItem, QStringLiteral("Volume at: %1").arg(pieces[0].start * 512)).isValid());
    const QModelIndex item = FindItem(model, imageItem, second);
    QVERIFY(item.isValid());
    QCOMPARE(model.parent(item), imageItem);

    std::shared_ptr<CVolume> chosen = ChooseAndScan(w, item);
    QVERIFY(chosen);
    QCOMPARE(chosen->GetParentVolume(), image);
    int deleted = 0;
    const std::set<std::string> expected = ExpectedNames("fat12", &deleted);
    QVERIFY(deleted > 0);
    const std::set<std::string> stored = StoredNames(*chosen);
    for (const std::string& name : expected) QVERIFY2(stored.count(name), name.c_str());
  }

  void AnUnmountedPartitionOfADisk() {
    // The fake tree outlives the program, whose drive list reads it to the end.
    test::FakeBlockTree tree;
    test::WizardModeWorld w;
    std::vector<test::FixtureDiskPiece> pieces = {{"fat12", 0x01}};
    const std::string disk = tree.dev("sdc");
    QVERIFY(test::MakeFixtureDisk(disk, pieces));
    std::ifstream in(disk, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tree.Disk("sdc", "8:32", bytes.size() / 512, true, "Card Reader");
    tree.Partition("sdc", "sdc1", "8:33", 1, std::uint64_t(pieces[0].start), std::uint64_t(pieces[0].sectors));
    std::ofstream(tree.dev("sdc1"), std::ios::binary)
        .write(bytes.data() + pieces[0].start * 512, std::streamsize(pieces[0].sectors * 512));
    QVERIFY(w.Start());
    g_Computer->Volumes().SetSources(tree.Tree());
    QVERIFY(w.ClickNext());
    // The rescan the page started may have read the machine's own tree: F5 reads the fake one.
    QTRY_VERIFY(!w.sheet->Step1()->View()->IsRescanning());
    QSignalSpy rebuilt(w.sheet->Step1()->View(), &CVolumeExploreView::driveTreeRefreshed);
    w.sheet->Step1()->View()->Tree()->setFocus();
    QTest::keyClick(w.sheet->Step1()->View()->Tree(), Qt::Key_F5);
    QVERIFY(w.sheet->Step1()->View()->IsRescanning());
    QTRY_VERIFY(rebuilt.count() > 0);
    CFilesTreeModel& model = *w.sheet->Step1()->View()->Tree()->Model();
    const QModelIndex item =
        FindItem(model, w.sheet->Step1()->View()->Tree()->MyComputerItem(), QString::fromStdString(tree.dev("sdc1")));
    QVERIFY(item.isValid());
    // Beneath its disk.
    std::shared_ptr<CVolume> diskVolume = model.VolumeOfItem(model.parent(item));
    QVERIFY(diskVolume);
    QCOMPARE(platform::Utf16ToUtf8(diskVolume->Info().devicePath), disk);

    std::shared_ptr<CVolume> chosen = ChooseAndScan(w, item);
    QVERIFY(chosen);
    QCOMPARE(chosen->GetKind(), CVolume::kLogicalDrive);
    int deleted = 0;
    const std::set<std::string> expected = ExpectedNames("fat12", &deleted);
    const std::set<std::string> stored = StoredNames(*chosen);
    for (const std::string& name : expected) QVERIFY2(stored.count(name), name.c_str());
  }

  // A partition the sector pass finds joins the drive page's tree as it is found,
  // whichever page shows.
  void AFoundPartitionJoinsTheDrivePageAtOnce() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage("fat16.img"));
    std::shared_ptr<CVolume> image = w.sheet->Step1()->SelectedDrive();
    QVERIFY(image);
    QVERIFY(w.ClickNext());
    QCOMPARE(w.Page(), 2);
    FoundObject partition;
    partition.parentId = image->DeviceNodeId();
    partition.offset = 64 * 512;
    partition.size = 1024 * 512;
    partition.typeId = 0x06;
    std::shared_ptr<CVolume> found = g_Computer->AddPartitionVolume(partition);
    QVERIFY(found);
    CFilesTreeModel& model = *w.sheet->Step1()->View()->Tree()->Model();
    QTRY_VERIFY(model.IndexOfNode(found->DeviceNodeId()).isValid());
    QCOMPARE(model.parent(model.IndexOfNode(found->DeviceNodeId())), model.IndexOfNode(image->DeviceNodeId()));
  }
};

VANDREL_QT_TEST(WizardModePartitionsTest);
#include "WizardModePartitionsTest.moc"
