// The explorer view: the numbered views, selections into the list, the store's
// messages against a store the test fills, the keys, the collection the file
// commands act on, Set New Size and Reset Size, and the recovery's start.
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include "engine/records/Messages.h"
#include "engine/records/ProgramLog.h"
#include "mainframe/explorer/ExplorerTestSupport.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "mainframe/icons/FoundObjectImages.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/Recovery.h"
#include "search/RecoveryJobs.h"
#include "support/QtTestRegistry.h"
#include "support/ShownWindows.h"

using test::ExplorerWorld;

namespace {

QStringList ListNames(CFilesListView& list) {
  list.SetItemCount();
  QStringList out;
  for (int row = 0; row < list.Model()->rowCount(); ++row) out << list.Model()->index(row, 0).data().toString();
  return out;
}

QStringList Names(const std::vector<FoundObject*>& objects) {
  QStringList out;
  for (const FoundObject* r : objects) out << QString::fromStdU16String(std::u16string(r->Name()));
  return out;
}

// Counts the times a widget is shown.
class ShowCounter : public QObject {
 public:
  int shows = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) ++shows;
    return false;
  }
};

// An analysed image whose store holds, in this order: . (0) > Photos (10) >
// {a.jpg, Trip (11) > c.jpg, b.jpg}, Docs (12) > d.txt, top.txt.
struct Scene {
  ExplorerWorld world;
  std::shared_ptr<CVolume> image = world.AddVolume();
  FoundObject* photos = ExplorerWorld::Folder(*image, 10, 0, u"Photos", OBJ_DELETED);
  FoundObject* a = ExplorerWorld::Add(*image, 100, 10, u"a.jpg", OBJ_DELETED, 1000);
  FoundObject* trip = ExplorerWorld::Folder(*image, 11, 10, u"Trip");
  FoundObject* b = ExplorerWorld::Add(*image, 101, 10, u"b.jpg", 0, 2000);
  FoundObject* c = ExplorerWorld::Add(*image, 102, 11, u"c.jpg", 0, 3000);
  FoundObject* docs = ExplorerWorld::Folder(*image, 12, 0, u"Docs");
  FoundObject* d = ExplorerWorld::Add(*image, 103, 12, u"d.txt", 0, 40);
  FoundObject* top = ExplorerWorld::Add(*image, 104, 0, u"top.txt", 0, 50);
  CVolumeExploreView explorer;

  Scene() {
    explorer.resize(800, 500);
    explorer.show();
    explorer.RefreshTree();
    // As in the middle of an analysis: its first objects have come.
    CFilesTreeView& tree = *explorer.Tree();
    tree.rootPending = tree.firstFolderPending = tree.lostFilesPending = false;
  }
  std::int64_t H(const FoundObject* r) { return image->Store().HandleOf(r); }
  QModelIndex Item(const FoundObject* r) { return explorer.Tree()->Model()->IndexOfHandle(H(r)); }
  QModelIndex Node() { return explorer.Tree()->AnalysedVolumeItem(); }
  QModelIndex Root() { return explorer.Tree()->Model()->index(0, 0, Node()); }
  void OpenRoot() {
    explorer.Tree()->ExpandItem(Node());
    explorer.Tree()->ExpandItem(Root());
  }
  void SelectInTree(const QModelIndex& i) { explorer.Tree()->SelectItem(i); }
  // Selects rows of the list by their names and makes the list the active control.
  void SelectInList(const QStringList& names) {
    CFilesListView& list = *explorer.List();
    list.SetItemCount();
    list.clearSelection();
    for (int row = 0; row < list.Model()->rowCount(); ++row)
      if (names.contains(list.Model()->index(row, 0).data().toString()))
        list.selectionModel()->select(list.Model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    explorer.OnViewFocused(&list);
  }
};

}  // namespace

class VolumeExploreViewTest : public QObject {
  Q_OBJECT

