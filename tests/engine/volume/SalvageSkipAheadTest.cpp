// Salvage on a drive that times out: after a run of time-outs it skips ahead, reads
// the rest, and comes back once to what it skipped, so every readable sector is read
// and the count of unreadable ones stays exact; a stop of the thread's work ends it
// at once, even while the drive still holds a read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/ProgramLog.h"
#include "engine/volume/Volume.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t sectors) {
  std::vector<std::uint8_t> data(sectors * 512);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + i / 512 * 13 + 1);
  return data;
}

struct SalvageThreads : ::testing::Test {
  ProgramLog log;
  std::vector<std::uint8_t> bytes = Pattern(300);
  std::shared_ptr<MemoryBlockDevice> device = std::make_shared<MemoryBlockDevice>(bytes);
  std::shared_ptr<CVolume> volume = std::make_shared<CVolume>(CVolume::kImageFile);

  void SetUp() override {
    log.SetTimeStamps(false);
    g_Log = &log;
    auto d = device;
    volume->SetDeviceOpener([d](int&) { return d; });
    volume->SetDevicePath(u"/images/card.dsk");
    volume->SetReadRetries(0);
    volume->QueryInformation();
  }
  void TearDown() override {
    device->ReleaseHangs();
    volume.reset();
    g_Log = nullptr;
  }
  std::size_t Logged(std::u16string_view text) const {
    std::size_t n = 0;
    for (const std::u16string& l : log.Lines()) n += l.find(text) != std::u16string::npos;
    return n;
  }
  // The pattern with zeros over the sectors given as [first, end) runs.
  std::vector<std::uint8_t> Expected(std::size_t sectors, std::vector<std::pair<std::size_t, std::size_t>> zeros) {
    std::vector<std::uint8_t> e(bytes.begin(), bytes.begin() + std::ptrdiff_t(sectors * 512));
    for (auto [a, b] : zeros) std::fill(e.begin() + std::ptrdiff_t(a * 512), e.begin() + std::ptrdiff_t(b * 512), 0);
    return e;
  }
};

}  // namespace

TEST_F(SalvageThreads, AfterARunOfTimeOutsEveryReadableSectorIsStillRead) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::size_t, std::size_t>> hangs;  // sectors that time out
    std::size_t error;                                       // a sector that fails at once
  };
  // Sector 5 fails at once: the whole run's read fails there, and the salvage begins.
  // A hang outlives the wait for it, then ends: the drive's readers come free again.
  volume->SetReadWaitPerSector(40ms);
  device->SetHangTime(120ms);
  for (const Case& c : std::vector<Case>{
           {"a short run of time-outs", {{10, 30}}, 150},
           {"time-outs far longer than a skip, readable sectors between", {{20, 90}, {95, 140}}, 200},
       }) {
    SCOPED_TRACE(c.what);
    device->ClearFaults();
    std::int64_t bad = 2;
    device->InjectFault(5, MemoryBlockDevice::Fault::Error);
    for (auto [a, b] : c.hangs) {
      for (std::size_t s = a; s < b; ++s) device->InjectFault(s, MemoryBlockDevice::Fault::Hang);
      bad += std::int64_t(b - a);
    }
    device->InjectFault(c.error, MemoryBlockDevice::Fault::Error);
    const std::size_t linesBefore = log.Lines().size();
    CVolume::UnreadableSectors tally;
    std::vector<std::uint8_t> got(256 * 512, 0xAA);
    EXPECT_EQ(volume->ReadSectorsSalvaged(got.data(), 0, 256, u"Test: Can't read sector at: %I64d"), 256 * 512);
    auto zeros = c.hangs;
    zeros.push_back({c.error, c.error + 1});
    zeros.push_back({5, 6});
    EXPECT_TRUE(got == Expected(256, zeros));
    EXPECT_EQ(tally.Count(), bad);  // exact: every hung sector, tried twice, and the failed one
    std::size_t lines = 0;
    for (std::size_t i = linesBefore; i < log.Lines().size(); ++i) lines += log.Lines()[i].find(u"Test: ") != std::u16string::npos;
    EXPECT_EQ(lines, c.hangs.size() + 2);  // one line per run, in order
  }
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 5"), 2u);
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 10 (20 sectors)"), 1u);
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 150"), 1u);
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 20 (70 sectors)"), 1u);
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 95 (45 sectors)"), 1u);
}

TEST_F(SalvageThreads, AStopEndsTheSalvageWhileTheDriveStillHoldsItsRead) {
  volume->SetReadWaitPerSector(15000ms);  // each attempt would wait 30 s
  // Sector 49 fails at once (the run's read fails there), from 50 on the drive hangs.
  device->InjectFault(49, MemoryBlockDevice::Fault::Error);
  for (std::size_t s = 50; s < 250; ++s) device->InjectFault(s, MemoryBlockDevice::Fault::Hang);
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    while (device->ReadCalls() < 52) std::this_thread::sleep_for(1ms);  // the run, sectors 0 to 50
    std::this_thread::sleep_for(20ms);
    stop.store(true);
  });
  CVolume::UnreadableSectors tally;
  std::vector<std::uint8_t> got(256 * 512, 0xAA);
  std::int64_t n = 0;
  {
    const ReadStop scope([&] { return stop.load(); });
    n = volume->ReadSectorsSalvaged(got.data(), 0, 256, u"Test: Can't read sector at: %I64d");
  }
  stopper.join();
  EXPECT_EQ(device->HangsCompleted(), 0u);  // returned while the read hangs
  EXPECT_EQ(n, 49 * 512);                   // what was read before the first sector not read
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 49 * 512, bytes.begin()));
  EXPECT_TRUE(std::all_of(got.begin() + 49 * 512, got.end(), [](std::uint8_t b) { return b == 0; }));
  // Sector 49 was found unreadable; what the stop left unread is not counted.
  EXPECT_EQ(tally.Count(), 1);
  EXPECT_EQ(Logged(u"ERR: Test: Can't read sector at: 49"), 1u);
  EXPECT_EQ(Logged(u"Can't read sector at: 50"), 0u);
  EXPECT_EQ(Logged(u"Read Timeout!"), 0u);
}
