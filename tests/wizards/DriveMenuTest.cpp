// The drive tree's device menu as a person reaches it, in the wizard's drive page
// and in the main window: the item right-clicked (a context-menu event on its
// rectangle), or the Menu key or Shift+F10 typed in the tree; the popup taken from
// QApplication::activePopupWidget(), the item chosen there with the arrow keys and
// Return; the dialog that opens identified by QApplication::activeModalWidget()
// (its class and title) and answered. One row per item of the menu in each mode
// that shows it, with the effect the item must have. Also: the keyboard focus
// stays in the drive page's tree while the selection moves, F5 rescans there, and
// the main window opened from the wizard lists the drives at once.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>

#include "dialogs/VolumeImage_CreateDlg.h"
#include "dialogs/VolumeInformationDlg.h"
#include "engine/records/ProgramLog.h"
#include "mainframe/frame/MainFrame.h"
#include "support/QtTestRegistry.h"
#include "tests/wizards/WizardModeTestSupport.h"

namespace {

enum class Opener { RightClick, MenuKey, ShiftF10 };
enum class Mode { Wizard, Explorer };

// The modal windows that open while a command runs, by class and title, each
// answered by `answer` (which closes it); polled while the returned object lives.
class ModalRecorder {
 public:
  using Answerer = std::function<void(QWidget*)>;
  explicit ModalRecorder(Answerer answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == last_) return;
      last_ = modal;
      seen << QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle());
      answer_(modal);
    });
    timer_.start(20);
  }
  QStringList seen;

 private:
  Answerer answer_;
  QTimer timer_;
  QPointer<QWidget> last_;
};

// Opens the menu of a tree item as a person does and chooses the item with
// command `id` by the arrow keys and Return. What the popup offered (command ids
// of its enabled items) goes to `offered`; false when no popup opened or the item
// was not there or disabled.
bool ChooseFromMenu(CFilesTreeView& tree, const QModelIndex& item, int id, Opener opener, QList<int>* offered = nullptr) {
  tree.scrollTo(item);
  const QRect rect = tree.visualRect(item);
  const QPoint at(std::min(rect.left() + 20, tree.viewport()->width() - 2), rect.center().y());
  bool chosen = false;
  bool popupSeen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    poll.stop();
    popupSeen = true;
    QAction* target = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator() || !a->isEnabled()) continue;
      if (offered) offered->append(controls::CommandId(a));
      if (controls::CommandId(a) == id) target = a;
    }
    if (!target) {
      QTest::keyClick(menu, Qt::Key_Escape);
      return;
    }
    for (int i = 0; i < 30 && menu->activeAction() != target; ++i) QTest::keyClick(menu, Qt::Key_Down);
    chosen = menu->activeAction() == target;
    QTest::keyClick(menu, chosen ? Qt::Key_Return : Qt::Key_Escape);
  });
  poll.start(20);
  switch (opener) {
    case Opener::RightClick: {
      // The press selects the item; the context-menu event follows on its rectangle.
      QTest::mousePress(tree.viewport(), Qt::RightButton, {}, at);
      QTest::mouseRelease(tree.viewport(), Qt::RightButton, {}, at);
      QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
      QApplication::sendEvent(tree.viewport(), &event);
      break;
    }
    case Opener::MenuKey:
      tree.setFocus();
      tree.setCurrentIndex(item);
      QTest::keyClick(&tree, Qt::Key_Menu);
      break;
    case Opener::ShiftF10:
      tree.setFocus();
      tree.setCurrentIndex(item);
      QTest::keyClick(&tree, Qt::Key_F10, Qt::ShiftModifier);
      break;
  }
  QApplication::processEvents();
  return popupSeen && chosen;
}

QModelIndex NodeOf(CFilesTreeView& tree, const std::shared_ptr<CVolume>& volume) {
  return volume ? tree.Model()->IndexOfNode(volume->DeviceNodeId()) : QModelIndex();
}

}  // namespace

class DriveMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryItemActs_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("opener");
    auto row = [](const char* name, Mode mode, int command, Opener opener) {
      QTest::newRow(name) << int(mode) << command << int(opener);
    };
    row("wizard: Select", Mode::Wizard, mainframe::ID_SELECT_NODE, Opener::RightClick);
    row("wizard: Create Drive Image...", Mode::Wizard, mainframe::ID_CREATE_IMAGE, Opener::RightClick);
    row("wizard: Load Drive Image...", Mode::Wizard, mainframe::ID_LOAD_IMAGE, Opener::ShiftF10);
    row("wizard: Rescan Drives", Mode::Wizard, mainframe::ID_RESCAN_DRIVES, Opener::MenuKey);
    row("wizard: Properties", Mode::Wizard, mainframe::ID_DRIVE_PROPERTIES, Opener::RightClick);
    row("explorer: Start Analyzing", Mode::Explorer, mainframe::ID_START_ANALYSIS, Opener::RightClick);
    row("explorer: Create Drive Image...", Mode::Explorer, mainframe::ID_CREATE_IMAGE, Opener::ShiftF10);
    row("explorer: Load Drive Image...", Mode::Explorer, mainframe::ID_LOAD_IMAGE, Opener::RightClick);
    row("explorer: Search Lost Drives", Mode::Explorer, mainframe::ID_SEARCH_LOST_DRIVES, Opener::MenuKey);
    row("explorer: Rescan Drives", Mode::Explorer, mainframe::ID_RESCAN_DRIVES, Opener::RightClick);
    row("explorer: Exit", Mode::Explorer, mainframe::ID_APP_EXIT, Opener::RightClick);
  }
  void EveryItemActs() {
    QFETCH(int, mode);
    QFETCH(int, command);
    QFETCH(int, opener);
    test::WizardModeWorld w(true);
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    CVolumeExploreView* view = w.sheet->Step1()->View();
    // The image comes the way the README tells: "Load Drive Image..." of a drive's menu.
    std::shared_ptr<CVolume> image;
    {
      ModalRecorder answer([](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) test::AnswerFileDialog(dialog, test::FixtureImage("fat16.img"));
      });
      QTRY_VERIFY(view->Tree()->Model()->rowCount() > 0);
      const QModelIndex myComputer = view->Tree()->MyComputerItem();
      QModelIndex drive;
      for (int r = 0; r < view->Tree()->Model()->rowCount(myComputer) && !drive.isValid(); ++r)
        drive = view->Tree()->Model()->index(r, 0, myComputer);
      if (!drive.isValid()) {
        // No disk on this machine: My Computer has no menu; the image comes by the dialog.
        QVERIFY(w.LoadImage("fat16.img"));
      } else {
        QVERIFY(ChooseFromMenu(*view->Tree(), drive, mainframe::ID_LOAD_IMAGE, Opener::RightClick));
        QCOMPARE(answer.seen.value(0), QStringLiteral("QFileDialog \"Open\""));
      }
      image = w.sheet->Step1()->SelectedDrive();
      QVERIFY(image);
      QCOMPARE(image->GetKind(), CVolume::kImageFile);
    }

    CFilesTreeView* tree = view->Tree();
    CMainFrame* frame = nullptr;
    if (Mode(mode) == Mode::Explorer) {
      QVERIFY(w.sheet->OnCommand(mainframe::ID_MODE_EXPLORER));
      QTRY_VERIFY((frame = qobject_cast<CMainFrame*>(g_App->TopWindow())) != nullptr);
      QVERIFY(QTest::qWaitForWindowExposed(frame));
      tree = frame->ExploreView()->Tree();
      view = frame->ExploreView();
      // The drives are listed at once, the image among them.
      QTRY_VERIFY(NodeOf(*tree, image).isValid());
      tree->SelectItem(NodeOf(*tree, image));
      g_App->RunIdleHandlers();
    }
    const QModelIndex item = NodeOf(*tree, image);
    QVERIFY(item.isValid());

    const std::string made = w.out.path() + "/made.dsk";
    ModalRecorder answer([&](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        test::AnswerFileDialog(dialog, dialog->acceptMode() == QFileDialog::AcceptSave ? made : test::FixtureImage("fat12.img"));
      } else if (auto* create = qobject_cast<CVolumeImage_CreateDlg*>(modal)) {
        QTimer* closer = new QTimer(create);
        QObject::connect(closer, &QTimer::timeout, create, [create] {
          if (create->Finished()) QTest::mouseClick(controls::FindControlAs<QPushButton>(create, 2), Qt::LeftButton);
        });
        closer->start(20);
      } else if (modal->isVisible()) {
        QTest::keyClick(modal, Qt::Key_Escape);
      }
    });
    QSignalSpy rebuilt(view, &CVolumeExploreView::driveTreeRefreshed);
    const int completed = int(g_Computer->GetLog().Lines().size());
    const int exits = int(w.exitCodes.size());
    QList<int> offered;
    QVERIFY2(ChooseFromMenu(*tree, item, command, Opener(opener), &offered),
             qPrintable(QStringLiteral("offered %1").arg([&] {
               QStringList s;
               for (int id : offered) s << QString::number(id);
               return s.join(QLatin1Char(' '));
             }())));

    auto logged = [&](const QString& text) {
      const auto lines = g_Computer->GetLog().Lines();
      for (std::size_t i = std::size_t(completed); i < lines.size(); ++i)
        if (QString::fromStdU16String(lines[i]).contains(text)) return true;
      return false;
    };
    switch (command) {
      case mainframe::ID_SELECT_NODE:
        // The drive is chosen and the wizard goes on to the file types.
        QTRY_COMPARE(w.Page(), 2);
        QCOMPARE(CWizardMode_Main::CurrentVolume(), image);
        break;
      case mainframe::ID_CREATE_IMAGE: {
        QTRY_COMPARE(answer.seen.size(), 2);
        QCOMPARE(answer.seen[0], QStringLiteral("QFileDialog \"Save As\""));
        QCOMPARE(answer.seen[1], QStringLiteral("CVolumeImage_CreateDlg \"Creating Drive Image\""));
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(std::filesystem::file_size(made), std::filesystem::file_size(test::FixtureImage("fat16.img")));
        // The new image is listed and selected.
        std::shared_ptr<CVolume> selected = view->SelectedDeviceVolume();
        QVERIFY(selected && selected != image);
        QCOMPARE(selected->GetKind(), CVolume::kImageFile);
        break;
      }
      case mainframe::ID_LOAD_IMAGE: {
        QTRY_COMPARE(answer.seen.size(), 1);
        QCOMPARE(answer.seen[0], QStringLiteral("QFileDialog \"Open\""));
        std::shared_ptr<CVolume> selected = view->SelectedDeviceVolume();
        QVERIFY(selected && selected != image);
        QVERIFY(QString::fromStdU16String(selected->GetDisplayName()).contains(QStringLiteral("fat12.img")));
        break;
      }
      case mainframe::ID_RESCAN_DRIVES:
        QTRY_VERIFY(rebuilt.count() > 0);
        // The image stays listed after the rescan.
        QVERIFY(NodeOf(*tree, image).isValid());
        break;
      case mainframe::ID_DRIVE_PROPERTIES:
        QTRY_COMPARE(answer.seen.size(), 1);
        QCOMPARE(answer.seen[0], QStringLiteral("CVolumeInformationDlg \"Volume Information\""));
        break;
      case mainframe::ID_START_ANALYSIS:
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Analysis of")) && !image->HasAnalysisThread(), 60000);
        QVERIFY(image->Store().Read().Count() > 0);
        break;
      case mainframe::ID_SEARCH_LOST_DRIVES:
        // The sector pass that looks for partitions runs over the image.
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("Analyse volume sectors started")) && !image->HasAnalysisThread(), 60000);
        break;
      case mainframe::ID_APP_EXIT:
        QTRY_VERIFY(int(w.exitCodes.size()) > exits || g_App->IsQuitting());
        break;
      default:
        QFAIL("no effect given for this command");
    }
    CVolume::JoinAnalysisThreads();
    if (frame) delete frame;
  }

  // The main window made by a mode switch lists the drives at once, each time:
  // the drive list is the one the program already holds.
  void TheMainWindowListsTheDrivesAtOnce() {
    test::WizardModeWorld w(true);
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage("fat16.img"));
    const std::shared_ptr<CVolume> image = w.sheet->Step1()->SelectedDrive();
    QVERIFY(image);
    for (int round = 0; round < 2; ++round) {
      auto* sheet = qobject_cast<CWizardMode_Main*>(g_App->TopWindow());
      QVERIFY(sheet);
      QWidget* top = sheet;
      QVERIFY(sheet->OnCommand(mainframe::ID_MODE_EXPLORER));
      CMainFrame* frame = nullptr;
      QTRY_VERIFY((frame = qobject_cast<CMainFrame*>(g_App->TopWindow())) != nullptr && frame != top);
      QVERIFY(QTest::qWaitForWindowExposed(frame));
      QTRY_VERIFY2(NodeOf(*frame->ExploreView()->Tree(), image).isValid(), qPrintable(QString::number(round)));
      QCOMPARE(frame->ExploreView()->CurrentView(), int(CVolumeExploreView::VIEW_MY_COMPUTER));
      // To the wizard and back.
      frame->OnCommand(mainframe::ID_MODE_WIZARD);
      QTRY_VERIFY(qobject_cast<CWizardMode_Main*>(g_App->TopWindow()) != nullptr);
    }
    delete g_App->TopWindow();
  }

  // The selection moves with the arrow keys while the focus stays in the tree.
  void TheFocusStaysInTheDrivePagesTree() {
    test::WizardModeWorld w;
    QVERIFY(w.Start());
    QVERIFY(w.ClickNext());
    QVERIFY(w.LoadImage("fat16.img"));
    QVERIFY(w.LoadImage("fat12.img"));
    CFilesTreeView* tree = w.sheet->Step1()->View()->Tree();
    w.sheet->activateWindow();
    tree->setFocus();
    QTRY_VERIFY(tree->hasFocus());
    const QModelIndex before = tree->currentIndex();
    QTest::keyClick(tree, Qt::Key_Up);
    QApplication::processEvents();
    QVERIFY(tree->currentIndex() != before);
    QVERIFY2(tree->hasFocus(), QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
    QTest::keyClick(tree, Qt::Key_Down);
    QApplication::processEvents();
    QCOMPARE(tree->currentIndex(), before);
    QVERIFY(tree->hasFocus());
    // F5, as the menu shows it, rescans the drives.
    QSignalSpy rebuilt(w.sheet->Step1()->View(), &CVolumeExploreView::driveTreeRefreshed);
    QTest::keyClick(tree, Qt::Key_F5);
    QTRY_VERIFY(rebuilt.count() > 0);
    // Next's accelerator from the tree.
    QTRY_VERIFY(tree->hasFocus());
    QTRY_VERIFY(w.NextEnabled());
    QTest::keyClick(tree, Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(w.Page(), 2);
  }
};

VANDREL_QT_TEST(DriveMenuTest);
#include "DriveMenuTest.moc"
