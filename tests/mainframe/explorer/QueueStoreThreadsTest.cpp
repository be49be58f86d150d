// The analysis queue against a recovery copying from a queued drive's store: when
// an analysis ends and the next queued drive's files are being recovered, that
// drive's pass (which empties its store) does not start; the user is told why, the
// recovery goes on reading the store as it was, and the drive's analysis starts
// once the recovery has ended. And the other order: a recovery from a drive whose
// analysis runs reads its store as the pass left it.
#include <QTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/records/AppSettings.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/Volume.h"
#include "mainframe/frame/CommandTable.h"
#include "mainframe/frame/VolumeExploreView.h"
#include "platform/Text.h"
#include "search/BuiltinFileTypes.h"
#include "search/FileTypeDatabase.h"
#include "search/Recovery.h"
#include "search/RecoveryJobs.h"
#include "search/SignaturePass.h"
#include "support/Fixtures.h"
#include "support/QtTestRegistry.h"
#include "tests/mainframe/frame/FrameTestSupport.h"

using namespace std::chrono_literals;

namespace {

// The program's file types and the signature pass, for one test.
struct SignatureSearch {
  std::shared_ptr<FileTypeDatabase> types = std::make_shared<FileTypeDatabase>();
  explicit SignatureSearch(CLocalComputer& computer) {
    types->CreateDefaultGroups();
    for (auto& t : MakeBuiltinFileTypes()) types->AppendFileType(std::move(t));
    types->InstallAsProgramDatabase();
    computer.SetFileTypeDatabase(types);
    InstallSignaturePass();
  }
  ~SignatureSearch() {
    CVolume::JoinAnalysisThreads();
    CVolume::SetSectorPass(nullptr);
  }
};

bool AnalyseNow(test::FrameWorld& world, const std::shared_ptr<CVolume>& volume) {
  if (world.computer->StartAnalysis(volume) != 1) return false;
  return test::WaitUntil([&] { return !GetScanProgress().IsRunning() && !volume->HasAnalysisThread(); }, 60000);
}

// The carved files of a store (their size made unknown, so that the recovery
// asks for it and can be held there).
std::vector<FoundObject*> CarvedFiles(CVolume& volume) {
  std::vector<FoundObject*> out;
  const FoundObjectStore::ReadView view = volume.Store().Read();
  for (std::size_t i = 0; i < view.Count(); ++i) {
    FoundObject* r = view.At(i);
    if (r->flags.Any(OBJ_CARVED) && !r->IsFolder()) out.push_back(r);
  }
  return out;
}

}  // namespace

