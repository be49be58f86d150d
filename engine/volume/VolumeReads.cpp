// CVolume's reads: sector reads with time-out and retries, the salvage of runs
// that fail, and the reads of found objects' data.

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "engine/volume/Volume.h"
#include "platform/Format.h"

namespace {

constexpr std::u16string_view kFileReadSector = u"CVolume::FileRead: Can't read sector at: %I64d";

}  // namespace

std::chrono::milliseconds CVolume::ReadWait(std::int64_t sectors) const {
  const std::int64_t perSector = std::max<std::int64_t>(1, waitPerSector_.load());
  if (sectors > kMaxReadWaitMs / perSector) return std::chrono::milliseconds(kMaxReadWaitMs);
  return std::chrono::milliseconds(std::max<std::int64_t>(1, sectors * perSector));
}

bool CVolume::CheckRun(std::int64_t firstSector, std::int64_t count, std::size_t& bytes) const {
  if (count <= 0 || firstSector < 0 || count > std::numeric_limits<std::int64_t>::max() / kSectorSize ||
      std::uint64_t(count * kSectorSize) > std::numeric_limits<std::size_t>::max() / 2) {
    return false;
  }
  bytes = static_cast<std::size_t>(count * kSectorSize);
  return true;
}

namespace {
// Set while a salvaged read makes its first, whole-run attempt.
thread_local bool t_salvaging = false;
}  // namespace

template <typename Attempt>
std::int64_t CVolume::ReadWithRetries(std::int64_t firstSector, std::int64_t count, std::size_t bytes,
                                      Attempt&& attempt, ReadEnd* end, bool quiet) {
  if (end) *end = ReadEnd::Failed;
  try {
    std::shared_ptr<TimedReader> reader = OpenDrive();
    if (!reader) return 0;
    const std::int64_t base = Geometry().baseOffset;
    if (base < 0 || firstSector > (std::numeric_limits<std::int64_t>::max() - base) / kSectorSize) return 0;
    const std::int64_t position = firstSector * kSectorSize + base;
    const std::chrono::milliseconds wait = ReadWait(count);
    const std::int32_t retries = std::max(0, readRetries_.load());
    std::int64_t got = 0;
    for (std::int32_t attempt_ = 0; attempt_ <= retries; ++attempt_) {
      // A stopped job reads no more: not the next retry, nor the next sector.
      if (ReadStop::Requested()) {
        if (end) *end = ReadEnd::Stopped;
        return attempt_ == 0 ? 0 : got;
      }
      const TimedReadResult r = attempt(*reader, std::uint64_t(position), wait);
      if (r.stopped) {
        if (end) *end = ReadEnd::Stopped;
        return 0;
      }
      if (r.timedOut || r.error) {
        if (!quiet) {
          if (r.timedOut) Log().Error(u"Read Timeout!");
          Log().ErrorId(172, GetDisplayName(), position, attempt_);
        }
        if (end) *end = r.timedOut ? ReadEnd::TimedOut : ReadEnd::Failed;
        return 0;
      }
      got = r.bytes;
      if (std::size_t(got) == bytes) break;  // a short read is tried again
    }
    if (end) *end = std::size_t(got) == bytes ? ReadEnd::Complete : ReadEnd::Short;
    return got;
  } catch (...) {
    return 0;
  }
}

std::int64_t CVolume::ReadSectors(void* buffer, std::int64_t firstSector, std::int64_t count) {
  std::size_t bytes = 0;
  if (!buffer || !CheckRun(firstSector, count, bytes)) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::int64_t got =
      ReadWithRetries(firstSector, count, bytes, [&](TimedReader& reader, std::uint64_t position, auto wait) {
        return reader.Read(out, bytes, position, wait);
      });
  // Never leave stale bytes of an earlier read where this one read nothing.
  if (std::size_t(got) < bytes) {
    std::memset(out + got, 0, bytes - std::size_t(got));
    NoteUnreadable(firstSector, bytes, got);
  }
  return got;
}

std::int64_t CVolume::ReadSectors(SectorBuffer& buffer, std::int64_t firstSector, std::int64_t count) {
  std::size_t bytes = 0;
  if (!CheckRun(firstSector, count, bytes)) return 0;
  if (buffer.size() < bytes) {
    buffer = SectorBuffer(bytes);
    if (buffer.empty()) return 0;
  }
  const std::int64_t got =
      ReadWithRetries(firstSector, count, bytes, [&](TimedReader& reader, std::uint64_t position, auto wait) {
        return reader.Read(buffer, bytes, position, wait);
      });
  if (std::size_t(got) < bytes) {
    std::memset(buffer.data() + got, 0, bytes - std::size_t(got));
    NoteUnreadable(firstSector, bytes, got);
  }
  return got;
}

