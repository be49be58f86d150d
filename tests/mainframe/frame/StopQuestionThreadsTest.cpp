// "Are you sure you want to stop scanning?" asked by Stop Analyzing while the
// analysis thread works: when the scan ends by itself while the question is up,
// the box closes itself, nothing is stopped and no abort is logged; while the scan
// still runs, the box stays until it is answered.
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/CommandTable.h"
#include "platform/Text.h"
#include "support/QtTestRegistry.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

using namespace std::chrono_literals;

class StopQuestionThreads : public QObject {
  Q_OBJECT

  // fat12.img's analysis started and held at its first sector read, with the stop
  // question turned on.
  static bool StartHeldAnalysis(test::FrameWorld& world, test::SectorGate& gate, std::shared_ptr<CVolume>& volume) {
    world.Idle();
    Settings().SetConfirmScanAbort(1);
    gate.Install();
    volume = world.computer->OpenImageFile(platform::Utf8ToUtf16(VANDREL_FIXTURE_DIR "/fat12.img"));
    if (!volume || world.computer->StartAnalysis(volume) != 1) return false;
    if (!test::WaitUntil([&] { return gate.entered.load() == 1; })) return false;
    world.Idle();
    return true;
  }

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void TheQuestionClosesItselfWhenTheScanEnds() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    test::SectorGate gate;
    std::shared_ptr<CVolume> volume;
    QVERIFY(StartHeldAnalysis(world, gate, volume));

    // The question is up; the scan then ends by itself.
    int shown = 0;
    bool closedByItself = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box && box->isVisible() && shown == 0) {
        ++shown;
        gate.open.store(true);
        // Nobody answers: only the end of the scan may close it.
        QTimer::singleShot(8000, box, [box] {
          if (box->isVisible()) box->done(QMessageBox::Yes);
        });
      }
      if (shown == 1 && !QApplication::activeModalWidget()) closedByItself = true;
    });
    watch.start(20);
    QVERIFY(test::ClickToolButton(frame, mainframe::ID_STOP_ANALYSIS) ||
            test::ClickMenuItem(frame, mainframe::ID_STOP_ANALYSIS));
    QTRY_VERIFY_WITH_TIMEOUT(closedByItself, 4000);
    QCOMPARE(shown, 1);
    QVERIFY(test::WaitUntil([&] { return !volume->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    QVERIFY(!world.Logged(u"Operation aborted"));
    QVERIFY(world.Logged(u"Analysis of "));
  }

  void WhileTheScanRunsTheQuestionWaitsForItsAnswer() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    test::SectorGate gate;
    std::shared_ptr<CVolume> volume;
    QVERIFY(StartHeldAnalysis(world, gate, volume));
    bool stillUp = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      watch.stop();
      // Well past the watch's period, the box is still there: then Yes.
      QTimer::singleShot(10 * CUiCallbacks::kWatchMs, box, [box, &stillUp] {
        stillUp = box->isVisible();
        box->done(QMessageBox::Yes);
      });
    });
    watch.start(20);
    QVERIFY(test::ClickToolButton(frame, mainframe::ID_STOP_ANALYSIS) ||
            test::ClickMenuItem(frame, mainframe::ID_STOP_ANALYSIS));
    QTRY_VERIFY(stillUp);
    QVERIFY(test::WaitUntil([&] { return !volume->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    QVERIFY(test::WaitUntil([&] { return world.Logged(u"Operation aborted"); }, 5000));
  }
};

VANDREL_QT_TEST(StopQuestionThreads);
#include "StopQuestionThreadsTest.moc"
