// The analysis of a volume: its thread, its two passes, the stop and the end, the
// queue that follows, and the signature hits.
#include <gtest/gtest.h>

#include <random>

#include "AnalysisTestSupport.h"
#include "engine/records/ProgramLog.h"

using namespace test;

namespace {

class AnalysisThreads : public ComputerFixture {};
class Analysis : public ComputerFixture {};

std::vector<std::uint8_t> Blank(std::size_t bytes = 64 * 1024) { return std::vector<std::uint8_t>(bytes); }

std::vector<std::int64_t> DoneIds(const UiMessages& ui) {
  std::vector<std::int64_t> ids;
  for (const auto& m : ui.Messages(WM_ANALYSIS_DONE)) ids.push_back(m.wParam);
  return ids;
}

}  // namespace

TEST_F(AnalysisThreads, AVolumeWithoutFileSystemEndsAfterItsPassWithNoCounts) {
  auto v = MemoryVolume(Blank());
  EXPECT_EQ(computer->StartAnalysis(v), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));

  EXPECT_TRUE(Logged(u"Initializing drive Memory drive"));
  EXPECT_TRUE(Logged(u"Beginning file system analysis."));
  EXPECT_TRUE(Logged(u"No file system detected! File system analysis skipped."));
  EXPECT_TRUE(Logged(u"Analysis completed. Found 0 folder(s) and 0 file(s)."));
  EXPECT_TRUE(Logged(u"Analysis duration: 0 minute(s), 0 second(s)."));
  EXPECT_EQ(LogCount(u"Analysis of Memory drive completed"), 1u);
  EXPECT_FALSE(Logged(u"Operation aborted"));
  EXPECT_EQ(ui.Count(WM_FILE_SYSTEM_PASS_DONE), 1u);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 0u);
  EXPECT_EQ(DoneIds(ui), std::vector<std::int64_t>{v->DeviceNodeId()});
  const auto status = ui.Messages(WM_SET_STATUS_TEXT);
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status[0].wParam, 57211);

  EXPECT_EQ(v->GetState(), CVolume::kReady);
  EXPECT_EQ(computer->AnalysedVolume(), v);
  EXPECT_EQ(computer->SelectedVolume(), v);
  EXPECT_EQ(progress.passMarker.load(), 1);
  EXPECT_EQ(progress.owner.load(), computer.get());
  // The store holds the device node and nothing else.
  ASSERT_EQ(v->Store().Count(), 1u);
  EXPECT_TRUE(v->Store().At(0)->IsDevice());
}

TEST_F(AnalysisThreads, TheSignaturePassFollowsOnlyWhenTheSettingsAskForIt) {
  std::atomic<int> calls{0};
  std::atomic<bool> indexed{false};
  CVolume::SetSectorPass([&](CVolume& volume, ScanProgress& p, const AppSettings&) {
    indexed.store(volume.Store().KeepsOffsetIndex() && p.IsRunning());
    calls.fetch_add(1);
  });
  for (int pass : {0, 1}) {
    SCOPED_TRACE(pass);
    settings.SetSignaturePass(pass);
    calls.store(0);
    const std::size_t before = ui.Count(WM_ANALYSIS_DONE);
    const std::size_t sectorBefore = ui.Count(WM_SECTOR_PASS_DONE);
    auto v = MemoryVolume(Blank());
    ASSERT_EQ(computer->StartAnalysis(v), 1);
    ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(before + 1); }));
    CVolume::JoinAnalysisThreads();
    EXPECT_EQ(calls.load(), pass);
    EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE) - sectorBefore, std::size_t(pass));
    if (pass) {
      EXPECT_TRUE(indexed.load());
      EXPECT_TRUE(Logged(u"Starting drive sector analysis, searching for lost files."));
      EXPECT_FALSE(v->IsOpen());  // the sector pass closes the device
    }
  }
  EXPECT_EQ(LogCount(u"Analysis of Memory drive completed"), 2u);
  CVolume::SetSectorPass(nullptr);
}