void CVolume::NoteUnreadable(std::int64_t firstSector, std::size_t bytes, std::int64_t got) {
  // A salvaged read counts the sectors it could not save itself; the end of the
  // device is no read error.
  if (t_salvaging || !IsOpen()) return;
  const std::int64_t whole = got / kSectorSize;
  if (AtDeviceEnd(firstSector + whole, got % kSectorSize)) return;
  GetScanProgress().AddUnreadable(this, std::int64_t(bytes / kSectorSize) - whole);
}

// ---- Salvaged reads ---------------------------------------------------------------------

namespace {
thread_local CVolume::UnreadableSectors* t_unreadable = nullptr;
}

CVolume::UnreadableSectors::UnreadableSectors() : outer_(t_unreadable) { t_unreadable = this; }

CVolume::UnreadableSectors::~UnreadableSectors() {
  t_unreadable = outer_;
  if (outer_) outer_->count_ += count_;
}

void CVolume::UnreadableSectors::Add(std::int64_t sectors) {
  if (t_unreadable && sectors > 0) t_unreadable->count_ += sectors;
}

std::int64_t CVolume::Salvage(std::uint8_t* out, std::int64_t firstSector, std::int64_t count, std::int64_t from,
                              std::u16string_view logFormat, const ReadRunSink* readRun) {
  // Each sector of the run from `from` on: read, unreadable, or left for the second
  // try. After kMaxTimeoutsInARow time-outs in a row the salvage skips ahead (the
  // skip doubles while it lands on more time-outs), so that what is readable further
  // on is read first, and comes back to the skipped sectors once the rest is read:
  // each is tried once more, and what fails then is zero-filled and counted. A stop
  // ends the salvage where it is: what was not read is zeros, and no sector is
  // counted for it.
  enum : std::uint8_t { kUnknown, kGood, kBad, kSkipped };
  std::vector<std::uint8_t> state(std::size_t(count), kUnknown);
  for (std::int64_t s = 0; s < from; ++s) state[std::size_t(s)] = kGood;
  std::int64_t held = count * kSectorSize;
  std::int64_t end = count;  // the device's end, when it comes before the run's
  bool stopped = false;

  auto pass = [&](bool second) {
    int timeoutsInARow = 0;
    std::int64_t skip = kMaxTimeoutsInARow;
    for (std::int64_t s = from; s < end; ++s) {
      std::uint8_t& st = state[std::size_t(s)];
      if (second ? st != kSkipped : st != kUnknown) continue;
      std::uint8_t* at = out + s * kSectorSize;
      ReadEnd how = ReadEnd::Failed;
      const std::int64_t got = ReadWithRetries(
          firstSector + s, 1, std::size_t(kSectorSize),
          [&](TimedReader& reader, std::uint64_t position, auto wait) {
            return reader.Read(at, std::size_t(kSectorSize), position, wait);
          },
          &how, true);
      if (how == ReadEnd::Stopped) {
        stopped = true;
        return;
      }
      if (how == ReadEnd::Complete) {
        st = kGood;
        timeoutsInARow = 0;
        skip = kMaxTimeoutsInARow;
        continue;
      }
      if (how == ReadEnd::Short && AtDeviceEnd(firstSector + s, got)) {
        // The device ends here: what lies past it is no unreadable sector.
        std::memset(at + got, 0, std::size_t(kSectorSize - got));
        held = s * kSectorSize + got;
        st = kGood;
        end = s + 1;
        return;
      }
      st = kBad;
      if (how != ReadEnd::TimedOut) {
        timeoutsInARow = 0;
        continue;
      }
      if (second || ++timeoutsInARow < kMaxTimeoutsInARow) continue;
      // Skip ahead: the sectors skipped wait for the second try.
      timeoutsInARow = 0;
      std::int64_t skipped = 0;
      for (std::int64_t k = s + 1; k < end && skipped < skip; ++k) {
        if (state[std::size_t(k)] != kUnknown) continue;
        state[std::size_t(k)] = kSkipped;
        ++skipped;
        s = k;
      }
      skip = std::min<std::int64_t>(skip * 2, kMaxSkipSectors);
    }
  };
  pass(false);
  if (!stopped) pass(true);

  // Zeros where nothing was read; each run of unreadable sectors logged once, in order.
  std::int64_t unreadable = 0, badFirst = -1, badCount = 0;
  auto flush = [&] {
    if (badCount == 0) return;
    std::u16string line = platform::Format(logFormat, badFirst);
    if (badCount > 1) line += platform::Format(u" (%I64d sectors)", badCount);
    Log().Error(u"%s", line);
    unreadable += badCount;
    badFirst = -1;
    badCount = 0;
  };
  for (std::int64_t s = from; s < count; ++s) {
    const std::uint8_t st = state[std::size_t(s)];
    if (st == kGood) {
      flush();
      continue;
    }
    std::memset(out + s * kSectorSize, 0, std::size_t(kSectorSize));
    if (s >= end || st != kBad) {  // past the device's end, or not read before a stop
      flush();
      continue;
    }
    if (badCount == 0) badFirst = firstSector + s;
    ++badCount;
  }
  flush();
  UnreadableSectors::Add(unreadable);
  GetScanProgress().AddUnreadable(this, unreadable);
  if (readRun) {
    for (std::int64_t s = 0; s < count;) {
      if (state[std::size_t(s)] != kGood) {
        ++s;
        continue;
      }
      std::int64_t e = s;
      while (e < count && state[std::size_t(e)] == kGood) ++e;
      (*readRun)(s, e);
      s = e;
    }
  }
  if (stopped) {
    // What was read before the stop: the run up to its first sector not read.
    std::int64_t s = from;
    while (s < count && state[std::size_t(s)] == kGood) ++s;
    return s * kSectorSize;
  }
  return held;
}

