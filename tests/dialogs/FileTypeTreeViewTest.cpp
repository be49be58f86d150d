// The two file-type check trees, run through one contract: filling, labels,
// propagation by mouse, by Space and by call, Check All / Uncheck All, the context
// menus, and which flag each stores.
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

#include "app/Icons.h"
#include "controls/ControlId.h"
#include "dialogs/FileTypeTreeView.h"
#include "dialogs/ObjectInformationTreeView.h"
#include "dialogs/SearchFileTypeTreeView.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "DialogsTestSupport.h"

Q_DECLARE_METATYPE(CFileTypeTreeView::Flag)

namespace {

std::unique_ptr<CFileTypeTreeView> MakeTree(CFileTypeTreeView::Flag flag, FileTypeDatabase& db) {
  std::unique_ptr<CFileTypeTreeView> tree;
  if (flag == CFileTypeTreeView::Flag::SearchEnabled)
    tree = std::make_unique<CSearchFileTypeTreeView>();
  else
    tree = std::make_unique<CObjectInformationTreeView>();
  tree->SetDatabase(&db);
  tree->resize(360, 520);
  tree->Fill();
  tree->LoadChecks();
  return tree;
}

std::int32_t FlagOf(const FileType& t, CFileTypeTreeView::Flag flag) {
  return flag == CFileTypeTreeView::Flag::SearchEnabled ? t.searchEnabled() : t.showInFilter();
}
std::int32_t OtherFlagOf(const FileType& t, CFileTypeTreeView::Flag flag) {
  return flag == CFileTypeTreeView::Flag::SearchEnabled ? t.showInFilter() : t.searchEnabled();
}

QTreeWidgetItem* GroupItem(CFileTypeTreeView& tree, std::int32_t category) {
  for (int i = 0; i < tree.topLevelItemCount(); ++i)
    if (tree.RecordOf(tree.topLevelItem(i))->categoryId() == category) return tree.topLevelItem(i);
  return nullptr;
}

void AddFlagColumns() {
  QTest::addColumn<CFileTypeTreeView::Flag>("flag");
}

}  // namespace

class CFileTypeTreeViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { app::SetUpIconTheme(); }

  void fillsListedGroupsAndTypesInOrder_data() {
    AddFlagColumns();
    QTest::newRow("search") << CFileTypeTreeView::Flag::SearchEnabled;
    QTest::newRow("filter") << CFileTypeTreeView::Flag::ShowInFilter;
  }
  void fillsListedGroupsAndTypesInOrder() {
    QFETCH(CFileTypeTreeView::Flag, flag);
    test::TypesFixture fx;
    FileTypeDatabase& db = fx.db();
    FileTypeGroup* mobile = const_cast<FileTypeGroup*>(db.FindGroup(CATEGORY_MOBILE));
    FileTypeGroup* photos = const_cast<FileTypeGroup*>(db.FindGroup(CATEGORY_PHOTOS));
    FileType* pdf = db.FindById(47);
    {
      auto edit = db.LockForEdit();
      mobile->SetListed(0);
      photos->SetTitle(u"");
      photos->SetDescription(u"Pictures from cameras");
      pdf->SetListed(0);
    }
    auto tree = MakeTree(flag, db);

    std::vector<FileTypeGroup*> expected;
    for (FileTypeGroup* g : db.Groups())
      if (g->listed()) expected.push_back(g);
    QCOMPARE(tree->topLevelItemCount(), int(expected.size()));
    const std::vector<FileType*> types = db.Types();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QTreeWidgetItem* root = tree->topLevelItem(i);
      QCOMPARE(tree->RecordOf(root), expected[i]);
      QVERIFY(root->isExpanded());
      std::vector<FileType*> members;
      for (FileType* t : types)
        if (t->categoryId() == expected[i]->categoryId() && t->listed()) members.push_back(t);
      QCOMPARE(root->childCount(), int(members.size()));
      for (int j = 0; j < root->childCount(); ++j) {
        QCOMPARE(tree->RecordOf(root->child(j)), members[j]);
        QCOMPARE(root->child(j)->text(0), QString::fromStdU16String(members[j]->DisplayName()));
      }
    }
    QVERIFY(!GroupItem(*tree, CATEGORY_MOBILE));
    QVERIFY(!tree->ItemOf(pdf));
    // A group without a title: its display name in the search tree, its (empty)
    // title in the filter tree.
    QTreeWidgetItem* photosItem = tree->ItemOf(photos);
    QVERIFY(photosItem);
    QCOMPARE(photosItem->text(0), flag == CFileTypeTreeView::Flag::SearchEnabled
                                      ? QStringLiteral("Pictures from cameras")
                                      : QString());
  }

  void propagates_data() {
    QTest::addColumn<CFileTypeTreeView::Flag>("flag");
    QTest::addColumn<int>("how");  // 0 mouse, 1 Space, 2 call
    for (auto flag : {CFileTypeTreeView::Flag::SearchEnabled, CFileTypeTreeView::Flag::ShowInFilter}) {
      const char* f = flag == CFileTypeTreeView::Flag::SearchEnabled ? "search" : "filter";
      QTest::addRow("%s mouse", f) << flag << 0;
      QTest::addRow("%s space", f) << flag << 1;
      QTest::addRow("%s call", f) << flag << 2;
    }
  }
  void propagates() {
    QFETCH(CFileTypeTreeView::Flag, flag);
    QFETCH(int, how);
    test::TypesFixture fx;
    auto tree = MakeTree(flag, fx.db());
    tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
    QSignalSpy changed(tree.get(), &CFileTypeTreeView::checksChanged);

    auto toggle = [&](QTreeWidgetItem* item) {
      tree->scrollToItem(item);
      QApplication::processEvents();
      if (how == 0) {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->CheckBoxRect(item).center());
      } else if (how == 1) {
        tree->setCurrentItem(item);
        tree->setFocus();
        QTest::keyClick(tree.get(), Qt::Key_Space);
      } else {
        tree->SetChecked(item, !tree->IsChecked(item));
      }
    };

    QTreeWidgetItem* archives = GroupItem(*tree, CATEGORY_ARCHIVES);
    QVERIFY(archives && archives->childCount() >= 2);
    // A group unchecked: every type of it unchecked.
    tree->CheckAll(true);
    toggle(archives);
    QVERIFY(!tree->IsChecked(archives));
    for (int i = 0; i < archives->childCount(); ++i) QVERIFY(!tree->IsChecked(archives->child(i)));
    // A type checked under the unchecked group: the group is checked, its other
    // types keep their state.
    QTreeWidgetItem* second = archives->child(1);
    toggle(second);
    QVERIFY(tree->IsChecked(second));
    QVERIFY(tree->IsChecked(archives));
    QVERIFY(!tree->IsChecked(archives->child(0)));
    // The last checked type unchecked: the group is unchecked too.
    toggle(second);
    QVERIFY(!tree->IsChecked(second));
    QVERIFY(!tree->IsChecked(archives));
    // A group checked again: all its types are.
    toggle(archives);
    for (int i = 0; i < archives->childCount(); ++i) QVERIFY(tree->IsChecked(archives->child(i)));
    QVERIFY(changed.count() >= 4);
    // Other groups were not touched.
    QTreeWidgetItem* documents = GroupItem(*tree, CATEGORY_DOCUMENTS);
    QVERIFY(tree->IsChecked(documents) && tree->IsChecked(documents->child(0)));
  }

  void storesOnlyItsOwnFlag_data() {
    AddFlagColumns();
    QTest::newRow("search") << CFileTypeTreeView::Flag::SearchEnabled;
    QTest::newRow("filter") << CFileTypeTreeView::Flag::ShowInFilter;
  }
  void storesOnlyItsOwnFlag() {
    QFETCH(CFileTypeTreeView::Flag, flag);
    test::TypesFixture fx;
    FileTypeDatabase& db = fx.db();
    std::vector<std::int32_t> others;
    for (FileType* t : db.Types()) others.push_back(OtherFlagOf(*t, flag));
    auto tree = MakeTree(flag, db);

    // The checks are what the flags say.
    for (FileType* t : db.Types()) {
      if (QTreeWidgetItem* item = tree->ItemOf(t)) QCOMPARE(tree->IsChecked(item), FlagOf(*t, flag) != 0);
    }
    QTreeWidgetItem* images = GroupItem(*tree, CATEGORY_IMAGES);
    tree->CheckAll(true);
    tree->SetChecked(images, false);
    QVERIFY(tree->StoreChecks());
    const std::vector<FileType*> types = db.Types();
    for (std::size_t i = 0; i < types.size(); ++i) {
      QCOMPARE(OtherFlagOf(*types[i], flag), others[i]);
      if (!tree->ItemOf(types[i])) continue;
      QCOMPARE(FlagOf(*types[i], flag), types[i]->categoryId() == CATEGORY_IMAGES ? 0 : 1);
    }
    // Saved: a restart reads the same flags.
    auto restart = fx.Reopen();
    const std::vector<FileType*> again = restart.db->Types();
    QCOMPARE(again.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
      QCOMPARE(FlagOf(*again[i], flag), FlagOf(*types[i], flag));
      QCOMPARE(OtherFlagOf(*again[i], flag), others[i]);
    }
  }

  void contextMenus_data() {
    AddFlagColumns();
    QTest::newRow("search") << CFileTypeTreeView::Flag::SearchEnabled;
    QTest::newRow("filter") << CFileTypeTreeView::Flag::ShowInFilter;
  }
  void contextMenus() {
    QFETCH(CFileTypeTreeView::Flag, flag);
    test::TypesFixture fx;
    auto tree = MakeTree(flag, fx.db());
    std::unique_ptr<QMenu> menu(tree->MakeContextMenu());
    QCOMPARE(menu->property("menuId").toInt(), CFileTypeTreeView::kMenuWithChecks);
    QAction* none = controls::FindCommand(menu.get(), CFileTypeTreeView::kIdUncheckAll);
    QAction* all = controls::FindCommand(menu.get(), CFileTypeTreeView::kIdCheckAll);
    QVERIFY(none && all && controls::FindCommand(menu.get(), CFileTypeTreeView::kIdProperties));
    QCOMPARE(none->text(), QStringLiteral("Uncheck All"));
    QCOMPARE(all->text(), QStringLiteral("Check All"));
    none->trigger();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QVERIFY(!tree->IsChecked(tree->topLevelItem(i)));
      for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
        QVERIFY(!tree->IsChecked(tree->topLevelItem(i)->child(j)));
    }
    all->trigger();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QVERIFY(tree->IsChecked(tree->topLevelItem(i)));
      for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
        QVERIFY(tree->IsChecked(tree->topLevelItem(i)->child(j)));
    }
    // Without check boxes: menu 295, Properties only.
    CFileTypeTreeView plain(flag);
    plain.SetHasCheckBoxes(false);
    plain.SetDatabase(&fx.db());
    plain.Fill();
    std::unique_ptr<QMenu> menu2(plain.MakeContextMenu());
    QCOMPARE(menu2->property("menuId").toInt(), CFileTypeTreeView::kMenuPropertiesOnly);
    QCOMPARE(menu2->actions().size(), 1);
    QCOMPARE(controls::CommandId(menu2->actions().first()), CFileTypeTreeView::kIdProperties);
  }

  void rightClickKeepsTheSelection() {
    test::TypesFixture fx;
    auto tree = MakeTree(CFileTypeTreeView::Flag::SearchEnabled, fx.db());
    tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
    QTreeWidgetItem* first = tree->topLevelItem(0);
    QTreeWidgetItem* other = tree->topLevelItem(0)->child(1);
    tree->setCurrentItem(first);
    bool menuShown = false;
    QTimer::singleShot(50, [&] {
      if (QWidget* popup = QApplication::activePopupWidget()) {
        menuShown = qobject_cast<QMenu*>(popup) != nullptr;
        popup->close();
      }
    });
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(other).center());
    QVERIFY(menuShown);
    QCOMPARE(tree->currentItem(), first);
  }

  void screenshot() {
    test::TypesFixture fx;
    auto tree = MakeTree(CFileTypeTreeView::Flag::SearchEnabled, fx.db());
    tree->setWindowTitle(QStringLiteral("File types"));
    QVERIFY(!test::SaveScreenshot(tree.get(), QStringLiteral("dialogs"), QStringLiteral("file_type_tree")).isEmpty());
  }
};

VANDREL_QT_TEST(CFileTypeTreeViewTest);
#include "FileTypeTreeViewTest.moc"
