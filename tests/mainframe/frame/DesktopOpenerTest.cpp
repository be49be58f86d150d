// The desktop's opener as the main window uses it, with a stub program in place
// of xdg-open: "Try To Open..." from a row's context menu says "opened
// successfully" only when the opener succeeded, and otherwise an error box names
// the file; "Go to Recovered..." and a web link of the Help menu show a box naming
// the folder and the address when the opener fails.
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

#include <fstream>

#include "app/DesktopOpener.h"
#include "controls/ControlId.h"
#include "dialogs/OnRecoveryDlg.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/explorer/FilesListView.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// A program that stands for xdg-open: it records its argument and ends with
// `status`; put in the opener's place while it lives.
class StubOpener {
 public:
  explicit StubOpener(int status) {
    script_ = dir_ / "opener";
    {
      std::ofstream out(script_);
      out << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (dir_ / "called") << "'\nexit " << status << "\n";
    }
    chmod(script_.c_str(), 0755);
    CDesktopOpener::SetProgram(QString::fromStdString(script_));
  }
  ~StubOpener() { CDesktopOpener::SetProgram(QString()); }
  QStringList Called() const {
    QStringList lines;
    std::ifstream in(dir_ / "called");
    for (std::string line; std::getline(in, line);) lines << QString::fromStdString(line);
    return lines;
  }

 private:
  test::TempDir dir_{"vandrel-opener-"};
  std::string script_;
};

// The texts of the message boxes shown while it lives (each closed with OK), and
// the progress dialog answered: `goTo` clicks "Go to Recovered..." at its end,
// else OK.
class Answers {
 public:
  explicit Answers(bool goTo = false) {
    QObject::connect(&timer_, &QTimer::timeout, [this, goTo] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes << box->text();
        box->accept();
      } else if (auto* options = qobject_cast<COnRecoveryDlg*>(modal)) {
        QTest::mouseClick(controls::FindControlAs<QPushButton>(options, 1), Qt::LeftButton);
      } else if (auto* progress = qobject_cast<CRecoveryProgressDlg*>(modal); progress && progress->IsEnded()) {
        const int id = goTo ? CRecoveryProgressDlg::IDC_GO_TO_RECOVERED : 1;
        QTest::mouseClick(controls::FindControlAs<QPushButton>(progress, id), Qt::LeftButton);
      }
    });
    timer_.start(20);
  }
  QStringList boxes;

 private:
  QTimer timer_;
};

CMainFrame* OpenActive(test::FrameWorld& world) {
  CMainFrame* frame = world.Open(32839);
  frame->resize(1000, 700);
  world.Idle();
  frame->activateWindow();
  return QTest::qWaitForWindowActive(frame, 3000) ? frame : nullptr;
}

// fat16 analysed; the row of the root folder's list named `name` clicked.
CFilesListView* AnalyseAndPick(test::FrameWorld& world, CMainFrame* frame, const QString& name) {
  if (!test::AnalyseImage(world, frame, "fat16.img")) return nullptr;
  CFilesListView* list = frame->ExploreView()->List();
  list->SetItemCount();
  (void)QTest::qWaitFor([&] { return list->viewport()->width() > 0; }, 2000);
  for (int row = 0; row < list->model()->rowCount(); ++row) {
    const QModelIndex index = list->model()->index(row, 0);
    if (index.data().toString() != name) continue;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    world.Idle();
    return list;
  }
  return nullptr;
}

// The row's context menu opened with the right button and the item of command
// `id` clicked; false when it is missing or disabled.
bool ChooseFromContextMenu(QAbstractItemView* view, int id) {
  bool chosen = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || !menu->isVisible()) return;
    timer.stop();
    for (QAction* action : menu->actions()) {
      if (controls::CommandId(action) != id || !action->isEnabled()) continue;
      chosen = true;
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
      return;
    }
    QTest::keyClick(menu, Qt::Key_Escape);
  });
  timer.start(20);
  const QPoint at = view->visualRect(view->currentIndex()).center();
  QTest::mousePress(view->viewport(), Qt::RightButton, {}, at);
  QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &event);
  QApplication::processEvents();
  return chosen;
}

}  // namespace

class DesktopOpenerTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void TryToOpenSaysOpenedOnlyWhenTheOpenerSucceeded_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("the opener fails (no application)") << 3;
    QTest::newRow("the opener succeeds") << 0;
  }
  void TryToOpenSaysOpenedOnlyWhenTheOpenerSucceeded() {
    QFETCH(int, status);
    test::FrameWorld world;
    StubOpener opener(status);
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    Settings().SetNoTryOpenWarning(1);
    CFilesListView* list = AnalyseAndPick(world, frame, QStringLiteral("deleted file.txt"));
    QVERIFY(list);
    Answers answers;
    QVERIFY(ChooseFromContextMenu(list, mainframe::ID_TRY_OPEN));
    QVERIFY(test::WaitUntil([&] { return !opener.Called().isEmpty() && !TryOpenJob().IsThreadAlive(); }, 30000));
    // The copy the opener was given, in the job's private folder.
    QCOMPARE(opener.Called().size(), 1);
    const QString copy = opener.Called().front();
    QVERIFY2(copy.endsWith(QStringLiteral("/deleted file.txt")), qPrintable(copy));
    if (status == 0) {
      QTest::qWait(200);
      QVERIFY(answers.boxes.isEmpty());
      QVERIFY(world.Logged(u"opened successfully"));
    } else {
      QTRY_COMPARE(answers.boxes.size(), 1);
      QCOMPARE(answers.boxes.front(),
               QStringLiteral("Opening file: \"%1\" failed! No application associated with this file").arg(copy));
      QVERIFY(!world.Logged(u"opened successfully"));
      QVERIFY(world.Logged(u"failed! No application associated with this file"));
    }
  }

  void GoToRecoveredNamesTheFolderTheOpenerCouldNotOpen() {
    test::FrameWorld world;
    StubOpener opener(3);
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    test::TempDir out("vandrel-go-to-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));
    CFilesListView* list = AnalyseAndPick(world, frame, QStringLiteral("deleted file.txt"));
    QVERIFY(list);
    Answers answers(true);
    QVERIFY(ChooseFromContextMenu(list, mainframe::ID_RECOVER));
    QTRY_VERIFY_WITH_TIMEOUT(!answers.boxes.isEmpty(), 30000);
    QCOMPARE(opener.Called(), QStringList{QString::fromStdString(out.path())});
    QVERIFY2(answers.boxes.front().contains(QString::fromStdString(out.path())), qPrintable(answers.boxes.front()));
    QVERIFY(answers.boxes.front().startsWith(QStringLiteral("The folder")));
  }

  void AWebLinkNamesTheAddressTheOpenerCouldNotOpen() {
    test::FrameWorld world;
    StubOpener opener(3);
    CMainFrame* frame = OpenActive(world);
    QVERIFY(frame);
    Answers answers;
    QVERIFY(test::ClickMenuItem(frame, mainframe::ID_WEB_SITE));
    QTRY_COMPARE(answers.boxes.size(), 1);
    QCOMPARE(opener.Called().size(), 1);
    QVERIFY(opener.Called().front().startsWith(QStringLiteral("http")));
    QVERIFY2(answers.boxes.front().contains(opener.Called().front()), qPrintable(answers.boxes.front()));
    QVERIFY(answers.boxes.front().startsWith(QStringLiteral("The address")));
  }

  // A program that isn't there fails at once.
  void AMissingOpenerFails() {
    CDesktopOpener::SetProgram(QStringLiteral("/nonexistent/opener"));
    Answers answers;
    int result = -1;
    CDesktopOpener::Open(QUrl(QStringLiteral("https://example.org/")), [&](bool opened) { result = opened; });
    QTRY_COMPARE(result, 0);
    QTRY_COMPARE(answers.boxes.size(), 1);
    CDesktopOpener::SetProgram(QString());
  }
};

VANDREL_QT_TEST(DesktopOpenerTest);
#include "DesktopOpenerTest.moc"