bool CVolume::AtDeviceEnd(std::int64_t sector, std::int64_t got) {
  // A read that ends short but not at the device's end met a sector it can't read.
  std::shared_ptr<TimedReader> reader = CurrentReader();
  if (!reader) return false;
  const std::uint64_t size = reader->Device()->Query().sizeBytes;
  const std::int64_t base = Geometry().baseOffset;
  if (size == 0 || base < 0) return false;
  const std::uint64_t end = std::uint64_t(base) + std::uint64_t(sector) * kSectorSize + std::uint64_t(got);
  return end >= size;
}

std::int64_t CVolume::ReadSectorsSalvaged(void* buffer, std::int64_t firstSector, std::int64_t count,
                                          std::u16string_view logFormat) {
  std::size_t bytes = 0;
  if (!buffer || !CheckRun(firstSector, count, bytes)) return 0;
  t_salvaging = true;
  const std::int64_t got = ReadSectors(buffer, firstSector, count);
  t_salvaging = false;
  // Nothing to salvage from a device that could not even be opened.
  if (std::size_t(got) == bytes || !IsOpen()) return got;
  return Salvage(static_cast<std::uint8_t*>(buffer), firstSector, count, got / kSectorSize, logFormat);
}

std::int64_t CVolume::SalvageSectors(std::uint8_t* buffer, std::int64_t firstSector, std::int64_t count,
                                     std::u16string_view logFormat, const ReadRunSink& readRun) {
  std::size_t bytes = 0;
  if (!buffer || !CheckRun(firstSector, count, bytes)) return 0;
  // The run's read first; its unreadable sectors are counted by the salvage alone.
  t_salvaging = true;
  const std::int64_t got = ReadSectors(buffer, firstSector, count);
  t_salvaging = false;
  if (std::size_t(got) == bytes || !IsOpen()) {
    const std::int64_t whole = std::max<std::int64_t>(0, got) / kSectorSize;
    if (whole > 0) readRun(0, whole);
    return got;
  }
  return Salvage(buffer, firstSector, count, got / kSectorSize, logFormat, &readRun);
}

std::int64_t CVolume::ReadSectorsSalvaged(SectorBuffer& buffer, std::int64_t firstSector, std::int64_t count,
                                          std::u16string_view logFormat) {
  std::size_t bytes = 0;
  if (!CheckRun(firstSector, count, bytes)) return 0;
  t_salvaging = true;
  const std::int64_t got = ReadSectors(buffer, firstSector, count);
  t_salvaging = false;
  // Nothing to salvage from a device that could not even be opened.
  if (std::size_t(got) == bytes || !IsOpen()) return got;
  // Taken after the read: a read that timed out left new memory in the buffer.
  return Salvage(buffer.data(), firstSector, count, got / kSectorSize, logFormat);
}

