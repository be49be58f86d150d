#pragma once
// What the progress bar of the main window shows, from the run state: hidden and
// "Ready" while no analysis runs; shown while one runs, its position moved only
// for a file system outside the FAT family once the pass has a position: total /
// 100 clusters make one percent (64-bit arithmetic), the position is held within
// 0..100, and a total of 0 or one below 100 leaves the bar where it is.

#include <cstdint>
#include <optional>

namespace mainframe {

struct ProgressInput {
  bool running = false;
  int family = 2;  // CVolume::GetFileSystemFamily of the scanned volume: 0 FAT, 1 NTFS, 2 other
  std::int64_t current = 0;
  std::int64_t total = 0;
};

struct ProgressStep {
  bool visible = false;
  std::optional<int> position;  // none: the bar keeps its position
};

ProgressStep ComputeProgress(const ProgressInput& input);

}  // namespace mainframe
