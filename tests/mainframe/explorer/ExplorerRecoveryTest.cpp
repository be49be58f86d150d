// Recovery in the main window as a person reaches it: rows clicked, the context
// menu opened on the row, "Recover..." clicked in the popup, the options dialog's
// OK, the progress dialog followed to its end; the files written compared with the
// fixture's. After a second drive's analysis the first drive's selection is still
// what is recovered; the find results' selection is recovered; with "deleted
// files only" a folder gives the files shown and the progress counts them; with
// nothing to recover an error box says so and no destination is asked for.
#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "controls/ControlId.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/explorer/FilesTreeView.h"
#include "mainframe/find/FindInFound.h"
#include "mainframe/find/SearchBarView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "support/Sha256.h"
#include "support/ShownWindows.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// The main window made active, as it is under a person's pointer: clicks move
// the keyboard focus.
CMainFrame* OpenActive(test::FrameWorld& world) {
  CMainFrame* frame = world.Open(32839);
  frame->resize(1000, 700);
  world.Idle();
  frame->activateWindow();
  frame->raise();
  if (!QTest::qWaitForWindowActive(frame, 3000)) return nullptr;
  return frame;
}

QString Listed(const std::map<std::string, std::string>& files) {
  QStringList names;
  for (const auto& [name, digest] : files) names << QString::fromStdString(name);
  return names.join(QStringLiteral(" | "));
}

QModelIndex Child(const QAbstractItemModel& model, const QModelIndex& parent, const QString& name) {
  for (int row = 0; row < model.rowCount(parent); ++row)
    if (model.index(row, 0, parent).data().toString() == name) return model.index(row, 0, parent);
  return {};
}

// Clicks an item of a view, with Ctrl when `add`.
void ClickItem(QAbstractItemView* view, const QModelIndex& index, bool add = false) {
  // A view just placed in its pane is laid out on the next turn of the loop.
  (void)QTest::qWaitFor([&] { return view->viewport()->width() > 0; }, 2000);
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, add ? Qt::ControlModifier : Qt::NoModifier,
                    view->visualRect(index).center());
}

// Clicks list rows by name, the first alone, the others with Ctrl.
void ClickRows(CFilesListView* list, const QStringList& names) {
  list->SetItemCount();
  bool first = true;
  for (const QString& name : names) {
    const QModelIndex index = Child(*list->model(), {}, name);
    QVERIFY2(index.isValid(), qPrintable(name));
    ClickItem(list, index, !first);
    first = false;
  }
}

// The states of the context menu's items and, when `choose` is nonzero, that
// item clicked: the menu opened by a context-menu event on the item's rectangle,
// taken as the active popup.
struct MenuResult {
  bool opened = false;
  std::map<int, bool> enabled;  // command id -> enabled
  bool chosen = false;
};
MenuResult ContextMenu(QAbstractItemView* view, const QModelIndex& index, int choose) {
  MenuResult result;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || !menu->isVisible()) return;
    timer.stop();
    result.opened = true;
    QAction* target = nullptr;
    for (QAction* action : menu->actions()) {
      const int id = controls::CommandId(action);
      if (id == 0) continue;
      result.enabled[id] = action->isEnabled();
      if (id == choose) target = action;
    }
    if (target && target->isEnabled()) {
      result.chosen = true;
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
    } else {
      QTest::keyClick(menu, Qt::Key_Escape);
    }
  });
  timer.start();
  // The right button's press and release (the press focuses the view and picks
  // the row under it when it is not picked yet), then the menu's event.
  (void)QTest::qWaitFor([&] { return view->viewport()->width() > 0; }, 2000);
  const QPoint at = view->visualRect(index).center();
  QTest::mousePress(view->viewport(), Qt::RightButton, {}, at);
  QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &event);
  QApplication::processEvents();
  // The popup gone, the window is the active one again.
  view->window()->activateWindow();
  (void)QTest::qWaitForWindowActive(view->window(), 2000);
  return result;
}

