// The found-object list: size texts, sort orders and header clicks, a long list
// sorted bit by bit as it grows, type-ahead, Ctrl then A, the filter, bounds, and
// reading the analysed volume of the moment.
#include <QHeaderView>
#include <QMimeDatabase>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <random>

#include "ExplorerTestSupport.h"
#include "app/QtText.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/icons/FoundObjectImages.h"
#include "support/QtTestRegistry.h"

using test::ExplorerWorld;

namespace {

// Fills a list with every child of `parent` as the explorer view does.
void Fill(CFilesListModel& model, CVolume& v, std::int32_t parent) {
  model.Clear();
  {
    const FoundObjectStore::ReadView view = v.Store().Read();
    std::vector<FoundObject*> children;
    view.CollectChildren(parent, children);
    for (const FoundObject* r : children) model.AddObject(view, r);
  }
  model.Busy().store(0);
  model.SetItemCount();
}

QStringList Names(const CFilesListModel& model) {
  QStringList out;
  for (int row = 0; row < model.rowCount(); ++row) out << model.index(row, 0).data().toString();
  return out;
}

}  // namespace

class FilesListTest : public QObject {
  Q_OBJECT

 private slots:
  // The Type column takes the width the others leave free, and keeps its own
  // when there is none.
  void TheTypeColumnTakesTheFreeWidth() {
    for (int columns : {4, 5}) {
      CFilesListView list(nullptr, columns);
      list.show();
      list.resize(1000, 300);
      QTRY_VERIFY(list.viewport()->width() > 900);
      int others = 0;
      for (int c = 0; c < columns; ++c)
        if (c != CFilesListModel::kColumnType) others += list.columnWidth(c);
      QCOMPARE(list.columnWidth(CFilesListModel::kColumnType), list.viewport()->width() - others);
      const int least = CFilesListView::kColumnWidths[CFilesListModel::kColumnType];
      list.resize(300, 300);
      QTRY_VERIFY(list.viewport()->width() < 300);
      if (columns == 4) QCOMPARE(list.columnWidth(CFilesListModel::kColumnType), least);
      QVERIFY(list.columnWidth(CFilesListModel::kColumnType) > 0);
    }
  }

