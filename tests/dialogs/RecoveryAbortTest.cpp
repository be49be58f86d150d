// Abort in mid-job through the recovery command: a slow memory volume, the real
// recovery job and progress dialog, Abort clicked while files are being copied.
// (The explorer's roads over the fixture images: tests/mainframe/explorer/ExplorerEndToEndTest.)
#include <QTest>

#include "dialogs/RecoveryCommands.h"
#include "dialogs/RecoveryProgressDlg.h"
#include "support/QtTestRegistry.h"
#include "tests/dialogs/RecoveryWorld.h"

class RecoveryAbortTest : public QObject {
  Q_OBJECT

 private slots:
  void AbortInMidJobOnASlowVolumeStopsAndLeavesNoThread() {
    test::RecoveryWorld world;
    std::vector<std::uint8_t> data(1 << 20, 0x5A);
    auto volume = world.MemoryVolume(data, std::chrono::milliseconds(60));
    CRecoveryCommands::Selection selection;
    for (int i = 0; i < 12; ++i) {
      const std::u16string name = platform::Utf8ToUtf16("part" + std::to_string(i) + ".bin");
      selection.push_back({volume, world.Add(*volume, 10 + i, name, 4096 + i * 65536, 60000)});
    }
    world.Settings().SetConfirmRecoveryAbort(0);
    test::WhenModal<CRecoveryProgressDlg>([&](CRecoveryProgressDlg* progress) {
      auto* timer = new QTimer(progress);
      QObject::connect(timer, &QTimer::timeout, progress, [progress, timer] {
        if (RecoveryJob().CurrentIndex() < 2) return;
        timer->stop();
        test::ClickControl(progress, 2);
      });
      timer->start(10);
    });
    QCOMPARE(CRecoveryCommands::StartRecovery(&world.top, selection), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!RecoveryJob().IsThreadAlive(), 20000);
    QVERIFY(world.Logged(u"Recovery aborted."));
    QVERIFY(RecoveryJob().SuccessCount() >= 2);
    QVERIFY(RecoveryJob().SuccessCount() < 12);
    QCOMPARE(world.App().Progress().recoveryRunning.load(), 0);
  }
};
VANDREL_QT_TEST(RecoveryAbortTest);

#include "RecoveryAbortTest.moc"
