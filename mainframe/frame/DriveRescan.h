#pragma once
// "Rescan Drives" without freezing the window: the drive list is rebuilt on its
// refresh thread, and the window polls (every 250 ms) until that rebuild is done
// or 15 s have passed, then rebuilds its drive tree. Meanwhile the command is
// disabled and the wait cursor shows (the view's part).
//
// GUI thread; the clock can be replaced (tests).

#include <chrono>
#include <cstdint>
#include <functional>

class CVolumesList;

namespace mainframe {

class CDriveRescan {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{250};
  static constexpr std::chrono::milliseconds kMaxWait{15000};
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit CDriveRescan(Clock clock = {});

  // Starts the refresh of `list`; false when a rescan already waits (it goes on).
  bool Start(CVolumesList& list);
  bool Busy() const { return busy_; }
  // True once, when the wait is over: the refresh is done or kMaxWait has passed
  // (a longer refresh goes on by itself). The caller then rebuilds its tree.
  bool Poll();
  // Whether the last wait ended because the refresh was done (not the time).
  bool LastEndedDone() const { return lastDone_; }

 private:
  std::chrono::steady_clock::time_point Now() const;

  Clock clock_;
  CVolumesList* list_ = nullptr;
  std::uint64_t ticket_ = 0;
  std::chrono::steady_clock::time_point started_{};
  bool busy_ = false;
  bool lastDone_ = false;
};

}  // namespace mainframe
