// The main window over the real engine: a drive image loaded through the open
// dialog, an analysis shown by the progress bar, the queue continued when an
// analysis ends, the device watch reaching the drive tree, and Rescan Drives
// waiting for the drive list without stopping the window.
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/QtText.h"
#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/FrameStatusBar.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "platform/UeventMonitor.h"
#include "support/QtTestRegistry.h"
#include "support/Screenshot.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

using namespace std::chrono_literals;

namespace {

QString Fixture(const char* name) { return QStringLiteral(VANDREL_FIXTURE_DIR "/") + QLatin1String(name); }

// Answers the next open dialog with `path` (empty: Cancel) once it shows.
// `filters`, when given, receives the dialog's name filters and default suffix.
void AnswerOpenDialog(const QString& path, bool* answered, QStringList* filters = nullptr) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, path, answered, filters] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->stop();
    timer->deleteLater();
    *answered = true;
    if (filters) *filters = dialog->nameFilters() << dialog->defaultSuffix();
    if (path.isEmpty()) {
      dialog->reject();
      return;
    }
    // The name typed into the dialog's name field, then Enter.
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) {
      dialog->reject();
      return;
    }
    edit->setFocus();
    edit->setText(path);
    QTest::keyClick(edit, Qt::Key_Return);
  });
  timer->start();
}

std::string KernelEvent(const std::string& action, const std::string& name) {
  std::string s(4, '\0');  // the sender's id: 0, the kernel
  s += action + "@/devices/virtual/block/" + name;
  s.push_back('\0');
  for (const std::string& kv : {"ACTION=" + action, std::string("SUBSYSTEM=block"), "DEVNAME=" + name,
                                std::string("DEVTYPE=disk")}) {
    s += kv;
    s.push_back('\0');
  }
  return s;
}

struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  void Release() {
    {
      std::lock_guard lock(mutex);
      open = true;
    }
    cv.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return open; });
  }
};

}  // namespace

class FrameEngineTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    GetScanProgress().running.store(0);
  }

  void LoadDriveImageOpensTheFileAsAnImageVolume() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QSignalSpy rebuilt(frame->ExploreView(), &CVolumeExploreView::driveTreeRefreshed);
    const int before = world.computer->Volumes().GetCount();

    // Cancel changes nothing. The filters keep their labels; their patterns (the
    // last brackets, not shown) are ones that match: the usual image names, and
    // "*" for any file.
    bool answered = false;
    QStringList filters;
    AnswerOpenDialog(QString(), &answered, &filters);
    QVERIFY(test::ClickMenuItem(frame, 32783));
    QVERIFY(answered);
    QCOMPARE(filters, (QStringList{"Drive Image Files ( *.dsk ) (*.dsk *.img *.dd *.raw *.iso)", "All Files ( *.* ) (*)",
                                   "dsk"}));
    QCOMPARE(world.computer->Volumes().GetCount(), before);
    QCOMPARE(rebuilt.count(), 0);

    answered = false;
    AnswerOpenDialog(Fixture("fat16.img"), &answered);
    QVERIFY(test::ClickMenuItem(frame, 32783));
    QVERIFY(answered);
    QCOMPARE(world.computer->Volumes().GetCount(), before + 1);
    std::shared_ptr<CVolume> image = world.computer->Volumes().GetAt(before);
    QVERIFY(image);
    QCOMPARE(image->GetKind(), int(CVolume::kImageFile));
    QCOMPARE(app::ToQString(image->GetPath()), Fixture("fat16.img"));
    QCOMPARE(image->GetFileSystemFamily(), 0);
    QCOMPARE(rebuilt.count(), 1);
    QCOMPARE(frame->ExploreView()->LastSelectedNode(), image->DeviceNodeId());

    // A file that can't be read changes nothing.
    if (geteuid() != 0) {
      test::TempDir dir;
      const std::string locked = dir / "locked.dsk";
      { std::ofstream(locked) << "x"; }
      chmod(locked.c_str(), 0);
      answered = false;
      AnswerOpenDialog(QString::fromStdString(locked), &answered);
      QVERIFY(test::ClickMenuItem(frame, 32783));
      QVERIFY(answered);
      QCOMPARE(world.computer->Volumes().GetCount(), before + 1);
      QCOMPARE(rebuilt.count(), 1);
    }
  }

  void TheProgressBarShowsWhileTheAnalysisRuns() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    frame->resize(1000, 700);
    world.Idle();
    test::SectorGate gate;
    gate.Install();
    std::shared_ptr<CVolume> volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/ntfs.img"));
    QVERIFY(volume);
    world.computer->SetSelectedVolume(volume);
    world.Idle();
    QProgressBar* bar = frame->StatusBar()->ProgressBar();
    QVERIFY(!bar->isVisible());

    QCOMPARE(Settings().SignaturePass(), 1);  // the frame's analyses include the signature pass
    QCOMPARE(world.computer->StartAnalysis(volume), 1);
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 1; }));
    QVERIFY(test::WaitUntil([&] { return bar->isVisible() && bar->value() == 42; }, 5000));
    world.Idle();
    // Analyze is off and Stop on while it runs.
    QVERIFY(!test::ToolButton(frame, 32774)->isEnabled());
    QVERIFY(test::ToolButton(frame, 32775)->isEnabled());
    QVERIFY(!test::ToolButton(frame, 32781)->isEnabled());
    QVERIFY(!test::SaveScreenshot(frame, QStringLiteral("mainframe"), QStringLiteral("analysis_running")).isEmpty());

    gate.open.store(true);
    QVERIFY(test::WaitUntil([&] { return !GetScanProgress().IsRunning(); }));
    QVERIFY(test::WaitUntil([&] { return !bar->isVisible(); }, 5000));
    QCOMPARE(frame->StatusText(), QStringLiteral("Ready"));
    // The running flag goes before the thread's last lines: its end is awaited.
    QVERIFY(test::WaitUntil([&] { return !volume->HasAnalysisThread(); }));
    QVERIFY(world.Logged(u"Analysis of "));
  }

  void TheAbortIsLoggedOnlyAfterAStop() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    CVolumeExploreView* explorer = frame->ExploreView();
    QVERIFY(explorer);
    // Nothing runs: the stop does nothing and logs nothing.
    QCOMPARE(explorer->StopAnalysis(true), 1);
    QVERIFY(!world.Logged(u"Operation aborted"));
    QCOMPARE(Settings().SignaturePass(), 1);

    test::SectorGate gate;
    gate.Install();
    std::shared_ptr<CVolume> volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/fat12.img"));
    QVERIFY(volume);
    QCOMPARE(world.computer->StartAnalysis(volume), 1);
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 1; }));
    QCOMPARE(explorer->StopAnalysis(true), 1);
    QVERIFY(test::WaitUntil([&] { return !volume->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    QCOMPARE(world.LogCount(u"Operation aborted. Incomplete drive analysis!"), 1);
    QVERIFY(!world.Logged(u"Analysis of "));
    QCOMPARE(Settings().SignaturePass(), 0);
  }

  void TheEndOfAnAnalysisContinuesTheQueue_data() {
    QTest::addColumn<int>("autoContinue");
    QTest::newRow("AutoContinueQueue on") << 1;
    QTest::newRow("AutoContinueQueue off") << 0;
  }
  void TheEndOfAnAnalysisContinuesTheQueue() {
    QFETCH(int, autoContinue);
    test::FrameWorld world;
    Settings().SetAutoContinueQueue(autoContinue);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    test::SectorGate gate;
    gate.Install();
    auto a = world.computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/fat12.img"));
    auto b = world.computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/fat16.img"));
    QVERIFY(a && b);
    QCOMPARE(world.computer->StartAnalysis(a), 1);
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 1; }));
    QCOMPARE(world.computer->StartAnalysis(b), 0);  // waits in the queue
    QCOMPARE(world.computer->Queue(), (std::vector<std::shared_ptr<CVolume>>{a, b}));

    gate.open.store(true);
    if (autoContinue) {
      // a's end reaches the frame, which starts b.
      QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 2; }));
      QVERIFY(test::WaitUntil([&] { return world.computer->Queue().empty() && !GetScanProgress().IsRunning(); }));
      QCOMPARE(world.computer->AnalysedVolume(), b);
    } else {
      QVERIFY(test::WaitUntil([&] { return !a->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
      QTest::qWait(500);  // the end has been handled: nothing follows
      QCOMPARE(gate.entered.load(), 1);
      QCOMPARE(world.computer->Queue(), std::vector<std::shared_ptr<CVolume>>{b});
      QVERIFY(!b->HasAnalysisThread());
      QCOMPARE(world.computer->FinishAnalysis(b, false), 1);
    }
    QVERIFY(frame->isVisible());
  }

  void TheDeviceWatchRebuildsTheDriveTree() {
    int fds[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    test::FrameWorld world(platform::MakePrefixedSocketSource(fds[0]));
    world.tree.Disk("sda", "8:0", 4096, false, "Fixed Disk");
    QCOMPARE(world.computer->Volumes().Refresh(false), 1);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QSignalSpy rebuilt(frame->ExploreView(), &CVolumeExploreView::driveTreeRefreshed);

    world.tree.Disk("sdc", "8:32", 1024, true, "Card Reader");
    const std::string event = KernelEvent("add", "sdc");
    QCOMPARE(send(fds[1], event.data(), event.size(), 0), ssize_t(event.size()));
    QVERIFY(test::WaitUntil([&] { return rebuilt.count() == 1; }));
    QCOMPARE(world.computer->Volumes().GetCount(), 2);
    QVERIFY(world.Logged(u"Medium connected!"));
    world.computer->Volumes().StopDeviceWatch();
    close(fds[1]);
  }

  void RescanDrivesKeepsTheWindowAliveWhileItWaits() {
    test::FrameWorld world;
    world.tree.Disk("sda", "8:0", 4096, false, "Fixed Disk");
    auto gate = std::make_shared<Gate>();
    CVolumesList& list = world.computer->Volumes();
    list.SetQueryWait(30s);
    list.SetDeviceOpeners([gate](const DriveSource& s) -> CVolumesList::DeviceOpener {
      DeviceInfo info;
      info.isBlockDevice = true;
      info.sizeBytes = s.sizeBytes;
      auto device = std::make_shared<MemoryBlockDevice>(std::vector<std::uint8_t>(s.sizeBytes), info);
      return [device, gate](int&) -> std::shared_ptr<IBlockDevice> {
        gate->Wait();  // the device answers only when the test lets it
        return device;
      };
    });
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QSignalSpy rebuilt(frame->ExploreView(), &CVolumeExploreView::driveTreeRefreshed);
    QVERIFY(QTest::qWaitForWindowActive(frame, 3000) || true);
    frame->activateWindow();
    (void)QTest::qWaitForWindowActive(frame, 3000);

    QTest::keyClick(frame, Qt::Key_F5);
    QVERIFY(test::WaitUntil([&] { return frame->ExploreView()->IsRescanning(); }, 3000));
    // The window goes on: timers fire, idle work runs, 32781 is off, the wait
    // cursor shows.
    bool fired = false;
    QTimer::singleShot(100, [&] { fired = true; });
    QVERIFY(test::WaitUntil([&] { return fired; }, 3000));
    world.Idle();
    QVERIFY(frame->ExploreView()->IsRescanning());
    QVERIFY(!frame->Actions()->MenuAction(32781)->isEnabled());
    QVERIFY(!test::ToolButton(frame, 32781)->isEnabled());
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    // A second F5 meanwhile starts nothing more.
    QTest::keyClick(frame, Qt::Key_F5);
    QCOMPARE(rebuilt.count(), 0);

    gate->Release();
    QVERIFY(test::WaitUntil([&] { return rebuilt.count() == 1; }));
    QVERIFY(!frame->ExploreView()->IsRescanning());
    QVERIFY(!QApplication::overrideCursor());
    world.Idle();
    QVERIFY(frame->Actions()->MenuAction(32781)->isEnabled());
    QCOMPARE(list.GetCount(), 1);
    QTest::qWait(300);
    QCOMPARE(rebuilt.count(), 1);
  }
};
VANDREL_QT_TEST(FrameEngineTest);

#include "FrameEngineTest.moc"
