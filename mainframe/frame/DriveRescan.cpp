#include "mainframe/frame/DriveRescan.h"

#include "engine/volume/VolumesList.h"

namespace mainframe {

CDriveRescan::CDriveRescan(Clock clock) : clock_(std::move(clock)) {}

std::chrono::steady_clock::time_point CDriveRescan::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

bool CDriveRescan::Start(CVolumesList& list) {
  if (busy_) return false;
  list_ = &list;
  ticket_ = list.StartRefresh();
  started_ = Now();
  busy_ = true;
  return true;
}

bool CDriveRescan::Poll() {
  if (!busy_) return false;
  const bool done = list_->RefreshDone(ticket_);
  if (!done && Now() - started_ < kMaxWait) return false;
  busy_ = false;
  lastDone_ = done;
  return true;
}

}  // namespace mainframe