TEST_F(AnalysisThreads, AStopDuringTheFileSystemPassSkipsTheSectorPassAndLogsAborted) {
  settings.SetSignaturePass(1);
  settings.SetConfirmScanAbort(1);  // a forced stop does not ask
  std::atomic<int> sectorCalls{0};
  CVolume::SetSectorPass([&](CVolume&, ScanProgress&, const AppSettings&) { sectorCalls.fetch_add(1); });
  UseGatedParser(gate);
  auto v = MemoryVolume(Blank());
  ASSERT_EQ(computer->StartAnalysis(v), 1);
  ASSERT_TRUE(gate.WaitEntered(1));
  EXPECT_EQ(v->GetState(), CVolume::kAnalysing);

  EXPECT_EQ(computer->FinishAnalysis(v, true), 1);
  EXPECT_TRUE(answers.Asked().empty());
  // The thread answered the stop within the wait and ended by itself.
  EXPECT_FALSE(v->HasAnalysisThread());
  EXPECT_FALSE(progress.IsRunning());
  EXPECT_TRUE(computer->Queue().empty());
  EXPECT_EQ(v->GetState(), CVolume::kReady);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();

  EXPECT_EQ(sectorCalls.load(), 0);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 0u);
  EXPECT_EQ(ui.Count(WM_FILE_SYSTEM_PASS_DONE), 1u);
  EXPECT_EQ(ui.Count(WM_ANALYSIS_DONE), 1u);
  EXPECT_EQ(LogCount(u"Operation aborted. Incomplete drive analysis!"), 1u);
  EXPECT_FALSE(Logged(u"Analysis of Memory drive completed"));
  CVolume::SetSectorPass(nullptr);
}

TEST_F(AnalysisThreads, ConfirmScanAbortAsksFirstAndNoLeavesTheScanRunning) {
  settings.SetConfirmScanAbort(1);
  UseGatedParser(gate);
  auto v = MemoryVolume(Blank());
  ASSERT_EQ(computer->StartAnalysis(v), 1);
  ASSERT_TRUE(gate.WaitEntered(1));

  answers.Script(QuestionKind::Confirm, Answer::No);
  EXPECT_EQ(computer->FinishAnalysis(v, false), 0);
  ASSERT_EQ(answers.Asked().size(), 1u);
  EXPECT_EQ(answers.Asked()[0].text, u"Are you sure you want to stop scanning?");
  EXPECT_EQ(answers.Asked()[0].caption, u"Confirmation");
  EXPECT_EQ(answers.Asked()[0].buttons, Buttons::YesNo);
  EXPECT_TRUE(progress.IsRunning());
  EXPECT_TRUE(v->HasAnalysisThread());
  EXPECT_TRUE(computer->IsQueued(v));
  EXPECT_EQ(v->GetState(), CVolume::kAnalysing);

  answers.Script(QuestionKind::Confirm, Answer::Yes);
  EXPECT_EQ(computer->FinishAnalysis(v, false), 1);
  EXPECT_EQ(answers.Asked().size(), 2u);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  EXPECT_EQ(LogCount(u"Operation aborted. Incomplete drive analysis!"), 1u);
}

TEST_F(AnalysisThreads, ThePassDurationIsLoggedInMinutesAndSeconds) {
  std::atomic<std::int64_t> now{5000000};
  CVolume::SetTickSource([&] { return now.load(); });
  UseGatedParser(gate);
  auto v = MemoryVolume(Blank());
  ASSERT_EQ(computer->StartAnalysis(v), 1);
  ASSERT_TRUE(gate.WaitEntered(1));
  now += 125999;  // 125.999 s
  gate.open.store(true);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_TRUE(Logged(u"Analysis duration: 2 minute(s), 5 second(s)."));
  CVolume::SetTickSource(nullptr);
}

