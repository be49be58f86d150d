#pragma once
// What the analysis and computer tests share: a stand-in for the top window that
// keeps the posted messages and plays the main frame's part on WM_ANALYSIS_DONE, a
// test fixture with its own settings, run state and computer object, volumes held
// in memory, and a parser that works until it is released or stopped.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/device/MemoryBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/Messages.h"
#include "engine/records/Notifier.h"
#include "engine/records/ScanProgress.h"
#include "engine/records/UserCallbacks.h"
#include "engine/volume/FileSystemFactory.h"
#include "engine/volume/LocalComputer.h"
#include "engine/volume/Volume.h"

namespace test {

using namespace std::chrono_literals;

// Keeps every message posted to the top window; the test thread waits for them.
class UiMessages : public INotifier {
 public:
  UiMessages() { SetNotifier(this); }
  ~UiMessages() override { SetNotifier(nullptr); }

  void Post(PostedMessage message) override {
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(std::move(message));
    }
    arrived_.notify_all();
  }
  std::vector<PostedMessage> Messages(std::uint32_t message) const {
    std::lock_guard lock(mutex_);
    std::vector<PostedMessage> out;
    for (const auto& m : messages_)
      if (m.message == message) out.push_back(m);
    return out;
  }
  std::size_t Count(std::uint32_t message) const { return Messages(message).size(); }

  // Plays the main frame on the calling thread (the test's user-interface thread):
  // every WM_ANALYSIS_DONE continues the queue. Returns once `done` holds, false
  // after `timeout`.
  bool RunUntil(CLocalComputer& computer, const std::function<bool()>& done,
                std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      std::vector<PostedMessage> fresh;
      {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, 5ms, [&] { return handled_ < messages_.size(); });
        fresh.assign(messages_.begin() + std::ptrdiff_t(handled_), messages_.end());
        handled_ = messages_.size();
      }
      for (const auto& m : fresh)
        if (m.message == WM_ANALYSIS_DONE) computer.ContinueQueue();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
    }
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<PostedMessage> messages_;
  std::size_t handled_ = 0;
};

// A parser whose Analyse works until the gate opens or the running flag is cleared,
// and counts how many run at once.
struct ParserGate {
  std::atomic<int> entered{0};
  std::atomic<int> inside{0};
  std::atomic<int> mostInside{0};
  std::atomic<bool> open{false};
  std::atomic<std::int64_t> fileAt{-1};  // when set, each parse adds one file at this offset

  bool WaitEntered(int count, std::chrono::milliseconds timeout = 10s) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (entered.load() < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
};

class GatedParser : public CFileSystem {
 public:
  GatedParser(ParserGate& gate, CVolume& volume, ScanProgress& progress)
      : gate_(gate), volume_(volume), progress_(progress) {}
  int Analyse() override {
    const int now = gate_.inside.fetch_add(1) + 1;
    int most = gate_.mostInside.load();
    while (now > most && !gate_.mostInside.compare_exchange_weak(most, now)) {
    }
    gate_.entered.fetch_add(1);
    while (!gate_.open.load() && progress_.IsRunning()) std::this_thread::sleep_for(1ms);
    if (const std::int64_t at = gate_.fileAt.load(); at >= 0) {
      FoundObject file;
      file.id = 100;
      file.parentId = root.id;
      file.offset = at;
      file.size = 512;
      file.flags = OBJ_NAMED;
      file.SetName(u"parsed.bin");
      volume_.OnObjectFound(file);
    }
    gate_.inside.fetch_sub(1);
    return 0;
  }

 private:
  ParserGate& gate_;
  CVolume& volume_;
  ScanProgress& progress_;
};

inline void UseGatedParser(ParserGate& gate) {
  SetFileSystemMaker([&gate](std::int32_t code, CVolume& volume, ScanProgress& progress) {
    auto p = std::make_unique<GatedParser>(gate, volume, progress);
    p->typeCode = code;
    return std::unique_ptr<CFileSystem>(std::move(p));
  });
}

// Settings, run state, the top window, the user's answers and the computer object,
// made for each test and put back after it. The computer goes first: its end joins
// the analysis thread.
class ComputerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.SetReadRetries(0);
    settings.SetAutoContinueQueue(1);
    SetSettings(&settings);
    SetScanProgress(&progress);
    SetUserCallbacks(&answers);
    computer = std::make_unique<CLocalComputer>();
    computer->GetLog().SetTimeStamps(false);
  }
  void TearDown() override {
    gate.open.store(true);
    computer.reset();
    CVolume::JoinAnalysisThreads();
    SetFileSystemMaker(nullptr);
    CVolume::SetSectorPass(nullptr);
    CVolume::SetTickSource(nullptr);
    SetUserCallbacks(nullptr);
    SetScanProgress(nullptr);
    SetSettings(nullptr);
  }

  // A drive held in memory, listed in the computer's drive list.
  std::shared_ptr<CVolume> MemoryVolume(std::vector<std::uint8_t> bytes, std::int32_t kind = CVolume::kPhysicalDrive,
                                        std::shared_ptr<MemoryBlockDevice>* deviceOut = nullptr) {
    auto device = std::make_shared<MemoryBlockDevice>(std::move(bytes));
    if (deviceOut) *deviceOut = device;
    auto v = std::make_shared<CVolume>(kind);
    v->SetDeviceOpener([device](int&) { return device; });
    v->SetReadRetries(0);
    v->SetDeviceNodeId(computer->NewObjectId());
    v->QueryInformation();
    v->UpdateInfo([](VolumeInfo& i) { i.description = u"Memory drive"; });
    computer->Volumes().Add(v);
    return v;
  }
  // A drive whose device never opens.
  std::shared_ptr<CVolume> UnopenableVolume() {
    auto v = std::make_shared<CVolume>(CVolume::kPhysicalDrive);
    v->SetDeviceOpener([](int& error) -> std::shared_ptr<IBlockDevice> {
      error = ENODEV;
      return nullptr;
    });
    v->SetDeviceNodeId(computer->NewObjectId());
    v->SetState(CVolume::kReady);
    computer->Volumes().Add(v);
    return v;
  }

  bool Logged(std::u16string_view text) const { return LogCount(text) > 0; }
  std::size_t LogCount(std::u16string_view text) const {
    std::size_t n = 0;
    for (const std::u16string& l : computer->GetLog().Lines())
      if (l.find(text) != std::u16string::npos) ++n;
    return n;
  }
  // Every analysis started has ended and nothing waits.
  bool AllDone(std::size_t analyses) const {
    return ui.Count(WM_ANALYSIS_DONE) >= analyses && computer->Queue().empty() && !progress.IsRunning();
  }

  AppSettings settings;
  ScanProgress progress;
  UiMessages ui;
  ScriptedUserCallbacks answers;
  ParserGate gate;
  std::unique_ptr<CLocalComputer> computer;
};

}  // namespace test