class QueueStoreThreads : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { GetScanProgress().running.store(0); }

  void AQueuedDriveWaitsForTheRecoveryFromItsStore() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    Settings().SetAutoContinueQueue(1);
    SignatureSearch search(*world.computer);
    auto lost = world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("lost.img")));
    auto other = world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat12.img")));
    QVERIFY(lost && other);
    QVERIFY(AnalyseNow(world, lost));
    std::vector<FoundObject*> carved = CarvedFiles(*lost);
    QVERIFY(!carved.empty());
    for (FoundObject* r : carved) lost->Store().SetSize(r, -1);
    const std::uint32_t serial = lost->Store().Serial();  // a new one after each clear

    // The recovery of lost.img's carved files, held at its first size question.
    ScriptedUserCallbacks answers;
    struct Restore {
      IUserCallbacks* previous = GetUserCallbacks();
      ~Restore() { SetUserCallbacks(previous); }
    } restore;
    SetUserCallbacks(&answers);
    answers.HoldAnswers(true);
    Reply typical{Answer::Ok, {}, {}};
    typical.values.resize(CRecovery::kReplyScope + 1);
    typical.values[CRecovery::kReplyMode] = 1;   // the type's typical size
    typical.values[CRecovery::kReplyScope] = 2;  // for all remaining files
    answers.Script(QuestionKind::ProbableFileSize, typical);
    test::TempDir out("vandrel-queue-recovery-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));
    CRecovery& job = RecoveryJob();
    QVERIFY(job.SetSelection(lost, carved));
    QVERIFY(job.StartRecovery());
    QVERIFY(test::WaitUntil([&] { return !answers.Asked().empty(); }, 10000));

    // fat12 analysed, with lost.img queued behind it; its end reaches the frame.
    test::SectorGate gate;
    gate.Install();
    QCOMPARE(world.computer->StartAnalysis(other), 1);
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 1; }));
    QCOMPARE(world.computer->StartAnalysis(lost), 0);
    gate.open.store(true);
    QVERIFY(test::WaitUntil([&] { return !other->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    QVERIFY(test::WaitUntil([&] { return world.computer->QueueWaitsForStore(); }, 5000));
    // Not started: the store is as the recovery found it, and the user was told.
    QTest::qWait(300);
    QVERIFY(!lost->HasAnalysisThread());
    QCOMPARE(lost->Store().Serial(), serial);
    for (const FoundObject* r : carved) QVERIFY(lost->Store().HandleOf(r) >= 0);
    QVERIFY(!answers.Messages().empty());
    QVERIFY(answers.Messages().back().find(u"are being recovered") != std::u16string::npos);
    QCOMPARE(world.computer->Queue(), std::vector<std::shared_ptr<CVolume>>{lost});

    // The recovery goes on and ends; then lost.img's analysis starts by itself.
    answers.Release();
    job.Join();
    // Every carved file was copied from the store as it was (each that the image
    // holds whole at its type's typical size).
    QVERIFY(job.SuccessCount() >= std::int32_t(carved.size()) - 1);
    QVERIFY(!world.Logged(u"Recovery_Thread.except"));
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 2; }, 10000));
    QVERIFY(test::WaitUntil([&] { return !lost->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    QVERIFY(!world.computer->QueueWaitsForStore());
    (void)frame;
  }

  // The other order: the drive's analysis runs (its file-system pass has filled
  // the store again), then a recovery copies from it while the pass goes on.
  void ARecoveryReadsTheStoreOfADriveWhoseAnalysisRuns() {
    test::FrameWorld world;
    CMainFrame* frame = world.Open(32839);
    world.Idle();
    auto fat = world.computer->OpenImageFile(platform::Utf8ToUtf16(test::FixtureImage("fat16.img")));
    QVERIFY(fat);
    test::SectorGate gate;
    gate.Install();
    QCOMPARE(world.computer->StartAnalysis(fat), 1);
    QVERIFY(test::WaitUntil([&] { return gate.entered.load() == 1; }));
    std::vector<FoundObject*> files;
    {
      const FoundObjectStore::ReadView view = fat->Store().Read();
      for (std::size_t i = 0; i < view.Count(); ++i)
        if (view.At(i)->Name() == u"deleted file.txt" || view.At(i)->Name() == u"README.TXT") files.push_back(view.At(i));
    }
    QCOMPARE(files.size(), std::size_t(2));
    test::TempDir out("vandrel-running-recovery-");
    Settings().SetDestinationFolder(platform::Utf8ToUtf16(out.path() + "/"));
    CRecovery& job = RecoveryJob();
    QVERIFY(job.SetSelection(fat, files));
    QVERIFY(job.StartRecovery());
    job.Join();
    QCOMPARE(job.SuccessCount(), 2);
    QVERIFY(fat->HasAnalysisThread());
    gate.open.store(true);
    QVERIFY(test::WaitUntil([&] { return !fat->HasAnalysisThread() && !GetScanProgress().IsRunning(); }));
    const auto manifest = test::FixtureManifest("fat16");
    for (const auto& o : manifest["objects"]) {
      if (o["path"] != "/README.TXT") continue;
      QCOMPARE(std::filesystem::file_size(out / "README.TXT"), std::uintmax_t(o["size"].get<std::int64_t>()));
    }
    (void)frame;
  }
};

VANDREL_QT_TEST(QueueStoreThreads);
#include "QueueStoreThreadsTest.moc"