// Answers the recovery's windows while it lives: the options dialog's OK, and
// the progress dialog's OK once its job has ended (its count text kept).
class RecoveryClicks {
 public:
  RecoveryClicks() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* options = qobject_cast<COnRecoveryDlg*>(modal)) {
        ++optionsShown;
        QTest::mouseClick(controls::FindControlAs<QPushButton>(options, 1), Qt::LeftButton);
      } else if (auto* progress = qobject_cast<CRecoveryProgressDlg*>(modal); progress && progress->IsEnded()) {
        if (auto* done = controls::FindControlAs<QLabel>(progress, CRecoveryProgressDlg::IDC_OBJECTS_DONE))
          countText = done->text();
        QTest::mouseClick(controls::FindControlAs<QPushButton>(progress, 1), Qt::LeftButton);
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes << box->text();
        box->accept();
      }
    });
    timer_.start();
  }
  int optionsShown = 0;
  QString countText;
  QStringList boxes;

 private:
  QTimer timer_;
};

// Every file below a folder, relative to it, with its digest.
std::map<std::string, std::string> FilesBelow(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    out[e.path().lexically_relative(root).string()] = test::Sha256(data.data(), data.size());
  }
  return out;
}

// The digests of the fixture's files, by their path in the image.
std::map<std::string, std::string> ManifestDigests(const std::string& fixture) {
  std::map<std::string, std::string> out;
  const nlohmann::json manifest = test::FixtureManifest(fixture);
  for (const auto& o : manifest["objects"])
    if (o["type"] == "file") out[o["path"].get<std::string>()] = o["sha256"].get<std::string>();
  return out;
}

bool WaitForTheRecovery() {
  return test::WaitUntil(
      [] { return !RecoveryJob().IsThreadAlive() && !test::ShownTopLevel<CRecoveryProgressDlg>(); }, 60000);
}

}  // namespace

class ExplorerRecoveryTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  // fat16 analysed, then fat12: the first drive's folder and file, picked from
  // its own node, are what the recovery writes.
  void TheFirstDrivesSelectionIsRecoveredAfterASecondDriveWasAnalysed() {
    test::FrameWorld world;
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    const std::shared_ptr<CVolume> first = test::AnalyseImage(world, frame, "fat16.img");
    QVERIFY(first);
    const std::shared_ptr<CVolume> second = test::AnalyseImage(world, frame, "fat12.img");
    QVERIFY(second);
    QCOMPARE(world.computer->AnalysedVolume(), second);
    test::TempDir out("vandrel-second-drive-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));

    // The first drive's node opened, its root folder clicked, two rows clicked.
    CVolumeExploreView* explorer = frame->ExploreView();
    CFilesTreeView* tree = explorer->Tree();
    const QModelIndex node = tree->Model()->IndexOfNode(first->DeviceNodeId());
    QVERIFY(node.isValid());
    tree->ExpandItem(node);
    const QModelIndex root = Child(*tree->Model(), node, QStringLiteral("."));
    QVERIFY(root.isValid());
    ClickItem(tree, root);
    CFilesListView* list = explorer->List();
    ClickRows(list, {QStringLiteral("Old Projects"), QStringLiteral("deleted file.txt")});
    QCOMPARE(list->SelectedHandles().size(), std::size_t(2));
    world.Idle();

    RecoveryClicks clicks;
    const MenuResult menu = ContextMenu(list, list->currentIndex(), mainframe::ID_RECOVER);
    QVERIFY(menu.opened);
    QVERIFY(menu.chosen);
    QVERIFY(WaitForTheRecovery());
    QCOMPARE(clicks.optionsShown, 1);
    QVERIFY2(clicks.boxes.isEmpty(), qPrintable(clicks.boxes.join('|')));
    const auto digests = ManifestDigests("fat16");
    const std::map<std::string, std::string> expected = {
        {"deleted file.txt", digests.at("/deleted file.txt")},
        {"Old Projects/Project plan.txt", digests.at("/Old Projects/Project plan.txt")},
        {"Old Projects/_ATA.BIN", digests.at("/Old Projects/DATA.BIN")},
        {"Old Projects/Sub Folder/inner file.txt", digests.at("/Old Projects/Sub Folder/inner file.txt")},
    };
    QCOMPARE(Listed(FilesBelow(out.path())), Listed(expected));
    QCOMPARE(FilesBelow(out.path()), expected);
    QCOMPARE(clicks.countText, QStringLiteral("4 of 4"));
  }

  // A find result, clicked and recovered from the results' context menu; before
  // a row is picked the file commands are off there.
  void AFindResultIsRecoveredFromTheResultsContextMenu() {
    test::FrameWorld world;
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    QVERIFY(test::AnalyseImage(world, frame, "fat16.img"));
    test::TempDir out("vandrel-find-result-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));
    CVolumeExploreView* explorer = frame->ExploreView();
    CFindInFound* find = explorer->FindInFound();
    QVERIFY(test::ClickToolButton(frame, mainframe::ID_VIEW_SEARCH));
    auto* mask = controls::FindControlAs<QLineEdit>(find->SearchBar(), CSearchBarView::kIdMask);
    QVERIFY(mask);
    mask->setText(QStringLiteral("*.pdf"));
    QTest::mouseClick(find->SearchBar()->SearchButton(), Qt::LeftButton);
    QTRY_VERIFY(!find->IsRunning() && find->SearchBar()->SearchButton()->isEnabled());
    explorer->OnFrameTimer(250);
    CFilesListView* results = find->Results();
    QTRY_COMPARE(results->model()->rowCount(), 1);

    // The results focused with nothing picked: the file commands are off.
    ClickItem(results, results->model()->index(0, 0));
    results->clearSelection();
    world.Idle();
    QCOMPARE(explorer->ActiveControl(), static_cast<QWidget*>(results));
    for (int id : mainframe::kFileCommands)
      QVERIFY2(!frame->Actions()->MenuAction(id)->isEnabled(), qPrintable(QString::number(id)));

    // The row clicked: on, in the menu bar and the toolbar too.
    ClickItem(results, results->model()->index(0, 0));
    world.Idle();
    QVERIFY(frame->Actions()->MenuAction(mainframe::ID_RECOVER)->isEnabled());
    QVERIFY(frame->Actions()->ToolbarAction(mainframe::ID_RECOVER)->isEnabled());
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("find_results_selected")).isEmpty());
    RecoveryClicks clicks;
    const MenuResult menu = ContextMenu(results, results->model()->index(0, 0), mainframe::ID_RECOVER);
    QVERIFY(menu.opened);
    for (int id : {mainframe::ID_RECOVER, mainframe::ID_TRY_OPEN, mainframe::ID_INFORMATION, mainframe::ID_SET_NEW_SIZE})
      QVERIFY2(menu.enabled.count(id) && menu.enabled.at(id), qPrintable(QString::number(id)));
    QVERIFY(menu.chosen);
    QVERIFY(WaitForTheRecovery());
    QCOMPARE(clicks.optionsShown, 1);
    const auto digests = ManifestDigests("fat16");
    const std::map<std::string, std::string> expected = {
        {"Documents/Old invoice.pdf", digests.at("/Documents/Old invoice.pdf")}};
    QCOMPARE(FilesBelow(out.path()), expected);
    QCOMPARE(clicks.countText, QStringLiteral("1 of 1"));
  }

  // "Show deleted files only": the root folder picked in the tree gives the
  // deleted files below it, none of the live ones, and the progress counts them.
  void WithDeletedOnlyAFolderGivesTheFilesShown() {
    test::FrameWorld world;
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    const std::shared_ptr<CVolume> volume = test::AnalyseImage(world, frame, "fat16.img");
    QVERIFY(volume);
    world.computer->Filter().SetDeletedOnly(1);
    test::TempDir out("vandrel-deleted-only-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));
    CVolumeExploreView* explorer = frame->ExploreView();
    CFilesTreeView* tree = explorer->Tree();
    const QModelIndex root = Child(*tree->Model(), tree->AnalysedVolumeItem(), QStringLiteral("."));
    QVERIFY(root.isValid());
    ClickItem(tree, root);
    world.Idle();

    RecoveryClicks clicks;
    const MenuResult menu = ContextMenu(tree, root, mainframe::ID_RECOVER);
    QVERIFY(menu.opened);
    QVERIFY(menu.chosen);
    QVERIFY(WaitForTheRecovery());
    const auto digests = ManifestDigests("fat16");
    const std::map<std::string, std::string> got = FilesBelow(out.path());
    // The deleted files of the image (FAT keeps a deleted short name without its
    // first letter); the fragmented deleted B.bin's clusters are free, so its
    // content is whatever its start cluster gives: only its presence is checked.
    // No live file comes.
    const std::map<std::string, std::string> deleted = {
        {"deleted file.txt", "/deleted file.txt"},
        {"_ELETED.JPG", "/DELETED.JPG"},
        {"Old Projects/Project plan.txt", "/Old Projects/Project plan.txt"},
        {"Old Projects/_ATA.BIN", "/Old Projects/DATA.BIN"},
        {"Old Projects/Sub Folder/inner file.txt", "/Old Projects/Sub Folder/inner file.txt"},
        {"Documents/Old invoice.pdf", "/Documents/Old invoice.pdf"},
    };
    std::set<QString> names;
    for (const auto& [name, digest] : got) names.insert(QString::fromStdString(name));
    std::set<QString> expectedNames;
    for (const auto& [name, path] : deleted) expectedNames.insert(QString::fromStdString(name));
    for (const QString& name : names)
      if (name.startsWith(QStringLiteral("frag/"))) expectedNames.insert(name);
    QCOMPARE(QStringList(names.begin(), names.end()).join('|'), QStringList(expectedNames.begin(), expectedNames.end()).join('|'));
    QCOMPARE(names, expectedNames);
    QCOMPARE(int(names.size()), int(deleted.size()) + 1);  // and frag/'s deleted file
    for (const auto& [name, path] : deleted) QVERIFY2(got.at(name) == digests.at(path), name.c_str());
    QCOMPARE(clicks.countText, QStringLiteral("%1 of %1").arg(names.size()));
  }

  // Recover... on a folder that holds no file: an error box says the list is
  // empty, and no destination is asked for.
  void RecoverWithNothingToRecoverSaysSoInAnErrorBox() {
    test::FrameWorld world;
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    QVERIFY(test::AnalyseImage(world, frame, "fat16.img"));
    CFilesTreeView* tree = frame->ExploreView()->Tree();
    const QModelIndex root = Child(*tree->Model(), tree->AnalysedVolumeItem(), QStringLiteral("."));
    const QModelIndex empty = Child(*tree->Model(), root, QStringLiteral("Empty deleted folder"));
    QVERIFY(empty.isValid());
    ClickItem(tree, empty);
    world.Idle();
    RecoveryClicks clicks;
    const MenuResult menu = ContextMenu(tree, empty, mainframe::ID_RECOVER);
    QVERIFY(menu.chosen);
    QTRY_COMPARE(clicks.boxes, QStringList{QStringLiteral("Recovery list is empty!")});
    QCOMPARE(clicks.optionsShown, 0);
    QVERIFY(world.Logged(u"ERR: Recovery list is empty!"));
    QVERIFY(!RecoveryJob().IsThreadAlive());
  }
};

VANDREL_QT_TEST(ExplorerRecoveryTest);
#include "ExplorerRecoveryTest.moc"
