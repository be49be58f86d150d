// The found-object tree: the device nodes and a rebuild that keeps ids and what
// was open, lazy folders in name order through the filter, collapse, the check
// marks' own rules, the lost roots and modes, and folders queued while an analysis
// adds them.
#include <QSignalSpy>
#include <QTest>

#include "ExplorerTestSupport.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/icons/FoundObjectImages.h"
#include "support/QtTestRegistry.h"

using test::ExplorerWorld;

namespace {

QStringList ChildNames(const CFilesTreeModel& model, const QModelIndex& parent) {
  QStringList out;
  for (int row = 0; row < model.rowCount(parent); ++row) out << model.index(row, 0, parent).data().toString();
  return out;
}

// A tree over an analysed image whose store holds: . (root 0) > A > B > C > {c1,
// c2}; . > b, c; files beside them.
struct Scene {
  ExplorerWorld world;
  std::shared_ptr<CVolume> image = world.AddVolume();
  FoundObject* a = ExplorerWorld::Folder(*image, 10, 0, u"A");
  FoundObject* b = ExplorerWorld::Folder(*image, 11, 10, u"B");
  FoundObject* c = ExplorerWorld::Folder(*image, 12, 11, u"C");
  FoundObject* c1 = ExplorerWorld::Folder(*image, 13, 12, u"c1");
  FoundObject* c2 = ExplorerWorld::Folder(*image, 14, 12, u"c2");
  FoundObject* lowB = ExplorerWorld::Folder(*image, 15, 0, u"b", OBJ_DELETED | OBJ_DELETED_PATH);
  FoundObject* lowC = ExplorerWorld::Folder(*image, 16, 0, u"c");
  CFilesTreeView tree;

  Scene() {
    for (int i = 0; i < 20; ++i) ExplorerWorld::Add(*image, 100 + i, 0, u"file.txt");
    tree.resize(300, 500);
    tree.Refresh();
  }
  CFilesTreeModel& Model() { return *tree.Model(); }
  QModelIndex Node() { return Model().IndexOfNode(image->DeviceNodeId()); }
  QModelIndex Root() { return Model().index(0, 0, Node()); }
  QModelIndex Item(const FoundObject* r) { return Model().IndexOfHandle(image->Store().HandleOf(r)); }
  // Opens the chain down to C.
  void OpenToC() {
    tree.ExpandItem(Root());
    tree.ExpandItem(Item(a));
    tree.ExpandItem(Item(b));
    tree.ExpandItem(Item(c));
  }
};

}  // namespace

class FilesTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void FullTreeListsTheDevicesUnderMyComputer() {
    ExplorerWorld world;
    auto disk = world.AddVolume(CVolume::kPhysicalDrive, false, 0, u"/dev/sdz");
    auto mounted = world.AddVolume(CVolume::kLogicalDrive, false, 0, u"/dev/sdz1");
    mounted->SetParentVolume(disk);
    auto stray = world.AddVolume(CVolume::kLogicalDrive, false, 0, u"/dev/nowhere");  // device number unknown
    auto image = world.AddVolume(CVolume::kImageFile, true);
    auto found = world.AddVolume(CVolume::kFoundPartition, false);
    found->SetParentVolume(image);
    auto orphan = world.AddVolume(CVolume::kFoundPartition, false);  // no parent volume: skipped
    CFilesTreeView tree;
    tree.Refresh();
    CFilesTreeModel& m = *tree.Model();
    QCOMPARE(m.rowCount(), 1);  // no Recycle Bin node (its placement is -1)
    const QModelIndex computer = tree.MyComputerItem();
    QCOMPARE(m.NodeIdOf(computer), std::int32_t(kIdMyComputer));
    QCOMPARE(computer.data(CFilesTreeModel::ImageRole).toInt(), 12);
    QVERIFY(tree.isExpanded(computer));
    QCOMPARE(tree.currentIndex(), QModelIndex(computer));
    QCOMPARE(m.parent(m.IndexOfNode(disk->DeviceNodeId())), QModelIndex(computer));
    QCOMPARE(m.parent(m.IndexOfNode(mounted->DeviceNodeId())), m.IndexOfNode(disk->DeviceNodeId()));
    QCOMPARE(m.parent(m.IndexOfNode(stray->DeviceNodeId())), QModelIndex(computer));
    QCOMPARE(m.parent(m.IndexOfNode(image->DeviceNodeId())), QModelIndex(computer));
    QCOMPARE(m.parent(m.IndexOfNode(found->DeviceNodeId())), m.IndexOfNode(image->DeviceNodeId()));
    QVERIFY(!m.IndexOfNode(orphan->DeviceNodeId()).isValid());
    QCOMPARE(m.IndexOfNode(disk->DeviceNodeId()).data(CFilesTreeModel::ImageRole).toInt(), 14);
    QCOMPARE(m.IndexOfNode(disk->DeviceNodeId()).data().toString(), QStringLiteral("Test drive"));
    QCOMPARE(m.IndexOfNode(mounted->DeviceNodeId()).data(CFilesTreeModel::ImageRole).toInt(), 15);
    QCOMPARE(m.IndexOfNode(image->DeviceNodeId()).data(CFilesTreeModel::ImageRole).toInt(), 17);
    QCOMPARE(m.IndexOfNode(found->DeviceNodeId()).data(CFilesTreeModel::ImageRole).toInt(), 16);
    QCOMPARE(m.IndexOfNode(image->DeviceNodeId()).data().toString(), QStringLiteral("test.dsk"));
    // The image's root folder hangs from its node.
    QCOMPARE(ChildNames(m, m.IndexOfNode(image->DeviceNodeId())).last(), QStringLiteral("."));
  }

  void FoldersAreFetchedInNameOrderWithoutFiles() {
    Scene s;
    CFilesTreeModel& m = s.Model();
    QVERIFY(m.hasChildren(s.Root()));
    QVERIFY(!m.IsFetched(s.Root()));
    QCOMPARE(m.rowCount(s.Root()), 0);
    s.tree.ExpandItem(s.Root());
    QCOMPARE(ChildNames(m, s.Root()), (QStringList{"A", "b", "c"}));
    QCOMPARE(s.Root().data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kFolderOpen));
    QCOMPARE(s.Item(s.lowB).data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedFolder));
    QVERIFY(!m.hasChildren(s.Item(s.lowC)));  // only files below it
    QVERIFY(m.hasChildren(s.Item(s.a)));
    s.tree.ExpandItem(s.Item(s.a));
    QCOMPARE(s.Item(s.a).data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kFolder) + 1);
    // A collapse lets the folders go; the next expansion fetches them again.
    QSignalSpy collapsed(&s.tree, &CFilesTreeView::itemCollapsed);
    s.tree.collapse(s.Item(s.a));
    QCOMPARE(collapsed.size(), 1);
    QCOMPARE(m.rowCount(s.Item(s.a)), 0);
    QVERIFY(!s.Item(s.b).isValid());
    QCOMPARE(s.Item(s.a).data(CFilesTreeModel::ImageRole).toInt(), int(CFoundObjectImages::kFolder));
    s.tree.ExpandItem(s.Item(s.a));
    QCOMPARE(ChildNames(m, s.Item(s.a)), (QStringList{"B"}));
  }

  void TheFilterHidesFolders() {
    Scene s;
    s.world.computer->Filter().SetDeletedOnly(1);
    s.tree.ExpandItem(s.Root());
    QCOMPARE(ChildNames(s.Model(), s.Root()), (QStringList{"b"}));
  }

  void MyComputerStaysOpen() {
    Scene s;
    s.tree.collapse(s.tree.MyComputerItem());
    QTRY_VERIFY(s.tree.isExpanded(s.tree.MyComputerItem()));
  }

  // A rescan rebuilds the tree with the drive list's ids: the analysed volume's
  // root still hangs from its node, and what was open and selected is again.
  void ARescanKeepsIdsAndExpandedFolders() {
    Scene s;
    s.OpenToC();
    s.tree.SelectItem(s.Item(s.b));
    const std::int32_t nodeId = s.image->DeviceNodeId();
    const std::int32_t nextBefore = s.world.computer->NewObjectId();
    s.tree.Refresh();
    s.tree.Refresh();
    QCOMPARE(s.world.computer->NewObjectId(), nextBefore - 1);  // the rebuilds took no ids
    QCOMPARE(s.Node(), s.Model().IndexOfNode(nodeId));
    for (const FoundObject* r : {s.a, s.b, s.c}) QVERIFY(s.tree.isExpanded(s.Item(r)));
    QCOMPARE(ChildNames(s.Model(), s.Item(s.c)), (QStringList{"c1", "c2"}));
    QCOMPARE(s.tree.currentIndex(), s.Item(s.b));
    // My Computer was registered in the analysed store once, however many rebuilds.
    int registered = 0;
    const FoundObjectStore::ReadView view = s.image->Store().Read();
    std::int64_t cookie = -1;
    while (const FoundObject* r = view.FindById(kIdMyComputer, cookie)) registered += r->IsDevice();
    QCOMPARE(registered, 1);
  }

  void CheckingAnItemMarksItsChildrenAndCountsItsAncestors() {
    Scene s;
    s.OpenToC();
    CFilesTreeModel& m = s.Model();
    // Items start with an empty box (folders) or none (devices).
    QCOMPARE(m.StateImage(s.Item(s.b)), 1);
    QCOMPARE(m.StateImage(s.Node()), 0);
    m.ToggleCheck(s.Item(s.b));
    QCOMPARE(m.StateImage(s.Item(s.b)), 2);
    QVERIFY(s.b->flags.Any(OBJ_CHECKED));
    QCOMPARE(m.StateImage(s.Item(s.c)), 2);  // a direct child
    QVERIFY(s.c->flags.Any(OBJ_CHECKED));
    QCOMPARE(m.StateImage(s.Item(s.c1)), 1);  // not a direct child
    for (const QModelIndex& i : {s.Item(s.a), s.Root(), s.Node(), QModelIndex(s.tree.MyComputerItem())}) {
      QCOMPARE(m.StateImage(i), 3);
      QCOMPARE(m.CheckedCount(i), 1);
    }
    // The marks are kept, never shown as a check box.
    for (const QModelIndex& i : {s.Item(s.b), s.Item(s.a), s.Item(s.c1), s.Node()}) {
      QVERIFY(!i.data(Qt::CheckStateRole).isValid());
      QVERIFY(!(m.flags(i) & Qt::ItemIsUserCheckable));
    }

    // Unchecking C, whose parent B is checked: B loses its mark, the ancestors
    // above B lose one, and each adds the number of B's children still checked (0).
    m.ToggleCheck(s.Item(s.c));
    QCOMPARE(m.StateImage(s.Item(s.c)), 1);
    QVERIFY(!s.c->flags.Any(OBJ_CHECKED));
    QVERIFY(!s.b->flags.Any(OBJ_CHECKED));
    QCOMPARE(m.StateImage(s.Item(s.b)), 1);
    for (const QModelIndex& i : {s.Item(s.b), s.Item(s.a), s.Root(), s.Node()}) {
      QCOMPARE(m.CheckedCount(i), 0);
      QCOMPARE(m.StateImage(i), 1);
    }
  }

  // Unchecking an item whose parent is not checked lowers every ancestor's count
  // by one; an ancestor that reaches 0 shows the empty box, one above 0 keeps 3.
  void UncheckingUnderAnUncheckedParentLowersEveryAncestor() {
    Scene s;
    s.OpenToC();
    CFilesTreeModel& m = s.Model();
    m.ToggleCheck(s.Item(s.c1));
    m.ToggleCheck(s.Item(s.c2));
    QCOMPARE(m.CheckedCount(s.Item(s.c)), 2);
    QCOMPARE(m.CheckedCount(s.Node()), 2);
    m.ToggleCheck(s.Item(s.c1));
    for (const QModelIndex& i : {s.Item(s.c), s.Item(s.b), s.Item(s.a), s.Root(), s.Node()}) {
      QCOMPARE(m.CheckedCount(i), 1);
      QCOMPARE(m.StateImage(i), 3);
    }
    m.ToggleCheck(s.Item(s.c2));
    for (const QModelIndex& i : {s.Item(s.c), s.Item(s.b), s.Item(s.a), s.Root(), s.Node()}) {
      QCOMPARE(m.CheckedCount(i), 0);
      QCOMPARE(m.StateImage(i), 1);
    }
    // A count below 0 (never reached by toggles) is raised to 0 first.
    s.image->Store().SetCheckedCount(s.c, -5);
    m.ToggleCheck(s.Item(s.c1));
    QCOMPARE(m.CheckedCount(s.Item(s.c)), -4);
    m.ToggleCheck(s.Item(s.c1));
    QCOMPARE(m.CheckedCount(s.Item(s.c)), 0);
  }

  void AClickOnAnItemTogglesNoMark() {
    Scene s;
    s.tree.show();
    s.OpenToC();
    const QModelIndex item = s.Item(s.b);
    s.tree.scrollTo(item);
    // No box to click: a click at the item's left edge, where a box would be, and
    // an attempt to set a check state change no mark.
    const QRect rect = s.tree.visualRect(item);
    QTest::mouseClick(s.tree.viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 4, rect.center().y()));
    QCOMPARE(s.Model().StateImage(item), 1);
    QVERIFY(!s.Model().setData(item, Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(s.Model().StateImage(item), 1);
    // A marked folder shown again shows its mark.
    s.Model().ToggleCheck(s.Item(s.c));
    s.tree.collapse(s.Item(s.b));
    s.tree.ExpandItem(s.Item(s.b));
    QCOMPARE(s.Model().StateImage(s.Item(s.c)), 2);
  }

  void FoldersQueuedWhileAnalysingComeInOneInsertion() {
    Scene s;
    s.tree.ExpandItem(s.Root());
    QSignalSpy inserted(&s.Model(), &QAbstractItemModel::rowsInserted);
    std::vector<FoundObject*> fresh;
    for (int i = 0; i < 100; ++i)
      fresh.push_back(ExplorerWorld::Folder(*s.image, 1000 + i, 0, u"n" + platform::Utf8ToUtf16(std::to_string(99 - i))));
    for (FoundObject* r : fresh) s.tree.InsertFolderItem(s.Root(), s.image->Store().HandleOf(r));
    s.tree.InsertFolderItem(s.Root(), s.image->Store().HandleOf(s.a));  // shown already
    QCOMPARE(inserted.size(), 0);
    QTRY_COMPARE(inserted.size(), 1);
    const QStringList names = ChildNames(s.Model(), s.Root());
    QCOMPARE(names.size(), 103);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& x, const QString& y) {
      return QString::compare(x, y, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(names, sorted);
  }

  void LostRootsAndModes() {
    Scene s;
    CFilesTreeModel& m = s.Model();
    // No lost folder yet: the record is made, but no item.
    s.tree.EnsureLostFoldersRoot();
    QVERIFY(s.image->Store().FindFolderById(kIdLostFolders));
    QVERIFY(!s.tree.LostFoldersItem().isValid());
    // Made again for a store that holds lost folders: an item under the node.
    FoundObject* lostRecord = s.image->Store().FindFolderById(kIdLostFolders);
    ExplorerWorld::Folder(*s.image, 77, kIdLostFolders, u"lost_folder_77", OBJ_DELETED | OBJ_DELETED_PATH);
    s.tree.Refresh();
    CFilesTreeView other;
    other.Refresh();
    other.EnsureLostFoldersRoot();
    QVERIFY(other.LostFoldersItem().isValid());
    QCOMPARE(other.Model()->HandleOf(other.LostFoldersItem()), s.image->Store().HandleOf(lostRecord));
    QCOMPARE(other.Model()->parent(other.LostFoldersItem()), other.AnalysedVolumeItem());
    QCOMPARE(other.LostFoldersItem().data().toString(), QStringLiteral("Lost folders"));
    QCOMPARE(other.LostFoldersItem().data(CFilesTreeModel::ImageRole).toInt(), 8);
    // Lost files: made, selected and expanded under the node.
    s.tree.EnsureLostFilesRoot();
    QVERIFY(s.tree.LostFilesItem().isValid());
    QCOMPARE(s.tree.LostFilesItem().data().toString(), QStringLiteral("Lost files"));
    QCOMPARE(s.tree.currentIndex(), QModelIndex(s.tree.LostFilesItem()));
    QCOMPARE(m.parent(s.tree.LostFilesItem()), s.Node());
    // Lost-files mode: the root of the tree, selected.
    s.tree.SetLostFilesMode(1);
    QCOMPARE(m.rowCount(), 1);
    QCOMPARE(m.index(0, 0).data().toString(), QStringLiteral("Lost files"));
    QCOMPARE(s.tree.currentIndex(), m.index(0, 0));
    // Volume mode: the analysed volume's node, its root open.
    s.tree.SetVolumeMode(1);
    QCOMPARE(m.rowCount(), 1);
    QCOMPARE(m.NodeIdOf(m.index(0, 0)), s.image->DeviceNodeId());
    QCOMPARE(m.index(0, 0).data(CFilesTreeModel::ImageRole).toInt(), 15);
    QVERIFY(s.tree.isExpanded(m.index(0, 0, m.index(0, 0))));
    QCOMPARE(ChildNames(m, m.index(0, 0, m.index(0, 0))), (QStringList{"A", "b", "c"}));
  }

  void EnsureRootFolderMakesOneWhenMissing() {
    ExplorerWorld world;
    auto v = world.AddVolume(CVolume::kImageFile, true, 2);
    world.AddVolume(CVolume::kImageFile, false);
    v->Store().Clear();  // an analysis starts: no root yet
    v->Store().SetRootFolderId(5);
    CFilesTreeView tree;
    tree.Refresh();
    tree.EnsureRootFolder();
    const FoundObject* root = v->Store().FindFolderById(5);
    QVERIFY(root);
    QCOMPARE(root->Name(), std::u16string_view(u"."));
    QCOMPARE(root->parentId, v->DeviceNodeId());
    QVERIFY(tree.Model()->hasChildren(tree.AnalysedVolumeItem()));
  }

  void AVolumeAddedComesFirstUnderItsParent() {
    Scene s;
    auto partition = s.world.AddVolume(CVolume::kFoundPartition, false);
    partition->SetParentVolume(s.image);
    s.tree.AddVolumeNode(partition);
    const QModelIndex item = s.Model().IndexOfNode(partition->DeviceNodeId());
    QVERIFY(item.isValid());
    QCOMPARE(item.row(), 0);
    QCOMPARE(s.Model().parent(item), s.Node());
    QCOMPARE(item.data(CFilesTreeModel::ImageRole).toInt(), 16);
  }

  void StaleFoldersArePrunedAfterTheStoreIsCleared() {
    Scene s;
    s.OpenToC();
    QVERIFY(s.Item(s.c).isValid());
    s.image->Store().Clear();
    QVERIFY(s.Model().PruneStale() > 0);
    QCOMPARE(s.Model().rowCount(s.Node()), 0);
  }

  void KeysAndFocusAreToldToTheExplorer() {
    Scene s;
    s.tree.show();
    QSignalSpy keys(&s.tree, &CFilesTreeView::treeKey);
    s.tree.SelectItem(s.Root());
    QTest::keyClick(&s.tree, Qt::Key_Return);
    QTest::keyClick(&s.tree, Qt::Key_Backspace);
    QCOMPARE(keys.size(), 2);
    QCOMPARE(keys[0][0].toInt(), 13);
    QCOMPARE(keys[1][0].toInt(), 8);
  }
};

VANDREL_QT_TEST(FilesTreeTest);
#include "FilesTreeTest.moc"