TEST_F(AnalysisThreads, AnUnopenableDeviceEndsAndTheNextQueuedVolumeStarts) {
  std::atomic<bool> fail{false};
  auto bad = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
  bad->SetDeviceOpener([&fail](int& error) -> std::shared_ptr<IBlockDevice> {
    while (!fail.load()) std::this_thread::sleep_for(1ms);
    error = ENODEV;
    return nullptr;
  });
  bad->SetDevicePath(u"/dev/gone");
  bad->UpdateInfo([](VolumeInfo& i) { i.description = u"Gone drive"; });
  bad->SetDeviceNodeId(computer->NewObjectId());
  bad->SetState(CVolume::kReady);
  computer->Volumes().Add(bad);
  auto good = MemoryVolume(Blank());

  ASSERT_EQ(computer->StartAnalysis(bad), 1);
  EXPECT_EQ(computer->StartAnalysis(good), 0);  // waits in the queue
  EXPECT_EQ(computer->Queue(), (std::vector<std::shared_ptr<CVolume>>{bad, good}));
  fail.store(true);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(2); }));
  CVolume::JoinAnalysisThreads();

  EXPECT_TRUE(Logged(u"Can't open volume '/dev/gone'"));
  EXPECT_EQ(LogCount(u"Operation aborted. Incomplete drive analysis!"), 1u);
  EXPECT_EQ(LogCount(u"Analysis of Memory drive completed"), 1u);
  EXPECT_FALSE(Logged(u"Analysis of Gone drive completed"));
  EXPECT_EQ(DoneIds(ui), (std::vector<std::int64_t>{bad->DeviceNodeId(), good->DeviceNodeId()}));
  EXPECT_EQ(bad->GetState(), CVolume::kReady);
  EXPECT_EQ(good->GetState(), CVolume::kReady);
  EXPECT_EQ(computer->AnalysedVolume(), good);
}

TEST_F(AnalysisThreads, ASecondVolumeWaitsInTheQueueAndStartsByItselfWithAutoContinue) {
  UseGatedParser(gate);
  for (int autoContinue : {1, 0}) {
    SCOPED_TRACE(autoContinue);
    settings.SetAutoContinueQueue(autoContinue);
    gate.open.store(false);
    gate.entered.store(0);
    const std::size_t before = ui.Count(WM_ANALYSIS_DONE);
    auto a = MemoryVolume(Blank());
    auto b = MemoryVolume(Blank());
    ASSERT_EQ(computer->StartAnalysis(a), 1);
    ASSERT_TRUE(gate.WaitEntered(1));
    EXPECT_EQ(computer->StartAnalysis(b), 0);
    EXPECT_EQ(computer->StartAnalysis(b), 0);  // one queue entry
    EXPECT_EQ(computer->Queue(), (std::vector<std::shared_ptr<CVolume>>{a, b}));
    EXPECT_EQ(progress.Volume(), a);  // the running scan keeps its run state
    EXPECT_TRUE(progress.IsRunning());
    EXPECT_FALSE(b->HasAnalysisThread());
    EXPECT_NE(b->GetState(), CVolume::kAnalysing);

    gate.open.store(true);
    if (autoContinue) {
      ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(before + 2); }));
      EXPECT_EQ(gate.entered.load(), 2);
      EXPECT_EQ(computer->AnalysedVolume(), b);
    } else {
      ASSERT_TRUE(ui.RunUntil(*computer, [&] {
        return ui.Count(WM_ANALYSIS_DONE) == before + 1 && !progress.IsRunning() && !a->HasAnalysisThread();
      }));
      ui.RunUntil(*computer, [] { return false; }, 100ms);
      EXPECT_EQ(gate.entered.load(), 1);
      EXPECT_EQ(computer->Queue(), std::vector<std::shared_ptr<CVolume>>{b});
      EXPECT_EQ(computer->FinishAnalysis(b, false), 1);  // taken out of the queue
      EXPECT_TRUE(computer->Queue().empty());
    }
  }
}