 private slots:
  void SetViewShowsTheTableAndKeepsThePrevious() {
    ExplorerWorld world;
    CVolumeExploreView explorer;
    explorer.show();
    QCOMPARE(explorer.CurrentView(), 0);
    QCOMPARE(explorer.widget(0), static_cast<QWidget*>(explorer.Tree()));
    QCOMPARE(explorer.widget(1), static_cast<QWidget*>(explorer.List()));
    explorer.SetView(0);  // no previous view yet
    explorer.SetView(9, true);
    QCOMPARE(explorer.CurrentView(), 0);
    explorer.SetView(8);
    QCOMPARE(explorer.CurrentView(), 8);
    QCOMPARE(explorer.widget(1), explorer.RightPaneOf(8));
    QVERIFY(explorer.RightPaneOf(8)->isVisible());
    QVERIFY(!explorer.List()->isVisible());
    explorer.SetView(3);
    QCOMPARE(explorer.widget(0), explorer.LeftPaneOf(3));
    QCOMPARE(explorer.widget(1), static_cast<QWidget*>(explorer.FindResults()));
    QVERIFY(!explorer.Tree()->isVisible());
    QCOMPARE(explorer.PreviousView(), 8);
    explorer.SetView(0);
    QCOMPARE(explorer.CurrentView(), 8);
    QCOMPARE(explorer.widget(0), static_cast<QWidget*>(explorer.Tree()));
    QVERIFY(explorer.Tree()->isVisible());
    // The same window again: nothing, not even a new show; forced: shown again.
    ShowCounter counter;
    explorer.RightPaneOf(8)->installEventFilter(&counter);
    explorer.SetView(8);
    QCOMPARE(counter.shows, 0);
    explorer.SetView(8, true);
    QCOMPARE(counter.shows, 1);
    for (int view = 4; view <= 6; ++view) QCOMPARE(explorer.RightPaneOf(view), explorer.RightPaneOf(4));
    QCOMPARE(explorer.RightPaneOf(1), static_cast<QWidget*>(explorer.List()));
    QCOMPARE(explorer.RightPaneOf(2), static_cast<QWidget*>(explorer.List()));
  }