std::int64_t CVolume::FileRead(const FoundObject& object, void* buffer, std::int64_t position, std::uint32_t count) {
  if (count == 0 || !buffer) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t sector = 0;
  try {
    if (position < 0 || object.offset < 0 || object.offset > std::numeric_limits<std::int64_t>::max() - position) {
      std::memset(out, 0, count);
      return 0;
    }
    const std::int64_t start = object.offset + position;
    sector = start / kSectorSize;
    const std::size_t skip = static_cast<std::size_t>(start % kSectorSize);
    const std::int64_t sectors = (std::int64_t(skip) + count + kSectorSize - 1) / kSectorSize;
    std::int64_t got;
    std::int64_t result;
    if (skip == 0 && count % kSectorSize == 0) {
      got = ReadSectorsSalvaged(out, sector, sectors, kFileReadSector);
      result = got;
    } else {
      // The covering sectors go through a buffer of our own: the caller's holds only
      // the bytes asked for, from a position that may lie inside a sector.
      std::vector<std::uint8_t> bounce(static_cast<std::size_t>(sectors * kSectorSize));
      got = ReadSectorsSalvaged(bounce.data(), sector, sectors, kFileReadSector);
      result = std::clamp<std::int64_t>(got - std::int64_t(skip), 0, count);
      if (result > 0) std::memcpy(out, bounce.data() + skip, std::size_t(result));
      if (std::uint32_t(result) < count) std::memset(out + result, 0, count - std::size_t(result));
    }
    // Unreadable sectors were logged and zero-filled; nothing at all means the device
    // could not be read (or ends before the object).
    if (got <= 0) Log().Error(kFileReadSector, sector);
    return result;
  } catch (...) {
    Log().Error(u"CVolume::FileRead.Except read sector at: %I64d", sector);
    std::memset(out, 0, count);
    return 0;
  }
}

std::int64_t CVolume::ReadObjectData(const FoundObject& object, void* buffer, std::int64_t position,
                                     std::uint32_t count) {
  try {
    {
      std::shared_lock lock(fsMutex_);
      // Every FAT and NTFS code reads through the parser, which follows cluster chains
      // and data runs; raw sectors would give a fragmented file's bytes out of order.
      if (fs_ && fs_->ReadsObjectData() && GetFileSystemFamily(fs_->typeCode) < 2)
        return fs_->FileRead(object, buffer, position, count);
    }
    return FileRead(object, buffer, position, count);
  } catch (...) {
    return 0;
  }
}

std::int64_t CVolume::ReadObjectData(const FoundObject& object, SectorBuffer& buffer, std::int64_t position,
                                     std::uint32_t count) {
  try {
    if (buffer.size() < count) {
      buffer = SectorBuffer(count);
      if (buffer.empty()) return 0;
    }
    {
      std::shared_lock lock(fsMutex_);
      if (fs_ && fs_->ReadsObjectData() && GetFileSystemFamily(fs_->typeCode) < 2)
        return fs_->FileRead(object, buffer.data(), position, count);
    }
    // Whole sectors from a sector boundary go straight into the buffer.
    if (count > 0 && position >= 0 && object.offset >= 0 &&
        object.offset <= std::numeric_limits<std::int64_t>::max() - position &&
        (object.offset + position) % kSectorSize == 0 && count % kSectorSize == 0) {
      const std::int64_t sector = (object.offset + position) / kSectorSize;
      const std::int64_t got = ReadSectorsSalvaged(buffer, sector, count / kSectorSize, kFileReadSector);
      if (got <= 0) Log().Error(kFileReadSector, sector);
      return got;
    }
    return FileRead(object, buffer.data(), position, count);
  } catch (...) {
    return 0;
  }
}

bool CVolume::CanReadObjectData(const FoundObject& object) {
  try {
    std::shared_lock lock(fsMutex_);
    if (fs_ && fs_->ReadsObjectData() && GetFileSystemFamily(fs_->typeCode) < 2) return fs_->CanReadData(object);
    return true;
  } catch (...) {
    return true;
  }
}

std::int64_t CVolume::VolumeBytes() const {
  std::lock_guard lock(infoMutex_);
  if (info_.totalBytes > 0) return info_.totalBytes;
  const std::int64_t sectors = info_.geometry.totalSectors;
  return sectors > 0 && sectors <= std::numeric_limits<std::int64_t>::max() / kSectorSize ? sectors * kSectorSize : 0;
}

std::int64_t CVolume::ReadableSize(const FoundObject& object) {
  const std::int64_t volumeBytes = VolumeBytes();
  try {
    {
      std::shared_lock lock(fsMutex_);
      if (fs_ && fs_->ReadsObjectData() && GetFileSystemFamily(fs_->typeCode) < 2)
        return fs_->ReadableSize(object, volumeBytes);
    }
    return CFileSystem::WithinVolume(object.offset, object.size, volumeBytes);
  } catch (...) {
    return CFileSystem::WithinVolume(object.offset, object.size, volumeBytes);
  }
}

ObjectRunList CVolume::GetObjectDataRuns(const FoundObject& object) {
  try {
    if (object.IsDevice()) return {};
    {
      std::shared_lock lock(fsMutex_);
      if (fs_ && fs_->ReadsObjectData() && GetFileSystemFamily(fs_->typeCode) < 2) return fs_->DataRuns(object);
    }
    return CFileSystem::ContiguousRuns(object);
  } catch (...) {
    return {};
  }
}