TEST_F(AnalysisThreads, FinishingAQueuedVolumeOnlyTakesItOutOfTheQueue) {
  settings.SetConfirmScanAbort(1);
  UseGatedParser(gate);
  auto a = MemoryVolume(Blank());
  auto b = MemoryVolume(Blank());
  ASSERT_EQ(computer->StartAnalysis(a), 1);
  ASSERT_TRUE(gate.WaitEntered(1));
  EXPECT_EQ(computer->StartAnalysis(b), 0);
  EXPECT_EQ(computer->FinishAnalysis(b, false), 1);
  EXPECT_TRUE(answers.Asked().empty());  // b runs nothing: nothing to confirm
  EXPECT_EQ(computer->Queue(), std::vector<std::shared_ptr<CVolume>>{a});
  EXPECT_TRUE(progress.IsRunning());  // a's scan goes on
  EXPECT_TRUE(a->IsAnalysing());
  gate.open.store(true);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(gate.entered.load(), 1);
  EXPECT_EQ(LogCount(u"Analysis of Memory drive completed"), 1u);
}

TEST_F(AnalysisThreads, AStoppedThreadThatDoesNotAnswerEndsByItselfAndPostsItsEndOnce) {
  std::shared_ptr<MemoryBlockDevice> device;
  auto a = MemoryVolume(Blank(), CVolume::kPhysicalDrive, &device);
  // The boot-sector read hangs inside the calling thread itself (no time-out layer
  // between: nothing can give up that wait), longer than a stop waits.
  device->SetHangTime(10s);
  device->InjectFault(0, MemoryBlockDevice::Fault::Hang);
  device->SetMayBlock(false);
  auto b = MemoryVolume(Blank());

  ASSERT_EQ(computer->StartAnalysis(a), 1);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (device->ReadCalls() == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  ASSERT_GT(device->ReadCalls(), 0u);

  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(computer->FinishAnalysis(a, true), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 900ms);
  EXPECT_TRUE(a->HasAnalysisThread());  // still inside its read: nothing terminated it
  EXPECT_FALSE(progress.IsRunning());
  EXPECT_EQ(ui.Count(WM_ANALYSIS_DONE), 0u);

  // A start while that thread runs only queues: it never sets the running flag the
  // stopped thread would see.
  EXPECT_EQ(computer->StartAnalysis(b), 0);
  EXPECT_FALSE(progress.IsRunning());
  EXPECT_EQ(computer->Queue(), std::vector<std::shared_ptr<CVolume>>{b});
  // The queue's continuation leaves b to that kept start: its store is not emptied,
  // which beside the pass the starter thread begins would be a race on the store and
  // the clusters bitmap.
  const std::uint32_t serial = b->Store().Serial();
  EXPECT_EQ(computer->ContinueQueue(), nullptr);
  EXPECT_EQ(b->Store().Serial(), serial);
  EXPECT_EQ(computer->StartPending(), b);

  device->ReleaseHangs();
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(2); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(LogCount(u"Operation aborted. Incomplete drive analysis!"), 1u);
  EXPECT_EQ(LogCount(u"Analysis of Memory drive completed"), 1u);
  EXPECT_EQ(DoneIds(ui), (std::vector<std::int64_t>{a->DeviceNodeId(), b->DeviceNodeId()}));
}

TEST_F(AnalysisThreads, AStopEndsAReadThatWaitsForAHangingDrive) {
  std::shared_ptr<MemoryBlockDevice> device;
  auto a = MemoryVolume(Blank(), CVolume::kPhysicalDrive, &device);
  // The boot-sector read hangs in the time-out layer; each attempt would wait 30 s.
  a->SetReadWaitPerSector(15000ms);
  device->InjectFault(0, MemoryBlockDevice::Fault::Hang);
  ASSERT_EQ(computer->StartAnalysis(a), 1);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (device->ReadCalls() == 0 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  ASSERT_GT(device->ReadCalls(), 0u);
  EXPECT_EQ(computer->FinishAnalysis(a, true), 1);
  // The thread gave up its wait and ended within the stop's wait, while the drive
  // still holds the read.
  EXPECT_FALSE(a->HasAnalysisThread());
  EXPECT_EQ(device->HangsCompleted(), 0u);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_FALSE(Logged(u"Read Timeout!"));  // a stop is no time-out
  device->ReleaseHangs();
}

TEST_F(AnalysisThreads, APartitionSearchTurnsOnlyBootSectorsIntoVolumes) {
  // The sector pass reports a FAT32 boot sector at 1 MiB and a file hit at 8 KiB.
  CVolume::SetSectorPass([](CVolume& volume, ScanProgress&, const AppSettings&) {
    FoundObject boot;
    boot.typeId = 11;
    boot.offset = 1 << 20;
    boot.size = -1;
    boot.flags = OBJ_DELETED | OBJ_RAW;
    volume.OnSignatureHit(boot);
    FoundObject file = boot;
    file.typeId = 600;
    file.offset = 8192;
    volume.OnSignatureHit(file);
  });
  for (std::int32_t mode : {CVolume::kPartitionSearch, CVolume::kLostFileSearch}) {
    SCOPED_TRACE(mode);
    auto v = MemoryVolume(Blank(4 << 20));
    const std::size_t passes = ui.Count(WM_SECTOR_PASS_DONE);
    ASSERT_TRUE(v->StartAnalyseSectors(mode));
    EXPECT_EQ(v->GetSectorPassMode(), mode);
    EXPECT_EQ(computer->ScannedVolume(), v);
    ASSERT_TRUE(ui.RunUntil(*computer, [&] { return ui.Count(WM_SECTOR_PASS_DONE) == passes + 1; }));
    CVolume::JoinAnalysisThreads();
    EXPECT_FALSE(v->HasAnalysisThread());
    // A pass alone leaves the finish to its starter.
    EXPECT_EQ(v->GetState(), CVolume::kAnalysing);
    EXPECT_EQ(computer->FinishAnalysis(v, false), 1);
    EXPECT_TRUE(answers.Asked().empty());  // the pass had ended: nothing to confirm
    EXPECT_EQ(v->GetState(), CVolume::kReady);
    EXPECT_FALSE(progress.IsRunning());

    const auto children = v->Children();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->GetKind(), CVolume::kFoundPartition);
    EXPECT_EQ(children[0]->Geometry().baseOffset, 1 << 20);
    // No size from a table nor from the (empty) boot sector: what is left of the drive.
    EXPECT_EQ(children[0]->Info().totalBytes, 3 << 20);
    const bool carved = v->Store().FindByOffset(8192) != nullptr;
    EXPECT_EQ(carved, mode == CVolume::kLostFileSearch);
    EXPECT_EQ(v->SectorPassCounters().files.load(), mode == CVolume::kLostFileSearch ? 1 : 0);
  }
  // An analysis after a partition search looks for lost files again.
  settings.SetSignaturePass(1);
  auto v = MemoryVolume(Blank(4 << 20));
  ASSERT_TRUE(v->StartPartitionSearch());
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return !v->HasAnalysisThread(); }));
  EXPECT_EQ(computer->FinishAnalysis(v, false), 1);
  ASSERT_EQ(computer->StartAnalysis(v), 1);
  ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(1); }));
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(v->GetSectorPassMode(), CVolume::kLostFileSearch);
  EXPECT_NE(v->Store().FindByOffset(8192), nullptr);
  CVolume::SetSectorPass(nullptr);
}

