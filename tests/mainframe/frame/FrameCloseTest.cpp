// The main window's close with the user's answers scripted: "Confirm application
// shutdown" on and off, an analysis running or not, temporary files of "try to
// open" left or not. The exit question comes first and No changes nothing; the
// stop asks only without it; the temporary files are offered last; "Operation
// aborted..." is logged only when an analysis was stopped.
#include <QUrl>

#include <atomic>
#include <thread>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/FileSystemFactory.h"
#include "engine/volume/Volume.h"
#include "platform/Text.h"
#include "search/RecoveryJobs.h"
#include "support/QtTestRegistry.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

namespace {

// A parser that works until the gate opens or the analysis is stopped.
class GatedParser : public CFileSystem {
 public:
  GatedParser(std::atomic<bool>& open, std::atomic<int>& entered, ScanProgress& progress)
      : open_(open), entered_(entered), progress_(progress) {}
  int Analyse() override {
    entered_.fetch_add(1);
    while (!open_.load() && progress_.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
  }

 private:
  std::atomic<bool>& open_;
  std::atomic<int>& entered_;
  ScanProgress& progress_;
};

std::shared_ptr<CVolume> MemoryVolume(CLocalComputer& computer, const std::u16string& name) {
  std::vector<std::uint8_t> bytes(64 * 1024);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>('a' + i % 26);
  auto device = std::make_shared<MemoryBlockDevice>(std::move(bytes));
  auto v = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  v->SetDeviceOpener([device](int&) { return device; });
  v->SetReadRetries(0);
  v->SetDeviceNodeId(computer.NewObjectId());
  v->QueryInformation();
  v->UpdateInfo([&](VolumeInfo& i) { i.description = name; });
  computer.Volumes().Add(v);
  return v;
}

}  // namespace

class FrameCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    SetFileSystemMaker(nullptr);
    TryOpenJob().SetDestinationMatcher(nullptr);
  }

  void TheCloseAsksInOrderAndNoChangesNothing_data() {
    QTest::addColumn<bool>("confirmExit");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("temporaryFiles");
    QTest::addColumn<QList<int>>("answers");  // Answer values, in the order asked
    QTest::addColumn<QStringList>("asked");   // the texts shown, in order
    QTest::addColumn<bool>("closed");
    const QString exitQ = "Are you sure you want to exit the application?";
    const QString stopQ = "Are you sure you want to stop scanning?";
    const QString tempQ = "Delete temporary files?";
    const int yes = int(Answer::Yes), no = int(Answer::No);
    for (bool running : {false, true})
      for (bool temp : {false, true}) {
        const QString name = QStringLiteral("%1, %2").arg(running ? "running" : "idle", temp ? "temporary files" : "none");
        QStringList after;
        if (temp) after << tempQ;
        // Confirm on, Yes: no second question about the scan.
        QTest::newRow(qPrintable("confirm, Yes, " + name))
            << true << running << temp << QList<int>{yes, yes} << (QStringList{exitQ} + after) << true;
        QTest::newRow(qPrintable("confirm, No, " + name))
            << true << running << temp << QList<int>{no} << QStringList{exitQ} << false;
        // Confirm off: the stop asks (only while a scan runs).
        QStringList stop;
        if (running) stop << stopQ;
        QTest::newRow(qPrintable("no confirm, Yes, " + name))
            << false << running << temp << QList<int>{yes, yes} << (stop + after) << true;
        if (running)
          QTest::newRow(qPrintable("no confirm, stop declined, " + name))
              << false << running << temp << QList<int>{no} << stop << false;
      }
  }
  void TheCloseAsksInOrderAndNoChangesNothing() {
    QFETCH(bool, confirmExit);
    QFETCH(bool, running);
    QFETCH(bool, temporaryFiles);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, asked);
    QFETCH(bool, closed);
    test::FrameWorld world;
    Settings().SetConfirmExit(confirmExit ? 1 : 0);
    Settings().SetConfirmScanAbort(1);
    Settings().SetExitProcessOnQuit(0);
    test::TempDir temp;
    Settings().SetTempFolder(platform::Utf8ToUtf16(temp.path()));
    QList<QUrl> opened;
    world.app->Callbacks().SetOpenHandler([&](const QUrl& url) {
      opened << url;
      return true;
    });
    CMainFrame* frame = world.Open(32839);
    world.Idle();

    // "Try to open" leaves a temporary copy.
    if (temporaryFiles) {
      auto source = MemoryVolume(*world.computer, u"Source drive");
      FoundObject file;
      file.id = 100;
      file.parentId = 5;
      file.offset = 512;
      file.size = 700;
      file.flags = OBJ_NAMED;
      file.SetName(u"note.txt");
      FoundObject* stored = source->Store().RegisterObject(file);
      QVERIFY(stored);
      CRecovery& job = TryOpenJob();
      job.SetDestinationMatcher([](const std::string&, const CVolume&) { return DeviceMatch::Different; });
      QVERIFY(job.SetSelection(source, {stored}));
      QVERIFY(job.StartTryOpen());
      job.Join();
      QVERIFY(test::WaitUntil([&] { return !opened.isEmpty(); }, 5000));
      QCOMPARE(int(job.TemporaryFiles().size()), 1);
    }

    // An analysis that runs until it is stopped.
    std::atomic<bool> gateOpen{false};
    std::atomic<int> entered{0};
    SetFileSystemMaker([&](std::int32_t code, CVolume&, ScanProgress& progress) {
      auto p = std::make_unique<GatedParser>(gateOpen, entered, progress);
      p->typeCode = code;
      return std::unique_ptr<CFileSystem>(std::move(p));
    });
    std::shared_ptr<CVolume> scanned;
    if (running) {
      scanned = MemoryVolume(*world.computer, u"Scanned drive");
      QCOMPARE(world.computer->StartAnalysis(scanned), 1);
      QVERIFY(test::WaitUntil([&] { return entered.load() == 1; }, 10000));
    }

    test::ScriptedBoxes boxes(Answer::No);
    for (int a : answers) boxes.Queue(Answer(a));
    const bool result = frame->close();

    QStringList shown;
    for (const auto& b : boxes.shown) shown << b.text;
    QCOMPARE(shown, asked);
    QCOMPARE(result, closed);
    QCOMPARE(frame->isVisible(), !closed);
    QCOMPARE(world.app->IsQuitting(), closed);
    if (running) {
      // Kept: the scan goes on as it was. Closed: it was stopped.
      QCOMPARE(GetScanProgress().IsRunning(), !closed);
      QCOMPARE(scanned->IsAnalysing(), !closed);
      if (!closed) QCOMPARE(Settings().SignaturePass(), 1);
      gateOpen.store(true);
      QVERIFY(test::WaitUntil([&] { return !scanned->HasAnalysisThread(); }, 10000));
    }
    CVolume::JoinAnalysisThreads();
    // "Operation aborted. Incomplete drive analysis!" only after a stop.
    QCOMPARE(world.LogCount(u"Operation aborted. Incomplete drive analysis!"), running && closed ? 1 : 0);
    // The temporary copy goes with a Yes only, and stays when the window stays.
    if (temporaryFiles) {
      const bool deleted = closed && answers.last() == int(Answer::Yes);
      QCOMPARE(TryOpenJob().TemporaryFiles().empty(), deleted);
      if (!deleted) {
        test::ScriptedBoxes cleanupBoxes(Answer::Yes);
        TryOpenJob().DeleteTemporaryFiles();
      }
    }
  }

  void ExitFromTheDiskMenuClosesTheWindow() {
    test::FrameWorld world;
    Settings().SetConfirmExit(0);
    Settings().SetExitProcessOnQuit(0);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    test::ScriptedBoxes boxes(Answer::No);
    QVERIFY(test::ClickMenuItem(frame, 57665));
    QVERIFY(test::WaitUntil([&] { return !frame->isVisible(); }, 3000));
    QVERIFY(world.app->IsQuitting());
    QVERIFY(boxes.shown.isEmpty());
  }

  void AModeSwitchClosesWithoutTheExitQuestion() {
    test::FrameWorld world;
    Settings().SetConfirmExit(1);
    Settings().SetExitProcessOnQuit(1);
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    QPointer<CMainFrame> old = frame;
    test::ScriptedBoxes boxes(Answer::No);
    // Through the View menu, with the application's own handling.
    QVERIFY(test::ClickMenuItem(frame, 32841));
    QVERIFY(test::WaitUntil([&] { return world.app->TopWindow() != old.data(); }, 3000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);
    auto* second = qobject_cast<CMainFrame*>(world.app->TopWindow());
    QVERIFY(second);
    QCOMPARE(second->Mode(), 32841);
    QVERIFY(second->ShowsDataViewer());
    QVERIFY(boxes.shown.isEmpty());
    QVERIFY(!world.app->IsQuitting());
    QVERIFY(world.exitCodes.empty());
  }
};
VANDREL_QT_TEST(FrameCloseTest);

#include "FrameCloseTest.moc"
