#pragma once
// Drive image creation: a raw copy of every sector of a volume into one file
// without a header (a ".dsk" image), written on a thread of its own in chunks of
// 4,096 sectors. The job reports to its window (the `notifyTarget` receiver) with
// WM_IMAGE_PROGRESS after each chunk, WM_IMAGE_ERROR (lParam the errno) when the
// image can't be made, and WM_IMAGE_DONE at the end with wParam the status: 0 when
// the image is complete, otherwise the errno of the failure (ECANCELED when it was
// cancelled), so that a failed image is never taken for a complete one; lParam is
// the number of sectors that could not be read and are zeros in the image (0 for a
// clean copy; the log says so too). A source of unknown or zero size gives no image.
//
// The image is never written over its source: a destination on the drive being
// imaged, the source's own file, or the file behind a loop device being imaged is
// refused (MatchImagePath).
//
// The dialog that owns the job reads the counters on its timer and cancels by
// clearing the running flag; every read, retry and salvaged sector of the writer
// looks at it (ReadStop), so the writer ends at once and posts WM_IMAGE_DONE.
// Cancel() clears the flag and joins the writer.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/FileTime.h"

class CVolume;

struct ImageJob {
  static constexpr std::int64_t kChunkSectors = 4096;

  ImageJob() = default;
  ~ImageJob() { Cancel(); }
  ImageJob(const ImageJob&) = delete;
  ImageJob& operator=(const ImageJob&) = delete;

  // Set by the starter before the thread runs; the thread clears it at its end.
  std::atomic<std::int32_t> running{0};
  std::uint64_t notifyTarget = 0;
  std::shared_ptr<CVolume> source;
  std::u16string imagePath;
  std::atomic<std::int64_t> totalSectors{0};
  std::atomic<std::int64_t> currentSector{0};
  // Sectors that could not be read and were written as zeros.
  std::atomic<std::int64_t> unreadSectors{0};
  // 0 complete, otherwise an errno; valid once running is 0 after a start.
  std::atomic<int> status{0};
  platform::FileTime startTime = 0;
  std::chrono::steady_clock::time_point startTick{};

  // Starts the writer; false when one is running already, there is no source or
  // the thread can't be made (then nothing runs and nothing is posted).
  bool Start();
  // Clears the running flag and waits for the writer to end.
  void Cancel();
  // Waits for the writer to end by itself.
  void Join();

 private:
  void Run();
  std::thread thread_;
};