TEST_F(Analysis, TheSectorPassLeavesTheRunningFlagToItsStarter) {
  // Inside an analysis a stop may clear the flag just before the pass begins: the
  // pass must not set it again.
  std::atomic<int> sawRunning{-1};
  CVolume::SetSectorPass([&](CVolume&, ScanProgress& p, const AppSettings&) { sawRunning.store(p.running.load()); });
  auto v = MemoryVolume(Blank());
  progress.running.store(0);
  v->AnalyseSectors();
  EXPECT_EQ(sawRunning.load(), 0);
  EXPECT_EQ(progress.running.load(), 0);
  EXPECT_EQ(ui.Count(WM_SECTOR_PASS_DONE), 1u);
  CVolume::SetSectorPass(nullptr);
}

TEST_F(AnalysisThreads, StartingRacesTheQueueRemovalAtTheEndOfAnAnalysis) {
  // Each analysis ends at once; the user-interface thread starts the next one while
  // the last one's thread takes its volume out of the queue.
  UseGatedParser(gate);
  gate.open.store(true);
  auto a = MemoryVolume(Blank(4096));
  auto b = MemoryVolume(Blank(4096));
  std::mt19937 random(7);
  int starts = 0;
  for (int i = 0; i < 40; ++i) {
    starts += computer->StartAnalysis(i % 2 ? b : a);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
    starts += computer->StartAnalysis(i % 2 ? a : b);
    ASSERT_TRUE(ui.RunUntil(*computer, [&] {
      return computer->Queue().empty() && !progress.IsRunning() && !a->HasAnalysisThread() &&
             !b->HasAnalysisThread();
    }));
  }
  CVolume::JoinAnalysisThreads();
  EXPECT_EQ(gate.mostInside.load(), 1);  // never two at once
  EXPECT_EQ(gate.entered.load(), 80);    // every volume asked for was analysed
  EXPECT_EQ(ui.Count(WM_ANALYSIS_DONE), 80u);
  EXPECT_EQ(LogCount(u"Initializing drive"), 80u);
  EXPECT_GE(starts, 40);
}