  void SelectingAFolderFillsTheListEachTime() {
    Scene s;
    s.OpenRoot();
    s.SelectInTree(s.Item(s.photos));
    QCOMPARE(s.explorer.CurrentView(), 2);
    QCOMPARE(s.explorer.CurrentObject(), s.H(s.photos));
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"Trip", "a.jpg", "b.jpg"}));
    ShowCounter counter;
    s.explorer.List()->installEventFilter(&counter);
    QSignalSpy reset(s.explorer.List()->Model(), &QAbstractItemModel::modelReset);
    s.explorer.SelectObject(s.H(s.photos));
    QCOMPARE(counter.shows, 0);  // view 2 already: not shown again
    QCOMPARE(reset.size(), 1);   // but filled again
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"Trip", "a.jpg", "b.jpg"}));
    // A row selected in the list becomes the current object.
    QSignalSpy selected(&s.explorer, &CVolumeExploreView::objectSelected);
    s.explorer.List()->SelectRow(1);
    QCOMPARE(s.explorer.CurrentObject(), s.H(s.a));
    QCOMPARE(selected.size(), 1);
    // A device node: no current object, its view.
    s.SelectInTree(s.Node());
    QCOMPARE(s.explorer.CurrentObject(), std::int64_t(-1));
    QCOMPARE(s.explorer.CurrentView(), 5);
    QCOMPARE(s.world.computer->SelectedVolume(), s.image);
    s.SelectInTree(s.explorer.Tree()->MyComputerItem());
    QCOMPARE(s.explorer.CurrentView(), 8);
  }

  // The list: two folders and a file, each folder's files depth first before the
  // folder itself; the tree: a folder's files without the folder.
  void CollectSelectionFromTheListAndTheTree() {
    Scene s;
    s.OpenRoot();
    s.SelectInTree(s.Root());
    s.SelectInList({"Photos", "Docs", "top.txt"});
    std::vector<FoundObject*> out;
    std::shared_ptr<CVolume> volume;
    QCOMPARE(s.explorer.CollectSelection(out, &volume), 7);
    QCOMPARE(volume, s.image);
    QCOMPARE(Names(out), (QStringList{"d.txt", "Docs", "a.jpg", "c.jpg", "b.jpg", "Photos", "top.txt"}));
    s.explorer.OnViewFocused(s.explorer.Tree());
    s.SelectInTree(s.Item(s.photos));
    s.explorer.OnViewFocused(s.explorer.Tree());
    QCOMPARE(s.explorer.CollectSelection(out), 3);
    QCOMPARE(Names(out), (QStringList{"a.jpg", "c.jpg", "b.jpg"}));
    // A cycle in damaged data is walked once.
    ExplorerWorld::Folder(*s.image, 10, 11, u"Photos again");
    QCOMPARE(s.explorer.CollectSelection(out), 3);
  }

  void CollectSelectionOfLostFilesGivesEveryCarvedFileAndNoFolder() {
    Scene s;
    ExplorerWorld::Folder(*s.image, -20, kIdLostFiles, u"Graphics", OBJ_DELETED_PATH);
    ExplorerWorld::Folder(*s.image, -21, kIdLostFiles, u"Documents", OBJ_DELETED_PATH);
    ExplorerWorld::Add(*s.image, 1, -20, u"jpeg_1.jpg", OBJ_CARVED);
    ExplorerWorld::Add(*s.image, 2, -21, u"adobe_2.pdf", OBJ_CARVED);
    ExplorerWorld::Add(*s.image, 3, -20, u"jpeg_3.jpg", OBJ_CARVED);
    s.explorer.Tree()->EnsureLostFilesRoot();
    QCOMPARE(s.explorer.Tree()->currentIndex(), QModelIndex(s.explorer.Tree()->LostFilesItem()));
    s.explorer.OnViewFocused(s.explorer.Tree());
    std::vector<FoundObject*> out;
    QCOMPARE(s.explorer.CollectSelection(out), 3);
    QCOMPARE(Names(out), (QStringList{"jpeg_1.jpg", "jpeg_3.jpg", "adobe_2.pdf"}));
  }

  void RecoverWithNothingSelectedLogsTheEmptyList() {
    Scene s;
    s.explorer.OnViewFocused(s.explorer.List());
    // The empty list is also said in an error box.
    QString boxText;
    auto answer = test::WhenShown<QMessageBox>([&](QMessageBox* box) {
      boxText = box->text();
      box->accept();
    });
    s.explorer.OnStartRecovery();
    QCOMPARE(boxText, QStringLiteral("Recovery list is empty!"));
    const auto lines = s.world.computer->GetLog().Lines();
    QVERIFY(!lines.empty());
    QVERIFY(lines.back().find(u"ERR: Recovery list is empty!") != std::u16string::npos);
    QVERIFY(!RecoveryJob().IsThreadAlive());
  }

  void FoundObjectsGoToTheExpandedTreeAndTheSelectedList() {
    Scene s;
    s.OpenRoot();
    s.explorer.Tree()->ExpandItem(s.Item(s.photos));
    s.SelectInTree(s.Item(s.photos));
    // A folder and a file under Photos, a file under Docs (not selected), a live
    // file the filter hides.
    s.world.computer->Filter().SetDeletedOnly(1);
    FoundObject* folder = ExplorerWorld::Folder(*s.image, 13, 10, u"New", OBJ_DELETED);
    FoundObject* file = ExplorerWorld::Add(*s.image, 105, 10, u"new.jpg", OBJ_DELETED);
    FoundObject* live = ExplorerWorld::Add(*s.image, 106, 10, u"live.jpg");
    FoundObject* other = ExplorerWorld::Add(*s.image, 107, 12, u"other.txt", OBJ_DELETED);
    for (FoundObject* r : {folder, file, live, other}) s.explorer.OnFoundObject(s.H(r), FOUND_ADDED);
    // A message still on its way for a record the list took when it was filled.
    s.explorer.OnFoundObject(s.H(s.a), FOUND_ADDED);
    s.explorer.FlushFoundObjects();
    QVERIFY(s.Item(folder).isValid());
    QCOMPARE(s.explorer.Tree()->Model()->parent(s.Item(folder)), s.Item(s.photos));
    const QStringList names = ListNames(*s.explorer.List());
    QVERIFY(names.contains("new.jpg"));
    QVERIFY(names.contains("New"));
    QVERIFY(!names.contains("live.jpg"));
    QCOMPARE(names.count("a.jpg"), 1);
    QVERIFY(!names.contains("other.txt"));
    // The deleted file marked Docs as lying on the way to a deleted object.
    QVERIFY(s.docs->flags.Any(OBJ_DELETED_PATH));
    QVERIFY(s.image->Store().FindFolderById(0)->flags.Any(OBJ_DELETED_PATH));
  }

  void TheFirstObjectsOpenTheVolumeAndItsRoot() {
    Scene s;
    s.explorer.ClearViews();
    QVERIFY(s.explorer.Tree()->rootPending);
    s.explorer.OnFoundObject(s.H(s.top), FOUND_ADDED);
    s.explorer.FlushFoundObjects();
    QVERIFY(!s.explorer.Tree()->rootPending);
    QVERIFY(s.explorer.Tree()->firstFolderPending);
    QVERIFY(s.explorer.Tree()->isExpanded(s.Node()));
    s.explorer.OnFoundObject(s.H(s.docs), FOUND_ADDED);
    s.explorer.FlushFoundObjects();
    QVERIFY(!s.explorer.Tree()->firstFolderPending);
    QCOMPARE(s.explorer.Tree()->currentIndex(), s.Root());
    QVERIFY(s.explorer.Tree()->isExpanded(s.Root()));
  }

  void LostFoldersArriveAndTheirPlaceholdersLeave() {
    Scene s;
    s.OpenRoot();
    s.explorer.Tree()->ExpandItem(s.Item(s.photos));
    // A file whose folder 77 is unknown: the store makes a lost folder for it.
    FoundObject orphan;
    orphan.id = 200;
    orphan.parentId = 77;
    orphan.flags = OBJ_NAMED | OBJ_DELETED;
    orphan.SetName(u"orphan.txt");
    s.image->Store().AddParsedObject(orphan);
    FoundObject* placeholder = s.image->Store().FindFolderById(77);
    QVERIFY(placeholder);
    s.explorer.OnFoundObject(s.H(placeholder), FOUND_LOST_FOLDER_MADE);
    s.explorer.FlushFoundObjects();
    const QModelIndex lost = s.explorer.Tree()->LostFoldersItem();
    QVERIFY(lost.isValid());
    QCOMPARE(lost.data().toString(), QStringLiteral("Lost folders"));
    s.explorer.Tree()->ExpandItem(lost);
    QVERIFY(s.Item(placeholder).isValid());
    QCOMPARE(s.Item(placeholder).data(CFilesTreeModel::ImageRole).toInt(), 8);
    // Its folder arrives under Photos, which is selected: the placeholder's item goes
    // from under "Lost folders" and the folder comes under Photos.
    s.SelectInTree(s.Item(s.photos));
    FoundObject folder;
    folder.id = 77;
    folder.parentId = 10;
    folder.flags = OBJ_NAMED | OBJ_FOLDER | OBJ_DELETED;
    folder.SetName(u"Found again");
    QCOMPARE(s.image->Store().AddParsedObject(folder), placeholder);
    s.explorer.OnFoundObject(s.H(placeholder), FOUND_PLACEHOLDER_REPLACED);
    s.explorer.OnFoundObject(s.H(placeholder), FOUND_ADDED);
    s.explorer.FlushFoundObjects();
    QVERIFY(s.Item(placeholder).isValid());
    QCOMPARE(s.explorer.Tree()->Model()->parent(s.Item(placeholder)), s.Item(s.photos));
    QCOMPARE(s.explorer.Tree()->Model()->rowCount(lost), 0);
  }

  void CarvedObjectsFillLostFilesAndItsTypeFolders() {
    Scene s;
    s.OpenRoot();
    s.explorer.ClearViews();
    FoundObject* graphics = ExplorerWorld::Folder(*s.image, -20, kIdLostFiles, u"Graphics", OBJ_DELETED_PATH);
    FoundObject* jpeg = ExplorerWorld::Add(*s.image, 1, -20, u"jpeg_1.jpg", OBJ_CARVED | OBJ_DELETED);
    s.explorer.OnFoundObject(s.H(jpeg), FOUND_CARVED_ADDED);
    s.explorer.FlushFoundObjects();
    const QModelIndex lostFiles = s.explorer.Tree()->LostFilesItem();
    QVERIFY(lostFiles.isValid());
    QCOMPARE(s.explorer.Tree()->currentIndex(), QModelIndex(lostFiles));
    QVERIFY(s.Item(graphics).isValid());
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"Graphics"}));
    // A second type folder while "Lost files" is selected: the list shows it.
    FoundObject* docs = ExplorerWorld::Folder(*s.image, -21, kIdLostFiles, u"Documents", OBJ_DELETED_PATH);
    FoundObject* pdf = ExplorerWorld::Add(*s.image, 2, -21, u"adobe_2.pdf", OBJ_CARVED | OBJ_DELETED);
    s.explorer.OnFoundObject(s.H(pdf), FOUND_CARVED_ADDED);
    s.explorer.FlushFoundObjects();
    QVERIFY(s.Item(docs).isValid());
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"Documents", "Graphics"}));
    // A type folder selected: its new files come into the list.
    s.SelectInTree(s.Item(graphics));
    FoundObject* jpeg2 = ExplorerWorld::Add(*s.image, 3, -20, u"jpeg_3.jpg", OBJ_CARVED);
    s.explorer.OnFoundObject(s.H(jpeg2), FOUND_CARVED_ADDED);
    s.explorer.FlushFoundObjects();
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"jpeg_1.jpg", "jpeg_3.jpg"}));
    QCOMPARE(s.explorer.List()->Model()->index(0, 0).data(CFilesListModel::ImageRole).toInt(),
             int(CFoundObjectImages::kCarvedDeletedFile));
    // A hit merged into a record already shown changes nothing in the views.
    const int typeFolders = s.explorer.Tree()->Model()->rowCount(lostFiles);
    s.explorer.OnFoundObject(s.H(jpeg2), FOUND_CARVED_MERGED);
    s.explorer.FlushFoundObjects();
    QCOMPARE(ListNames(*s.explorer.List()), (QStringList{"jpeg_1.jpg", "jpeg_3.jpg"}));
    QCOMPARE(s.explorer.Tree()->Model()->rowCount(lostFiles), typeFolders);
  }

  void KeysMoveThroughTheTree() {
    Scene s;
    s.OpenRoot();
    s.SelectInTree(s.Root());
    s.SelectInList({"Photos"});
    s.explorer.OnTreeKey(13, s.explorer.List());
    QCOMPARE(s.explorer.Tree()->currentIndex(), s.Item(s.photos));
    QVERIFY(s.explorer.Tree()->isExpanded(s.Item(s.photos)));
    s.explorer.OnTreeKey(8, s.explorer.Tree());
    QCOMPARE(s.explorer.Tree()->currentIndex(), s.Root());
    s.explorer.SetView(3);
    s.explorer.OnTreeKey(8, s.explorer.List());
    QCOMPARE(s.explorer.Tree()->currentIndex(), s.Root());  // nothing in view 3
    // Enter on a file: "try to open", here refused at its warning.
    s.explorer.SetView(2);
    s.SelectInList({"top.txt"});
    s.world.answers.Script(QuestionKind::TryOpenWarning, Answer::Cancel);
    s.explorer.OnTreeKey(13, s.explorer.List());
    QTRY_COMPARE(s.world.answers.Asked().size(), std::size_t(1));
    QCOMPARE(s.world.answers.Asked()[0].kind, QuestionKind::TryOpenWarning);
    QVERIFY(!TryOpenJob().IsThreadAlive());
  }

  void ShowInFolderOpensTheTreeDownToTheObject() {
    Scene s;
    s.explorer.ShowInFolder(s.H(s.c));
    QCOMPARE(s.explorer.Tree()->currentIndex(), s.Item(s.trip));
    QVERIFY(s.explorer.Tree()->isExpanded(s.Item(s.photos)));
    QCOMPARE(s.explorer.List()->FirstSelectedHandle(), s.H(s.c));
  }

  void SetNewSizeTakesEachObjectsSizeByTheChosenMode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("custom");
    QTest::addColumn<QList<qint64>>("sizes");
    // Three carved JPEGs at 1 MB, 3 MB, 4 MB and a PDF at 2 MB.
    QTest::newRow("1 the type's size") << 1 << qint64(0) << QList<qint64>{1048576, 1048576, 1048576};
    QTest::newRow("2 to the next object") << 2 << qint64(0) << QList<qint64>{1048576, 1048576, 1048576};
    QTest::newRow("3 to the next of the type") << 3 << qint64(0) << QList<qint64>{2097152, 1048576, 1048576};
    QTest::newRow("4 the custom size") << 4 << qint64(5242880) << QList<qint64>{5242880, 5242880, 5242880};
  }
  void SetNewSizeTakesEachObjectsSizeByTheChosenMode() {
    QFETCH(int, mode);
    QFETCH(qint64, custom);
    QFETCH(QList<qint64>, sizes);
    Scene s;
    FileTypeDatabase types;
    types.CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) types.AppendFileType(std::move(t));
    types.InstallAsProgramDatabase();
    s.world.computer->SetFileTypeDatabase(nullptr);
    const FileType* jpeg = types.FindById(83);
    const FileType* pdf = types.FindByExtension(u"PDF");
    QVERIFY(jpeg && pdf);
    auto carved = [&](std::int64_t offset, const FileType* type, std::u16string_view name) {
      FoundObject o;
      o.parentId = type->categoryId();
      o.flags = OBJ_DELETED | OBJ_RAW | OBJ_CARVED | OBJ_NAMED;
      o.SetName(name);
      o.offset = offset;
      o.size = -1;
      o.typeId = std::int16_t(type->typeId());
      o.typeKey = type->key();
      return s.image->Store().RegisterObject(o);
    };
    FoundObject* j1 = carved(1048576, jpeg, u"j1.jpg");
    carved(2097152, pdf, u"p.pdf");
    FoundObject* j2 = carved(3145728, jpeg, u"j2.jpg");
    FoundObject* j3 = carved(4194304, jpeg, u"j3.jpg");
    ExplorerWorld::Add(*s.image, 900, 0, u"after.bin", 0, 10)->offset = 5242880;
    s.image->Store().EnableOffsetIndex(1);
    ExplorerWorld::Folder(*s.image, jpeg->categoryId(), kIdLostFiles, u"Graphics");
    s.explorer.Tree()->EnsureLostFilesRoot();
    s.explorer.Tree()->SelectItem(s.explorer.Tree()->Model()->IndexOfHandle(
        s.image->Store().HandleOf(s.image->Store().FindFolderById(jpeg->categoryId()))));
    s.SelectInList({"j1.jpg", "j2.jpg", "j3.jpg"});
    s.world.answers.Script(QuestionKind::ProbableFileSize, Reply{Answer::Ok, {mode, 0, custom}, {}});
    s.explorer.OnSetNewSize();
    const auto asked = s.world.answers.Asked();
    QCOMPARE(asked.size(), std::size_t(1));
    QCOMPARE(asked[0].detail, std::u16string(u"j1.jpg"));
    QCOMPARE(asked[0].values[CRecovery::kSizeTypicalKB], std::int64_t(1024));
    QCOMPARE(asked[0].values[CRecovery::kSizeNextAny], std::int64_t(1048576));
    QCOMPARE(asked[0].values[CRecovery::kSizeNextSame], std::int64_t(2097152));
    QCOMPARE(QList<qint64>({j1->size, j2->size, j3->size}), sizes);
    // Reset Size: unknown again.
    s.explorer.OnResetSize();
    QCOMPARE(QList<qint64>({j1->size, j2->size, j3->size}), (QList<qint64>{-1, -1, -1}));
    // Cancel changes nothing.
    s.world.answers.Script(QuestionKind::ProbableFileSize, Answer::Cancel);
    s.explorer.OnSetNewSize();
    QCOMPARE(j1->size, std::int64_t(-1));
    SetFileTypeLookup(nullptr);
    g_FileTypes = nullptr;
  }

  void TheCheckToggleFromTheFrame() {
    Scene s;
    s.OpenRoot();
    QVERIFY(s.explorer.OnToggleTreeCheck(s.H(s.photos)));
    QCOMPARE(s.explorer.Tree()->Model()->StateImage(s.Item(s.photos)), 2);
    QCOMPARE(s.explorer.Tree()->Model()->StateImage(s.Node()), 3);
    QVERIFY(!s.explorer.OnToggleTreeCheck(s.H(s.c)));  // not in the tree
  }
};

VANDREL_QT_TEST(VolumeExploreViewTest);
#include "VolumeExploreViewTest.moc"