  void SizeTexts_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << qint64(-1) << false << "unknown";
    QTest::newRow("folder") << qint64(5000) << true << "";
    QTest::newRow("zero") << qint64(0) << false << "0";
    QTest::newRow("1024 is bytes") << qint64(1024) << false << "1024";
    QTest::newRow("1025 is 1 KB") << qint64(1025) << false << "1 KB";
    QTest::newRow("exactly 1 MB in KB") << qint64(1048576) << false << "1024 KB";
    QTest::newRow("1 MB and a byte") << qint64(1048577) << false << "1 MB";
    QTest::newRow("exactly 1 GB in MB") << qint64(1073741824) << false << "1024 MB";
    QTest::newRow("1 GB and a byte") << qint64(1073741825) << false << "1 GB";
    QTest::newRow("5 TB in GB") << qint64(5497558138880) << false << "5120 GB";
    QTest::newRow("other negatives") << qint64(-7) << false << "-7";
  }
  void SizeTexts() {
    QFETCH(qint64, size);
    QFETCH(bool, folder);
    QFETCH(QString, text);
    QCOMPARE(CFilesListModel::SizeText(size, folder), text);
  }

  void ColumnsTextsAndImages() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    world.Folder(*v, 7, 0, u"Sub", OBJ_DELETED);
    world.Add(*v, 8, 0, u"photo.JPG", OBJ_DELETED, 838, 132000000000000000LL);
    world.Add(*v, 9, 0, u"notes.txt", 0, -1);
    world.Add(*v, 10, 0, u"found.pdf", OBJ_CARVED, 4000);
    CFilesListView list;
    QCOMPARE(list.Model()->columnCount(), 4);
    for (int c = 0; c < 4; ++c) QCOMPARE(list.columnWidth(c), CFilesListView::kColumnWidths[c]);
    QCOMPARE(list.Model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(list.Model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Date Modified"));
    Fill(*list.Model(), *v, 0);
    QCOMPARE(Names(*list.Model()), (QStringList{"Sub", "found.pdf", "notes.txt", "photo.JPG"}));
    auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
      return list.Model()->index(row, column).data(role);
    };
    QCOMPARE(cell(0, 1).toString(), QString());
    QCOMPARE(cell(0, 2).toString(), QStringLiteral("Folder"));
    QCOMPARE(cell(0, 0, CFilesListModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedFolder));
    QCOMPARE(cell(1, 0, CFilesListModel::ImageRole).toInt(), int(CFoundObjectImages::kCarvedLiveFile));
    QCOMPARE(cell(2, 1).toString(), QStringLiteral("unknown"));
    QCOMPARE(cell(2, 3).toString(), QString());  // no time
    QCOMPARE(cell(3, 1).toString(), QStringLiteral("838"));
    QCOMPARE(cell(3, 3).toString(), FormatFileTimeForTest(132000000000000000LL));
    QCOMPARE(cell(3, 0, CFilesListModel::ImageRole).toInt(), int(CFoundObjectImages::kDeletedFile));
    QVERIFY(!cell(3, 0, Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(cell(3, 2).toString(), QMimeDatabase().mimeTypeForFile("x.jpg", QMimeDatabase::MatchExtension).comment());
    QCOMPARE(cell(3, 1, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    // Outside the rows: nothing, no fault.
    QCOMPARE(list.Model()->HandleAt(-1), std::int64_t(-1));
    QCOMPARE(list.Model()->HandleAt(4), std::int64_t(-1));
    QVERIFY(!list.Model()->data(list.Model()->index(9, 0)).isValid());
  }

  void SortOrdersAndHeaderClicks_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<int>("arrowColumn");
    QTest::addColumn<bool>("arrowDescending");
    // Folders: "b dir" and "A dir" (equal sizes and dates keep store order); files:
    // name / size / created.
    QTest::newRow("start: names A to Z") << QList<int>{} << QStringList{"A dir", "b dir", "alpha", "Beta", "gamma"}
                                         << 0 << false;
    QTest::newRow("first click on Name: Z to A")
        << QList<int>{0} << QStringList{"b dir", "A dir", "gamma", "Beta", "alpha"} << 0 << true;
    QTest::newRow("first click on Size: smallest first")
        << QList<int>{1} << QStringList{"b dir", "A dir", "Beta", "alpha", "gamma"} << 1 << true;
    QTest::newRow("second click on Size: largest first")
        << QList<int>{1, 1} << QStringList{"b dir", "A dir", "gamma", "alpha", "Beta"} << 1 << false;
    QTest::newRow("first click on Date: oldest first")
        << QList<int>{3} << QStringList{"b dir", "A dir", "gamma", "Beta", "alpha"} << 3 << true;
    QTest::newRow("second click on Date: newest first")
        << QList<int>{3, 3} << QStringList{"b dir", "A dir", "alpha", "Beta", "gamma"} << 3 << false;
    QTest::newRow("Type sorts by name, arrow on Name")
        << QList<int>{2} << QStringList{"b dir", "A dir", "gamma", "Beta", "alpha"} << 0 << true;
  }
  void SortOrdersAndHeaderClicks() {
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, order);
    QFETCH(int, arrowColumn);
    QFETCH(bool, arrowDescending);
    ExplorerWorld world;
    auto v = world.AddVolume();
    world.Folder(*v, 5, 0, u"b dir");
    world.Add(*v, 6, 0, u"Beta", 0, 10, 200);
    world.Folder(*v, 7, 0, u"A dir");
    world.Add(*v, 8, 0, u"gamma", 0, 3000, 100);
    world.Add(*v, 9, 0, u"alpha", 0, 20, 300);
    CFilesListView list;
    list.resize(600, 300);
    list.show();
    Fill(*list.Model(), *v, 0);
    QHeaderView* header = list.horizontalHeader();
    for (int column : clicks) {
      const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
      QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    QCOMPARE(Names(*list.Model()), order);
    QCOMPARE(header->sortIndicatorSection(), arrowColumn);
    QCOMPARE(header->sortIndicatorOrder(), arrowDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  }

  // A list that grows while it is shown is sorted bit by bit: the new tail sorted
  // and merged in. The order is the order of one sort of the whole, and the
  // selected object stays selected wherever it moves.
  void TailMergeGivesTheOrderOfOneSort() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    std::mt19937 random(7);
    std::vector<FoundObject*> all;
    for (int i = 0; i < 3000; ++i) {
      const std::u16string name = u"f" + platform::Utf8ToUtf16(std::to_string(random() % 500));  // repeated names
      all.push_back(world.Add(*v, 100 + i, 0, name, std::uint16_t(i % 7 == 0 ? OBJ_FOLDER : 0),
                              std::int64_t(random() % 50), platform::FileTime(random() % 40)));
    }
    for (int column : {0, 1, 3}) {
      CFilesListView list;
      CFilesListModel& model = *list.Model();
      if (column != 0) {
        model.HeaderClicked(column);
        model.HeaderClicked(column);  // back to direction 0
      }
      model.Clear();
      model.Busy().store(0);
      std::int64_t selected = -1;
      for (std::size_t at = 0; at < all.size();) {
        const std::size_t chunk = std::min<std::size_t>(all.size() - at, 1 + random() % 400);
        {
          const FoundObjectStore::ReadView view = v->Store().Read();
          for (std::size_t i = at; i < at + chunk; ++i) model.AddObject(view, all[i]);
        }
        at += chunk;
        QVERIFY(model.SetItemCount());
        if (selected < 0) {
          list.SelectRow(model.rowCount() / 2);
          selected = list.FirstSelectedHandle();
        }
        QCOMPARE(list.FirstSelectedHandle(), selected);
      }
      std::vector<std::int64_t> merged, whole;
      for (int row = 0; row < model.rowCount(); ++row) merged.push_back(model.HandleAt(row));
      whole = merged;
      std::shuffle(whole.begin(), whole.end(), random);
      CFoundObjectSorter(column, false).SortAll(v->Store().Read(), whole);
      QVERIFY2(merged == whole, qPrintable(QString("column %1").arg(column)));
      QCOMPARE(model.rowCount(), int(all.size()));
    }
  }

  void PushesOnlyWhenNotBusyAndChanged() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    world.Add(*v, 5, 0, u"a.txt");
    CFilesListModel model;
    model.Clear();
    QCOMPARE(model.Busy().load(), 1);
    QCOMPARE(model.Dirty().load(), 1);
    {
      const FoundObjectStore::ReadView view = v->Store().Read();
      model.AddObject(view, view.At(1));
    }
    QVERIFY(!model.SetItemCount());  // busy: nothing pushed
    QCOMPARE(model.rowCount(), 0);
    model.Busy().store(0);
    QVERIFY(model.SetItemCount());
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(!model.SetItemCount());  // nothing new
    model.Dirty().store(1);
    QVERIFY(model.SetItemCount());  // dirty: pushed again
  }

  void TypeAhead_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<int>("row");
    // Rows (sorted): apple, Banana, berry, bob, cherry, then the unnamed one.
    QTest::newRow("b from the top") << 0 << "b" << 1;
    QTest::newRow("B without case") << 0 << "B" << 1;
    QTest::newRow("b after Banana") << 2 << "b" << 2;
    QTest::newRow("b from cherry wraps to the top") << 4 << "b" << 1;
    QTest::newRow("c") << 0 << "c" << 4;
    QTest::newRow("x matches nothing") << 0 << "x" << -1;
    QTest::newRow("a from the end wraps") << 5 << "a" << 0;
    QTest::newRow("a start out of range") << 99 << "a" << 0;
  }
  void TypeAhead() {
    QFETCH(int, start);
    QFETCH(QString, letter);
    QFETCH(int, row);
    ExplorerWorld world;
    auto v = world.AddVolume();
    for (auto [id, name] : {std::pair{5, u"cherry"}, {6, u"Banana"}, {7, u"apple"}, {8, u"berry"}, {9, u"bob"}})
      world.Add(*v, id, 0, name);
    FoundObject unnamed;  // a name that is not valid is never matched
    unnamed.id = 10;
    unnamed.SetName(u"zzz-b");
    unnamed.flags = 0;
    v->Store().RegisterObject(unnamed);
    CFilesListModel model;
    Fill(model, *v, 0);
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(model.FindItem(start, letter.at(0).unicode()), row);
  }

  void TypeAheadByKeys() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    for (auto [id, name] : {std::pair{5, u"cherry"}, {6, u"Banana"}, {7, u"apple"}, {8, u"berry"}})
      world.Add(*v, id, 0, name);
    CFilesListView list;
    list.show();
    Fill(*list.Model(), *v, 0);
    QTest::keyClick(&list, Qt::Key_B);
    QCOMPARE(list.currentIndex().row(), 1);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClick(&list, Qt::Key_B);
    QCOMPARE(list.currentIndex().row(), 2);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClick(&list, Qt::Key_B);  // wraps
    QCOMPARE(list.currentIndex().row(), 1);
    QCOMPARE(list.selectionModel()->selectedRows().size(), 1);
  }

  void CtrlThenASelectsAllAndAAloneDoesNot() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    for (int i = 0; i < 50; ++i) world.Add(*v, 10 + i, 0, u"a" + platform::Utf8ToUtf16(std::to_string(i)));
    CFilesListView list;
    list.show();
    Fill(*list.Model(), *v, 0);
    QTest::keyClick(&list, Qt::Key_A);
    QVERIFY(list.selectionModel()->selectedRows().size() <= 1);
    QTest::keyPress(&list, Qt::Key_Control);
    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyRelease(&list, Qt::Key_Control);
    QCOMPARE(list.selectionModel()->selectedRows().size(), 50);
    QCOMPARE(list.currentIndex().row(), 49);
    QCOMPARE(list.LastKey(), int(Qt::Key_A));
  }

  void KeysDoubleClickAndFocusAreToldToTheExplorer() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    world.Add(*v, 5, 0, u"a.txt");
    CFilesListView list;
    list.show();
    Fill(*list.Model(), *v, 0);
    QSignalSpy keys(&list, &CFilesListView::treeKey);
    QSignalSpy focus(&list, &CFilesListView::focused);
    list.SelectRow(0);
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Backspace);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, list.visualRect(list.Model()->index(0, 0)).center());
    QCOMPARE(keys.size(), 3);
    QCOMPARE(keys[0][0].toInt(), 13);
    QCOMPARE(keys[1][0].toInt(), 8);
    QCOMPARE(keys[2][0].toInt(), 13);
    list.clearFocus();
    list.setFocus();
    QTRY_VERIFY(focus.size() >= 1);
  }

  void DeletedOnlyFilterHidesLiveFiles() {
    ExplorerWorld world;
    auto v = world.AddVolume();
    world.Add(*v, 5, 0, u"live.txt");
    world.Add(*v, 6, 0, u"gone.txt", OBJ_DELETED);
    world.Folder(*v, 7, 0, u"path", OBJ_DELETED_PATH);
    world.Folder(*v, 8, 0, u"plain");
    world.computer->Filter().SetDeletedOnly(1);
    CFilesListModel model;
    Fill(model, *v, 0);
    QCOMPARE(Names(model), (QStringList{"path", "gone.txt"}));
  }

  // The list made while My Computer was the analysed volume reads the volume
  // analysed now: its root folder and its records.
  void ReadsTheAnalysedVolumeOfTheMoment() {
    ExplorerWorld world;
    CFilesListView list;  // made before any analysis
    auto v = world.AddVolume(CVolume::kImageFile, true, 2);
    world.Folder(*v, 3, 7, u"Child");
    FoundObject* root = v->Store().FindFolderById(2);
    QVERIFY(root);
    FoundObject fake = *root;
    fake.parentId = 7;
    fake.SetName(u"root again");
    v->Store().RegisterObject(fake);  // a folder with the root's id
    Fill(*list.Model(), *v, 7);
    QCOMPARE(list.Model()->rowCount(), 2);
    QCOMPARE(list.Model()->index(0, 0, {}).data(CFilesListModel::ImageRole).toInt(),
             int(CFoundObjectImages::kFolder));
    QCOMPARE(list.Model()->index(1, 0, {}).data(CFilesListModel::ImageRole).toInt(),
             int(CFoundObjectImages::kFolderOpen));
    QCOMPARE(list.Model()->index(1, 2, {}).data().toString(), QStringLiteral("Folder"));
  }

 private:
  static QString FormatFileTimeForTest(platform::FileTime t);
};

#include "app/Formatting.h"
QString FilesListTest::FormatFileTimeForTest(platform::FileTime t) { return FormatFileTime(t); }

VANDREL_QT_TEST(FilesListTest);
#include "FilesListTest.moc"