TEST_F(Analysis, CarvedHitsCountNewFilesAndNotTheOnesTheyConfirm) {
  settings.SetLogFoundNames(1);
  auto v = MemoryVolume(Blank());
  v->TakeSettings(settings);
  v->Store().EnableOffsetIndex(1);
  FoundObject parsed;
  parsed.id = 40;
  parsed.parentId = 0;
  parsed.offset = 4096;
  parsed.size = 100;
  parsed.flags = OBJ_NAMED;
  parsed.SetName(u"kept.jpg");
  ASSERT_NE(v->OnObjectFound(parsed), nullptr);

  struct Case {
    std::int64_t offset;
    std::int16_t typeId;
    std::int64_t files;  // sector-pass files counted after the hit
    std::size_t records;
  };
  const std::size_t start = v->Store().Count();
  const Case cases[] = {
      {4096, 600, 0, start},       // confirms the parsed file
      {8192, 600, 1, start + 1},   // a new carved file
      {12288, 25, 1, start + 1},   // a file-system structure: the parser's
      {16384, 29, 1, start + 1},   // a system type: nothing
  };
  for (const Case& c : cases) {
    FoundObject hit;
    hit.offset = c.offset;
    hit.typeId = c.typeId;
    hit.size = -1;
    hit.flags = OBJ_DELETED | OBJ_RAW;
    v->OnSignatureHit(hit);
    EXPECT_EQ(v->SectorPassCounters().files.load(), c.files) << c.offset;
    EXPECT_EQ(v->Store().Count(), c.records) << c.offset;
  }
  EXPECT_TRUE(v->Store().FindByOffset(4096)->flags.Any(OBJ_CARVED));
  EXPECT_EQ(LogCount(u"Found file: kept.jpg"), 2u);  // parsed, then confirmed
  EXPECT_TRUE(Logged(u"Found file: lost_file_8192"));
}

namespace {

// A parser that does not look at the running flag: it works until the gate opens,
// as a thread stuck in a slow read does after a stop.
class StubbornParser : public CFileSystem {
 public:
  explicit StubbornParser(ParserGate& gate) : gate_(gate) {}
  int Analyse() override {
    gate_.entered.fetch_add(1);
    while (!gate_.open.load()) std::this_thread::sleep_for(1ms);
    return 0;
  }

 private:
  ParserGate& gate_;
};

void UseStubbornParser(ParserGate& gate) {
  SetFileSystemMaker([&gate](std::int32_t code, CVolume&, ScanProgress&) {
    auto p = std::make_unique<StubbornParser>(gate);
    p->typeCode = code;
    return std::unique_ptr<CFileSystem>(std::move(p));
  });
}

}  // namespace

TEST_F(AnalysisThreads, AStartWhileAStoppedThreadStillEndsIsKeptAndRunsOnceThatThreadHasEnded) {
  // Without AutoContinueQueue nothing but the start itself can run the volume.
  settings.SetAutoContinueQueue(0);
  UseStubbornParser(gate);
  for (bool withdraw : {false, true}) {
    SCOPED_TRACE(withdraw);
    gate.open.store(false);
    gate.entered.store(0);
    const std::size_t before = ui.Count(WM_ANALYSIS_DONE);
    auto a = MemoryVolume(Blank());
    auto b = MemoryVolume(Blank());
    ASSERT_EQ(computer->StartAnalysis(a), 1);
    ASSERT_TRUE(gate.WaitEntered(1));
    EXPECT_EQ(computer->FinishAnalysis(a, true), 1);
    ASSERT_TRUE(a->HasAnalysisThread());  // stopped, but not ended
    EXPECT_FALSE(progress.IsRunning());

    // The start returns at once and is kept; the stopped thread never sees the
    // running flag set again.
    EXPECT_EQ(computer->StartAnalysis(b), 0);
    EXPECT_EQ(computer->StartPending(), b);
    EXPECT_EQ(computer->StartAnalysis(b), 0);  // once
    EXPECT_EQ(computer->Queue(), std::vector<std::shared_ptr<CVolume>>{b});
    EXPECT_FALSE(progress.IsRunning());
    if (withdraw) {
      EXPECT_EQ(computer->FinishAnalysis(b, false), 1);  // Stop on a volume that waits
      EXPECT_EQ(computer->StartPending(), nullptr);
    }

    gate.open.store(true);
    if (!withdraw) {
      ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(before + 2); }));
      EXPECT_EQ(gate.entered.load(), 2);
      EXPECT_EQ(computer->AnalysedVolume(), b);
      const auto ids = DoneIds(ui);
      EXPECT_EQ(std::vector<std::int64_t>(ids.end() - 2, ids.end()),
                (std::vector<std::int64_t>{a->DeviceNodeId(), b->DeviceNodeId()}));
    } else {
      ASSERT_TRUE(ui.RunUntil(*computer, [&] { return AllDone(before + 1) && !a->HasAnalysisThread(); }));
      ui.RunUntil(*computer, [] { return false; }, 100ms);
      EXPECT_EQ(gate.entered.load(), 1);
      EXPECT_FALSE(b->HasAnalysisThread());
    }
    EXPECT_EQ(computer->StartPending(), nullptr);
    CVolume::JoinAnalysisThreads();
  }
}

TEST_F(AnalysisThreads, TheComputersEndDropsAKeptStartAndJoinsEveryThread) {
  UseStubbornParser(gate);
  auto a = MemoryVolume(Blank());
  auto b = MemoryVolume(Blank());
  ASSERT_EQ(computer->StartAnalysis(a), 1);
  ASSERT_TRUE(gate.WaitEntered(1));
  EXPECT_EQ(computer->FinishAnalysis(a, true), 1);
  EXPECT_EQ(computer->StartAnalysis(b), 0);
  ASSERT_EQ(computer->StartPending(), b);
  std::thread release([&] {
    std::this_thread::sleep_for(50ms);
    gate.open.store(true);
  });
  computer.reset();  // waits for a's thread; b is never started
  release.join();
  EXPECT_FALSE(a->HasAnalysisThread());
  EXPECT_FALSE(b->HasAnalysisThread());
  EXPECT_EQ(gate.entered.load(), 1);
}
