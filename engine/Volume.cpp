#include "engine/Volume.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <thread>

#include "engine/AppSettings.h"
#include "engine/ConfigFolderGuard.h"
#include "engine/FileBlockDevice.h"
#include "engine/FileSystemFactory.h"
#include "engine/FreeClusterMap.h"
#include "engine/LocalComputer.h"
#include "engine/Messages.h"
#include "engine/Notifier.h"
#include "engine/PartitionSink.h"
#include "engine/ProgramLog.h"
#include "engine/ScanProgress.h"
#include "engine/UserCallbacks.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

constexpr std::u16string_view kFileReadSector = u"CVolume::FileRead: Can't read sector at: %I64d";

std::u16string ErrorText(int error) {
  // The system's message for an errno, as strerror gives it (no line break).
  return platform::Utf8ToUtf16(std::strerror(error));
}

}  // namespace

CVolume::CVolume(std::int32_t kind) : kind_(kind), fs_(std::make_unique<CFileSystem>()) {
  deviceNode_ = std::make_shared<FoundObject>();
  deviceNode_->flags = OBJ_DEVICE;
  deviceNode_->parentId = kIdMyComputer;
  deviceNode_->volume = this;
  if (kind == kImageFile) info_.driveType = 7;
  if (kind == kPhysicalDrive) info_.driveType = 3;
  TakeSettings(Settings());
}

CVolume::~CVolume() {
  // The device node may outlive the volume in another volume's store.
  deviceNode_->volume = nullptr;
}

// ---- Device access ------------------------------------------------------------------

void CVolume::SetDevicePath(std::u16string path) {
  std::lock_guard lock(infoMutex_);
  info_.devicePath = std::move(path);
}

std::u16string CVolume::GetPath() const {
  if (IsPartition()) {
    if (auto parent = GetParentVolume()) return parent->GetPath();
  }
  std::lock_guard lock(infoMutex_);
  return info_.devicePath;
}

void CVolume::SetDeviceOpener(DeviceOpener opener) {
  std::lock_guard lock(deviceMutex_);
  opener_ = std::move(opener);
}

std::shared_ptr<TimedReader> CVolume::CurrentReader() const {
  std::lock_guard lock(deviceMutex_);
  return reader_;
}

std::shared_ptr<TimedReader> CVolume::OpenDrive() {
  try {
    if (auto r = CurrentReader()) return r;
    std::shared_ptr<TimedReader> opened;
    if (IsPartition()) {
      if (auto parent = GetParentVolume()) opened = parent->OpenDrive();
    }
    if (!opened) {
      DeviceOpener opener;
      {
        std::lock_guard lock(deviceMutex_);
        opener = opener_;
      }
      const std::u16string path = GetPath();
      int error = 0;
      std::shared_ptr<IBlockDevice> device;
      if (opener)
        device = opener(error);
      else
        device = FileBlockDevice::Open(platform::Utf16ToUtf8(path), error);
      if (!device) {
        Log().Error(u"Can't open volume '%s', System Error: %s", path, ErrorText(error ? error : ENODEV));
        return nullptr;
      }
      opened = std::make_shared<TimedReader>(std::move(device));
    }
    std::lock_guard lock(deviceMutex_);
    if (!reader_) reader_ = std::move(opened);  // another thread may have opened it meanwhile
    return reader_;
  } catch (...) {
    Log().Error(u"OpenDrive except");
    return nullptr;
  }
}

bool CVolume::IsOpen() const { return CurrentReader() != nullptr; }

void CVolume::Close() {
  try {
    std::shared_ptr<TimedReader> old;
    {
      std::lock_guard lock(deviceMutex_);
      old = std::move(reader_);
      reader_.reset();
    }
    // Reads in progress keep their own reference; the device closes after them.
  } catch (...) {
    Log().Error(u"CVolume::Close except");
  }
}

void CVolume::TakeSettings(const AppSettings& settings) {
  readRetries_.store(settings.ReadRetries());
  logFoundNames_.store(settings.LogFoundNames() == 1);
}

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

// ---- Queries --------------------------------------------------------------------------

int CVolume::QueryInformation() {
  SetState(kQuerying);
  try {
    const bool wasOpen = IsOpen();
    std::shared_ptr<TimedReader> reader = OpenDrive();
    if (!reader) {
      SetState(kNotReady);
      return 0;
    }
    const DeviceInfo dev = reader->Device()->Query();
    std::int32_t state = kReady;
    {
      std::lock_guard lock(infoMutex_);
      VolumeInfo& v = info_;
      v.device = dev;
      v.logicalSectorSize = dev.logicalSectorSize;
      switch (kind_) {
        case kPhysicalDrive:
          if (!dev.vendor.empty() && !dev.model.empty())
            v.description = platform::Format(u"%s, %s", dev.vendor, dev.model);
          else if (!dev.model.empty())
            v.description = platform::Widen(dev.model);
          v.deviceNumber = dev.diskNumber;
          v.partitionNumber = 0;
          // The whole disk, not cylinders x heads x sectors, which leaves out its tail.
          v.totalBytes = std::int64_t(std::min<std::uint64_t>(dev.sizeBytes, INT64_MAX));
          v.geometry.bytesPerSector = 512;
          v.geometry.totalSectors = v.totalBytes / kSectorSize;
          v.geometry.totalClusters = v.totalBytes / std::max(1, v.geometry.clusterBytes);
          break;
        case kLogicalDrive: {
          v.deviceNumber = dev.diskNumber;
          v.partitionNumber = dev.partitionNumber;
          // The drive list's word (sysfs) stands where the device does not tell.
          if (dev.isBlockDevice && dev.partitionNumber > 0) v.partitionStartOffset = std::int64_t(dev.partitionStart);
          v.totalBytes = std::int64_t(std::min<std::uint64_t>(dev.sizeBytes, INT64_MAX));
          v.geometry.totalSectors = v.totalBytes / kSectorSize;
          struct statvfs fs{};
          if (!v.rootPath.empty() && statvfs(platform::Utf16ToUtf8(v.rootPath).c_str(), &fs) == 0) {
            v.freeBytes = std::int64_t(fs.f_bavail) * std::int64_t(fs.f_frsize);
            if (fs.f_flag & ST_RDONLY)
              v.fileSystemFlags |= kFsReadOnlyVolume;
            else
              v.fileSystemFlags &= ~std::uint32_t(kFsReadOnlyVolume);
          }
          if (v.totalBytes == 0) state = kNotReady;
          break;
        }
        case kPartition:
        case kFoundPartition:
          v.geometry.totalSectors = v.totalBytes / kSectorSize;
          break;
        case kImageFile:
        default:
          v.totalBytes = std::int64_t(std::min<std::uint64_t>(dev.sizeBytes, INT64_MAX));
          v.logicalSectorSize = 512;
          v.geometry.bytesPerSector = 512;
          v.geometry.clusterBytes = 512;
          v.geometry.sectorsPerCluster = 1;
          v.geometry.totalSectors = v.totalBytes / kSectorSize;
          break;
      }
    }
    // A logical drive's label, serial and file system come from its boot sector.
    if (kind_ == kLogicalDrive && state == kReady) BootSetup();
    if (!wasOpen) Close();
    SetState(state);
    return state == kReady ? 1 : 0;
  } catch (...) {
    Log().Error(u"CVolume::QueryInformation except in drive: %s (%s), code: %d", GetDisplayName(), GetPath(),
                errno);
    SetState(kNotReady);
    return 0;
  }
}

// ---- Names and paths --------------------------------------------------------------------

std::u16string CVolume::GetDisplayName() const {
  std::lock_guard lock(infoMutex_);
  const VolumeInfo& v = info_;
  switch (kind_) {
    case kPhysicalDrive:
      return v.description;
    case kLogicalDrive: {
      const std::u16string place = v.rootPath.empty() ? v.devicePath : v.rootPath;
      const std::u16string label = platform::TrimBlanks(v.label);
      return label.empty() ? place : platform::Format(u"%s (%s)", place, label);
    }
    case kPartition:
    case kFoundPartition:
      return platform::Format(u"Volume at: %I64d", v.geometry.baseOffset);
    case kImageFile: {
      const std::size_t slash = v.devicePath.find_last_of(u'/');
      return slash == std::u16string::npos ? v.devicePath : v.devicePath.substr(slash + 1);
    }
    default:
      return v.description;
  }
}

std::int64_t CVolume::GetObjectPath(const FoundObject& object, std::u16string& out) const {
  out.clear();
  std::vector<std::u16string> parts;
  store_.PathParts(object, parts);  // the drive part is empty here, whether the root was reached or not
  for (const std::u16string& p : parts) {
    out += p;
    out += u'/';
  }
  return std::int64_t(out.size());
}

int CVolume::GetFileSystemFamily(std::int32_t code) {
  switch (code) {
    case 1: case 4: case 6: case 11: case 12: case 14: case 17: case 20: case 22: case 27: case 28: case 30:
      return 0;
    case 7:
      return 1;
    default:
      return 2;
  }
}

std::uint32_t CVolume::FileSystemFlagsOf(std::int32_t code) {
  switch (GetFileSystemFamily(code)) {
    case 0:
      return kFsCasePreservedNames | kFsUnicodeOnDisk;
    case 1:
      return kFsCaseSensitiveSearch | kFsCasePreservedNames | kFsUnicodeOnDisk | kFsPersistentAcls |
             kFsFileCompression | kFsVolumeQuotas | kFsSparseFiles | kFsReparsePoints | kFsObjectIds |
             kFsEncryption | kFsNamedStreams;
    default:
      return 0;
  }
}

std::u16string CVolume::GetFileSystemName() const {
  {
    std::shared_lock lock(fsMutex_);
    if (fs_ && fs_->typeName != u"Unknown") return fs_->typeName;
    // A FAT code without a name of its own: named by its table width.
    if (fs_ && GetFileSystemFamily(fs_->typeCode) == 0) {
      switch (CFileSystem::FatBitsFor(fs_->typeCode)) {
        case 12:
          return u"FAT12";
        case 16:
          return u"FAT16";
        case 32:
          return u"FAT32";
        default:
          break;
      }
    }
  }
  // Not known yet: what the boot copy names.
  const auto boot = BootCopy();
  return std::u16string(CFileSystem::TypeNameOf(CFileSystem::DetectByBootSector({boot.data(), 512})));
}

// ---- Parser, store, bitmap --------------------------------------------------------------

CFileSystem* CVolume::FileSystem() const {
  std::shared_lock lock(fsMutex_);
  return fs_.get();
}

void CVolume::SetFileSystem(std::unique_ptr<CFileSystem> parser) {
  std::unique_ptr<CFileSystem> old;
  {
    std::unique_lock lock(fsMutex_);
    old = std::move(fs_);
    fs_ = parser ? std::move(parser) : std::make_unique<CFileSystem>();
  }
  // The old parser goes outside the lock: its destructor may read or close the device.
}

std::int32_t CVolume::FileSystemTypeCode() const {
  std::shared_lock lock(fsMutex_);
  return fs_ ? fs_->typeCode : 0;
}

void CVolume::SetFileSystemTypeCode(std::int32_t code) {
  std::unique_lock lock(fsMutex_);
  if (fs_) fs_->typeCode = code;
}

bool CVolume::SetFileSystemTypeCodeIfNone(std::int32_t code) {
  std::unique_lock lock(fsMutex_);
  if (!fs_ || fs_->typeCode != 0) return false;
  fs_->typeCode = code;
  return true;
}

std::array<std::uint8_t, 1024> CVolume::BootCopy() const {
  std::lock_guard lock(infoMutex_);
  return bootCopy_;
}

VolumeInfo CVolume::Info() const {
  std::lock_guard lock(infoMutex_);
  return info_;
}

VolumeGeometry CVolume::Geometry() const {
  std::lock_guard lock(infoMutex_);
  return info_.geometry;
}

// ---- Relatives ----------------------------------------------------------------------------

std::shared_ptr<CVolume> CVolume::GetParentVolume() const {
  std::lock_guard lock(familyMutex_);
  auto p = parent_.lock();
  return p.get() == this ? nullptr : p;
}

void CVolume::SetParentVolume(const std::shared_ptr<CVolume>& parent) {
  std::lock_guard lock(familyMutex_);
  parent_ = parent;
}

void CVolume::AddChild(const std::shared_ptr<CVolume>& child) {
  std::lock_guard lock(familyMutex_);
  std::erase_if(children_, [](const std::weak_ptr<CVolume>& w) { return w.expired(); });
  children_.push_back(child);
}

std::vector<std::shared_ptr<CVolume>> CVolume::Children() const {
  std::lock_guard lock(familyMutex_);
  std::vector<std::shared_ptr<CVolume>> out;
  for (const auto& w : children_)
    if (auto c = w.lock()) out.push_back(std::move(c));
  return out;
}

// ---- Analysis hooks -------------------------------------------------------------------------

FoundObject* CVolume::OnObjectFound(const FoundObject& object) {
  FoundObject* r = store_.AddParsedObject(object);
  if (!r) return nullptr;
  if (object.IsFolder()) {
    fsCounters_.folders.fetch_add(1, std::memory_order_relaxed);
  } else {
    fsCounters_.files.fetch_add(1, std::memory_order_relaxed);
    if (logFoundNames_.load(std::memory_order_relaxed)) Log().InfoId(134, object.Name());
  }
  return r;
}

// ---- Boot sector and partition table --------------------------------------------------

namespace {

enum class BootFamily { None, Fat1216, Fat32, Ntfs };

BootFamily BootFamilyOf(std::int32_t code) {
  switch (code) {
    case 1: case 4: case 6: case 14: case 17: case 20: case 22: case 30: case 134:
      return BootFamily::Fat1216;
    case 11: case 12: case 27: case 28: case 139: case 140:
      return BootFamily::Fat32;
    case 7: case 135:
      return BootFamily::Ntfs;
    default:
      return BootFamily::None;
  }
}

// Sectors per cluster from byte 13: a power of two up to 128; on NTFS a byte of
// 0xF4 or more is 2^(256 - byte). 0 for anything else (damaged data).
std::int32_t SectorsPerCluster(std::uint8_t b, BootFamily family) {
  if (family == BootFamily::Ntfs && b >= 0xF4) return std::int32_t(1) << (256 - b);
  if (b != 0 && (b & (b - 1)) == 0) return b;
  return 0;
}

// An 8-bit text field, up to its first NUL.
std::u16string TextField(const platform::LeView& v, std::size_t offset, std::size_t length) {
  platform::Bytes bytes = v.Sub(offset, length);
  std::size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return platform::Windows1252ToUtf16(bytes.first(n));
}

}  // namespace

bool CVolume::IsSoundBootSector(const std::uint8_t* sector, std::int32_t* code) {
  const platform::LeView v(sector, kSectorSize);
  const std::int32_t detected = CFileSystem::DetectByBootSector(v.bytes());
  if (code) *code = detected;
  if (detected == 0) return false;
  const std::uint16_t bytesPerSector = v.U16(11);
  if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)) != 0) return false;
  const BootFamily family = BootFamilyOf(detected);
  if (SectorsPerCluster(v.U8(13), family) == 0) return false;
  if (family == BootFamily::Ntfs) return v.U64(0x28) != 0 && v.U64(0x30) != 0;
  return v.U16(14) != 0 && v.U8(16) != 0;  // reserved sectors and FAT copies
}

int CVolume::ReadBootSector() {
  std::array<std::uint8_t, 1024> boot{};
  const bool read = ReadSectors(boot.data(), 0, 2) >= kSectorSize;
  std::int64_t from = 0;
  // A first sector that can't be read, or that names a file system whose fields do not
  // hold together, or that carries nothing at all (no 55 AA: no partition table
  // either): a backup copy may serve. FAT32 keeps one at sector 6; NTFS at the
  // volume's last sector (older tools wrote it at the middle). A sector with a
  // partition table's signature is left to the partition walk.
  std::int32_t primaryCode = 0;
  const bool sound = read && IsSoundBootSector(boot.data(), &primaryCode);
  if (!sound && (!read || primaryCode != 0 || boot[510] != 0x55 || boot[511] != 0xAA)) {
    std::array<std::uint8_t, 1024> copy{};
    std::int32_t code = 0;
    if (ReadSectors(copy.data(), 6, 2) >= kSectorSize && IsSoundBootSector(copy.data(), &code) &&
        BootFamilyOf(code) == BootFamily::Fat32 && platform::LeView(copy.data(), kSectorSize).U16(50) == 6) {
      from = 6;
    } else {
      const std::int64_t sectors = VolumeBytes() / kSectorSize;
      for (const std::int64_t at : {sectors - 1, sectors / 2}) {
        copy.fill(0);
        if (at <= 0 || ReadSectors(copy.data(), at, 1) != kSectorSize) continue;
        if (!IsSoundBootSector(copy.data(), &code) || BootFamilyOf(code) != BootFamily::Ntfs) continue;
        // The copy describes a volume that reaches at least to where it lies.
        const std::uint64_t total = platform::LeView(copy.data(), kSectorSize).U64(0x28);
        if (total < std::uint64_t(at) || total > std::uint64_t(sectors)) continue;
        from = at;
        break;
      }
    }
    if (from != 0) boot = copy;
  }
  if (!read && from == 0) {
    Log().ErrorId(173, GetDisplayName());
    return 0;
  }
  bool changed = false;
  {
    std::lock_guard lock(infoMutex_);
    bootCopy_ = boot;
    changed = bootCopySector_ != from;
    bootCopySector_ = from;
  }
  if (from != 0 && changed)
    Log().Error(u"The boot sector of %s can't be read or is damaged: its backup copy at sector %I64d is used",
                GetDisplayName(), from);
  return 1;
}

std::int64_t CVolume::BootCopySector() const {
  std::lock_guard lock(infoMutex_);
  return bootCopySector_;
}

int CVolume::BootSetup() {
  try {
    if (!ReadBootSector()) return 0;
    const auto boot = BootCopy();
    const platform::LeView v(boot.data(), kSectorSize);

    // The file system the boot sector names replaces the partition-type byte.
    const std::int32_t detected = CFileSystem::DetectByBootSector(v.bytes());
    std::int32_t code;
    {
      std::unique_lock lock(fsMutex_);
      if (detected && detected != fs_->typeCode) {
        fs_->typeCode = detected;
        fs_->GetTypeName();
      }
      code = fs_->typeCode;
    }
    const BootFamily family = BootFamilyOf(code);

    std::int64_t imageBytes = -1;
    if (kind_ == kImageFile) {
      if (auto reader = OpenDrive())
        imageBytes = std::int64_t(std::min<std::uint64_t>(reader->Device()->Query().sizeBytes, INT64_MAX));
    }

    {
      std::lock_guard lock(infoMutex_);
      VolumeInfo& info = info_;
      VolumeGeometry& g = info.geometry;
      g.oemName = TextField(v, 3, 8);
      if (code != 0) {
        if (const std::int32_t spc = SectorsPerCluster(v.U8(13), family)) g.sectorsPerCluster = spc;
      }
      if (imageBytes >= 0) {
        info.totalBytes = imageBytes;
        g.totalSectors = imageBytes / kSectorSize;
      }
      if (family == BootFamily::Fat1216 || family == BootFamily::Fat32) {
        const bool fat32 = family == BootFamily::Fat32;
        if (const std::uint32_t serial = v.U32(fat32 ? 67 : 39)) g.serialLow = serial;
        if (info.label.empty()) info.label = TextField(v, fat32 ? 71 : 43, 11);
        if (g.totalSectors == 0) {
          std::int64_t sectors = v.U32(32);
          if (sectors == 0) sectors = v.U16(19);
          if (sectors == 0) {
            Log().Error(u"boot_fat16->BPB.Large_Sectors == 0 && boot_fat16->BPB.Small_Sectors == 0");
          } else {
            // Damaged data: never more sectors than the volume (or what is left of its
            // device) holds.
            std::int64_t room = info.totalBytes;
            const auto deviceBytes = std::int64_t(std::min<std::uint64_t>(info.device.sizeBytes, INT64_MAX));
            if (room <= 0 && deviceBytes > g.baseOffset) room = deviceBytes - g.baseOffset;
            if (room > 0 && sectors > room / kSectorSize) sectors = room / kSectorSize;
          }
          g.totalSectors = sectors;
        }
      } else if (family == BootFamily::Ntfs) {
        if (const std::uint32_t high = v.U32(76)) {
          g.serialLow = v.U32(72);
          g.serialHigh = high;
        }
      }
      if (g.bytesPerSector <= 0 || (g.bytesPerSector & (g.bytesPerSector - 1)) != 0) g.bytesPerSector = 512;
      if (g.sectorsPerCluster <= 0) g.sectorsPerCluster = 1;
      if (info.totalBytes == 0 && g.totalSectors != 0) info.totalBytes = g.totalSectors * kSectorSize;
      if (g.totalClusters == 0 && g.totalSectors != 0) g.totalClusters = g.totalSectors / g.sectorsPerCluster;
      g.clusterBytes = g.sectorsPerCluster * g.bytesPerSector;
      // What the file system can do; a read-only mount (the query found it) stays so.
      info.fileSystemFlags = FileSystemFlagsOf(code) | (info.fileSystemFlags & kFsReadOnlyVolume);
    }
    // No file system: a partitioned drive.
    if (code == 0) ParsePartitionTable(0);
    return 1;
  } catch (...) {
    Log().Error(u"CVolume::BootSetup except");
    return 0;
  }
}

thread_local CVolume::PartitionWalk* CVolume::activeWalk_ = nullptr;

int CVolume::ParsePartitionTable(std::int64_t lba) {
  if (lba < 0) return 0;
  std::shared_ptr<TimedReader> reader = OpenDrive();
  if (!reader) return 0;
  const void* device = reader->Device().get();
  PartitionWalk own;
  PartitionWalk* const outer = activeWalk_;
  PartitionWalk* walk = outer && outer->device == device ? outer : &own;
  own.device = device;
  if (walk->nesting >= kMaxNestedWalks) {
    Log().Plain(platform::Format(u"Partition tables nested deeper than %d volumes: %s not walked", kMaxNestedWalks,
                                 GetDisplayName()));
    return 0;
  }
  ++walk->nesting;
  activeWalk_ = walk;
  int added = 0;
  try {
    WalkTable(*walk, lba, 0, true, 0, added);
  } catch (...) {
    Log().Error(u"CVolume::ParsePartitionTable except");
  }
  --walk->nesting;
  activeWalk_ = outer;
  return added;
}

void CVolume::WalkTable(PartitionWalk& walk, std::int64_t lba, std::int64_t extendedBase, bool isMbr, int depth,
                        int& added) {
  const VolumeInfo info = Info();
  std::int64_t sectorSize = info.logicalSectorSize;
  if (sectorSize < 512 || sectorSize > 65536 || (sectorSize & (sectorSize - 1)) != 0) sectorSize = 512;
  const std::int64_t base = info.geometry.baseOffset;
  const std::int64_t bytes = info.totalBytes > 0 ? info.totalBytes : info.geometry.totalSectors * kSectorSize;
  const bool sized = bytes > 0;  // a volume of unknown size has its extents not checked
  const std::int64_t sectors = bytes / sectorSize;
  // Table LBAs are u32 sums: far from any overflow once in 64 bits.
  if (lba > (std::numeric_limits<std::int64_t>::max() - base) / sectorSize / 2) return;
  const std::int64_t at = base + lba * sectorSize;
  if (++walk.tablesRead > kMaxTablesPerWalk) {
    Log().Plain(platform::Format(u"More than %d partition tables on %s: the walk stops", kMaxTablesPerWalk,
                                 GetDisplayName()));
    return;
  }
  if (!walk.read.insert(at).second) {
    // A link back into the chain, or a partition whose first sector is a table
    // already walked: the walk does not go round.
    Log().Plain(platform::Format(u"Partition table at sector %I64d on %s already read: not walked again", lba,
                                 GetDisplayName()));
    return;
  }
  walk.tables.insert(at);

  std::uint8_t sector[512];
  if (ReadSectors(sector, lba * sectorSize / kSectorSize, 1) != kSectorSize) return;
  const platform::LeView v(sector, sizeof sector);
  if (v.U8(510) != 0x55 || v.U8(511) != 0xAA) return;

  struct Entry {
    std::uint8_t boot, type;
    std::int64_t start, count;
  } entries[4];
  auto isLink = [](std::uint8_t type) { return type == 0x05 || type == 0x0F; };
  auto linkLba = [&](const Entry& e) { return isMbr ? e.start : extendedBase + e.start; };
  for (int i = 0; i < 4; ++i) {
    const std::size_t o = 446 + 16 * std::size_t(i);
    entries[i] = {v.U8(o), v.U8(o + 4), std::int64_t(v.U32(o + 8)), std::int64_t(v.U32(o + 12))};
  }
  // A sector that merely ends in 55 AA (boot code of a file system without a label)
  // is no table: every entry needs a valid boot flag.
  for (int i = 0; i < 4; ++i) {
    if (entries[i].boot != 0x00 && entries[i].boot != 0x80) {
      Log().Plain(platform::Format(u"Partition table at sector %I64d on %s ignored: entry %d is not valid", lba,
                                   GetDisplayName(), i + 1));
      return;
    }
  }
  // A protective MBR: its 0xEE entry stands for the whole disk, whose partitions the
  // GUID partition table lists. Where no valid GPT is found, the other entries of a
  // hybrid MBR are still walked; the 0xEE entry itself is never a partition.
  if (isMbr && depth == 0) {
    bool protective = false;
    for (Entry& e : entries) {
      if (e.type != 0xEE) continue;
      protective = true;
      e.count = 0;
    }
    if (protective) {
      if (sized && WalkGpt(walk, sectorSize, sectors, added)) return;
      if (!sized) Log().Plain(platform::Format(u"GPT on %s not walked: the size of the device is not known", GetDisplayName()));
    }
  }
  // Extents: a truncated image (the common case in recovery) keeps every partition
  // that starts inside it, one that runs past its end cut to it; one that starts
  // beyond the end is skipped. Only a table none of whose entries lies inside is
  // ignored.
  int used = 0, inside = 0;
  for (int i = 0; i < 4; ++i) {
    Entry& e = entries[i];
    if (e.type == 0 || e.count == 0) continue;
    ++used;
    if (sized) {
      const std::int64_t first = isLink(e.type) ? linkLba(e) : lba + e.start;
      if (first >= sectors) {
        Log().Plain(platform::Format(
            u"Partition table at sector %I64d on %s: entry %d starts at sector %I64d, beyond the end of the device "
            u"(%I64d sectors): skipped",
            lba, GetDisplayName(), i + 1, first, sectors));
        e.count = 0;
        continue;
      }
      if (first + e.count > sectors) {
        Log().Plain(platform::Format(
            u"Partition table at sector %I64d on %s: entry %d runs past the end of the device: its %I64d sectors "
            u"are cut to %I64d",
            lba, GetDisplayName(), i + 1, e.count, sectors - first));
        e.count = sectors - first;
      }
    }
    ++inside;
  }
  if (used > 0 && inside == 0) {
    Log().Plain(platform::Format(u"Partition table at sector %I64d on %s ignored: no entry lies inside the device",
                                 lba, GetDisplayName()));
    return;
  }
  // Partitions must not start where a table lies, the ones this table links to
  // included (a partition there would walk that table as its own).
  for (const Entry& e : entries)
    if (e.type != 0 && e.count != 0 && isLink(e.type)) walk.tables.insert(base + linkLba(e) * sectorSize);

  const std::vector<std::shared_ptr<CVolume>> children = Children();
  for (const Entry& e : entries) {
    if (e.type == 0 || e.count == 0) continue;
    if (isLink(e.type)) {
      const std::int64_t next = linkLba(e);
      if (depth + 1 > kMaxChainDepth) {
        Log().Plain(platform::Format(u"Chain of extended partitions on %s longer than %d tables: the walk stops",
                                     GetDisplayName(), kMaxChainDepth));
        continue;
      }
      WalkTable(walk, next, isMbr ? e.start : extendedBase, false, depth + 1, added);
      continue;
    }
    const std::int64_t offset = (lba + e.start) * sectorSize;  // on this volume
    if (offset == 0 || walk.tables.count(base + offset)) continue;
    bool known = false;
    for (const auto& child : children)
      if (child->Info().partitionStartOffset == offset) known = true;
    if (known) continue;
    FoundObject partition;
    partition.parentId = DeviceNodeId();
    partition.offset = offset;
    partition.typeId = e.type;
    partition.size = e.count * sectorSize;
    if (IPartitionSink* sink = GetPartitionSink()) {
      sink->AddPartitionVolume(partition);
      ++added;
    }
  }
}

// ---- Analysis threads -------------------------------------------------------------------

namespace {

// The program's one analysis thread: the whole analysis or a pass alone. The slot
// keeps the thread's volume until the thread is joined, so the volume is never
// destroyed on its own thread.
struct AnalysisSlot {
  std::mutex mutex;
  std::condition_variable ended;
  std::thread thread;
  std::thread::id id;
  std::shared_ptr<CVolume> volume;
  bool alive = false;  // started and not yet at its end
  ~AnalysisSlot() {
    if (thread.joinable()) thread.join();
  }
};

AnalysisSlot& Slot() {
  static AnalysisSlot slot;
  return slot;
}

std::mutex g_hooksMutex;
CVolume::SectorPass g_sectorPass;
std::function<std::int64_t()> g_tickSource;

// Waits (at most `timeout`, or without bound) for the analysis thread to end, then
// joins it; false when it still runs. A thread never waits for itself.
bool JoinEnded(std::optional<std::chrono::milliseconds> timeout) {
  AnalysisSlot& s = Slot();
  std::shared_ptr<CVolume> old;
  std::unique_lock lock(s.mutex);
  if (s.alive && s.id == std::this_thread::get_id()) return false;
  auto ended = [&] { return !s.alive; };
  if (timeout) {
    if (!s.ended.wait_for(lock, *timeout, ended)) return false;
  } else {
    s.ended.wait(lock, ended);
  }
  if (s.thread.joinable()) s.thread.join();  // at its end: it only posts its last message
  old = std::move(s.volume);
  lock.unlock();
  return true;  // the volume goes here, outside the lock
}

}  // namespace

void CVolume::SetSectorPass(SectorPass pass) {
  std::lock_guard lock(g_hooksMutex);
  g_sectorPass = std::move(pass);
}

void CVolume::SetTickSource(std::function<std::int64_t()> nowMs) {
  std::lock_guard lock(g_hooksMutex);
  g_tickSource = std::move(nowMs);
}

std::int64_t CVolume::NowMs() {
  std::function<std::int64_t()> source;
  {
    std::lock_guard lock(g_hooksMutex);
    source = g_tickSource;
  }
  if (source) return source();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool CVolume::WaitForAnalysisEnd(std::chrono::milliseconds timeout) { return JoinEnded(timeout); }

void CVolume::JoinAnalysisThreads() { JoinEnded(std::nullopt); }

bool CVolume::IsOnAnalysisThread() const {
  AnalysisSlot& s = Slot();
  std::lock_guard lock(s.mutex);
  return s.alive && s.volume.get() == this && s.id == std::this_thread::get_id();
}

bool CVolume::HasAnalysisThread() const {
  AnalysisSlot& s = Slot();
  std::lock_guard lock(s.mutex);
  return s.alive && s.volume.get() == this;
}

bool CVolume::StartThread(ThreadKind kind, std::int32_t sectorPassMode, bool freeClustersOnly) {
  std::shared_ptr<CVolume> self;
  try {
    self = shared_from_this();
  } catch (const std::bad_weak_ptr&) {
    return false;  // only a shared volume can run a thread
  }
  ScanProgress& progress = GetScanProgress();
  AnalysisSlot& s = Slot();
  std::shared_ptr<CVolume> previous;
  std::unique_lock lock(s.mutex);
  // The running flag is looked at and set under the slot's lock: a start never sets
  // the flag while a thread (one that was stopped, say) still runs.
  if (s.alive) return false;
  if (kind == ThreadKind::Analysis && progress.running.load() != 0) return false;
  if (s.thread.joinable()) s.thread.join();
  previous = std::move(s.volume);

  threadKind_.store(kind);
  sectorPassMode_.store(sectorPassMode);  // an analysis searches for lost files
  freeClustersOnly_.store(freeClustersOnly);  // and reads every sector
  working_.store(true);
  stopRequested_.store(false);
  aborted_.store(false);
  const std::int32_t runningBefore = progress.running.exchange(1);
  if (kind != ThreadKind::Analysis) {
    progress.current.store(0);
    progress.total.store(Geometry().totalClusters);
  }
  if (kind != ThreadKind::SectorPass) progress.SetVolume(self);
  try {
    s.thread = std::thread([self, kind] { self->ThreadMain(kind); });
  } catch (...) {
    working_.store(false);
    progress.running.store(runningBefore);
    Log().Error(u"The analysis thread of %s could not be started", GetDisplayName());
    return false;
  }
  s.id = s.thread.get_id();
  s.volume = std::move(self);
  s.alive = true;
  return true;
}

bool CVolume::StartAnalyseThread() { return StartThread(ThreadKind::Analysis, kLostFileSearch); }

bool CVolume::StartAnalyseFileSystem() {
  if (!StartThread(ThreadKind::FileSystemPass, GetSectorPassMode())) return false;
  if (g_Computer) g_Computer->SetScannedVolume(shared_from_this());
  return true;
}

bool CVolume::StartAnalyseSectors(std::int32_t mode, bool freeClustersOnly) {
  if (!StartThread(ThreadKind::SectorPass, mode, freeClustersOnly && mode == kLostFileSearch)) return false;
  if (g_Computer) g_Computer->SetScannedVolume(shared_from_this());
  return true;
}

void CVolume::ThreadMain(ThreadKind kind) {
  // A stop is seen by every read, retry and salvaged sector of the passes.
  const ReadStop stop([] { return !GetScanProgress().IsRunning(); });
  // Nothing of the program's own is written onto this volume while it is read.
  const ConfigFolderGuard guard(*this);
  switch (kind) {
    case ThreadKind::Analysis:
      Analyse();
      break;
    case ThreadKind::FileSystemPass:
      SetState(kAnalysing);
      try {
        AnalyseFileSystem();
      } catch (...) {
        Log().Error(u"AnalyseFileSystem.FatalError");
      }
      SetState(kReady);
      break;
    case ThreadKind::SectorPass:
      SetState(kAnalysing);  // the finish of the starter sets it back
      try {
        AnalyseSectors();
      } catch (...) {
        Log().Error(u"AnalyseSectors.FatalError");
      }
      break;
    case ThreadKind::None:
      break;
  }
  working_.store(false);
  if (kind == ThreadKind::Analysis) {
    if (aborted_.load())
      Log().InfoId(57113);
    else
      Log().InfoId(57123, GetDisplayName());
  }
  const std::int32_t nodeId = DeviceNodeId();
  {
    AnalysisSlot& s = Slot();
    std::lock_guard lock(s.mutex);
    s.alive = false;
  }
  Slot().ended.notify_all();
  // The last thing the thread does: whoever starts the next analysis joins it.
  if (kind == ThreadKind::Analysis) PostToUi(WM_ANALYSIS_DONE, nodeId, 0);
}

void CVolume::EndWithoutComputer() {
  ScanProgress& progress = GetScanProgress();
  const std::shared_ptr<CVolume> scanned = progress.Volume();
  if (!scanned || scanned.get() == this) progress.running.store(0);
  SetState(kReady);
}

void CVolume::Analyse() {
  ScanProgress& progress = GetScanProgress();
  bool opened = false;
  try {
    TakeSettings(Settings());
    Log().InfoId(57111, GetDisplayName());
    if (OpenDrive()) {
      opened = true;
      SetState(kAnalysing);
      BootSetup();
      // A stop before the pass leaves the store as it was.
      if (progress.IsRunning()) AnalyseFileSystem();
      if (Settings().SignaturePass() == 1 && progress.IsRunning()) AnalyseSectors();
    }
  } catch (...) {
    Log().Error(u"Analyse.FatalError");
  }
  // Whatever happened, the analysis ends: the running flag is cleared and the end is
  // posted, so the queue goes on.
  aborted_.store(!opened || stopRequested_.load() || !progress.IsRunning());
  working_.store(false);
  std::shared_ptr<CVolume> self;
  try {
    self = shared_from_this();
  } catch (const std::bad_weak_ptr&) {
  }
  if (g_Computer && self)
    g_Computer->OnAnalyseDone(self);
  else
    EndWithoutComputer();
}

void CVolume::PassEnded(ThreadKind pass, std::uint32_t message) {
  // A pass that is its thread's last is over before its message arrives: finishing
  // it from the message asks no confirmation.
  if (threadKind_.load() == pass) working_.store(false);
  PostToUi(message, 0, 0);
}

void CVolume::AnalyseFileSystem() {
  ScanProgress& progress = GetScanProgress();
  const AppSettings settings = Settings().Snapshot();
  TakeSettings(settings);
  fsCounters_.folders.store(0);
  fsCounters_.files.store(0);
  const std::int64_t start = NowMs();
  progress.current.store(0);
  progress.total.store(Geometry().totalClusters);
  progress.passMarker.store(1);
  progress.BeginUnreadableCount(this);
  progress.owner.store(g_Computer);

  Log().SendStatus(57211);
  Log().InfoId(57212);

  ResetStore();
  // The bitmap tells what this pass finds in use; an earlier pass's says nothing.
  bitmap_.Create(0, false);

  const std::int32_t code = FileSystemTypeCode();
  std::int32_t openState = 0;
  {
    std::shared_lock lock(fsMutex_);
    if (fs_) openState = fs_->openState;
  }
  std::unique_ptr<CFileSystem> parser = MakeFileSystem(code, *this, progress);
  if (!parser) {
    Log().InfoId(57214);
  } else {
    const std::int32_t rootId = CFileSystem::RootFolderIdFor(code);
    parser->openState = openState;
    parser->root.id = rootId;
    parser->root.parentId = DeviceNodeId();
    store_.SetRootFolderId(rootId);
    store_.RegisterObject(parser->root);
    SetFileSystem(std::move(parser));
    try {
      FileSystem()->Analyse();
    } catch (...) {
      Log().Error(u"AnalyseFileSystem.FatalError");
    }
  }

  const std::int64_t elapsed = std::max<std::int64_t>(0, NowMs() - start);
  PassEnded(ThreadKind::FileSystemPass, WM_FILE_SYSTEM_PASS_DONE);
  Log().InfoId(135, elapsed / 60000, (elapsed / 1000) % 60);
  Log().InfoId(136, fsCounters_.folders.load(), fsCounters_.files.load());
}

void CVolume::AnalyseSectors() {
  ScanProgress& progress = GetScanProgress();
  const AppSettings settings = Settings().Snapshot();
  TakeSettings(settings);
  sectorCounters_.folders.store(0);
  sectorCounters_.files.store(0);
  progress.BeginUnreadableCount(this);
  // The running flag is the starter's: set for a pass alone, and never set again
  // here, where a stop may just have cleared it.
  progress.owner.store(g_Computer);
  if (g_Computer) {
    try {
      g_Computer->SetScannedVolume(shared_from_this());
    } catch (const std::bad_weak_ptr&) {
    }
  }

  Log().SendStatus(57311);
  Log().InfoId(57313);
  store_.EnableOffsetIndex(1);
  const std::int64_t start = NowMs();

  SectorPass pass;
  {
    std::lock_guard lock(g_hooksMutex);
    pass = g_sectorPass;
  }
  if (pass) {
    try {
      pass(*this, progress, settings);
    } catch (...) {
      Log().Error(u"AnalyseSectors.FatalError");
    }
  }

  const std::int64_t elapsed = std::max<std::int64_t>(0, NowMs() - start);
  PassEnded(ThreadKind::SectorPass, WM_SECTOR_PASS_DONE);
  Log().InfoId(136, sectorCounters_.folders.load(), sectorCounters_.files.load());
  Log().InfoId(135, elapsed / 60000, (elapsed / 1000) % 60);
  Close();
}

void CVolume::OnSignatureHit(const FoundObject& hit) {
  try {
    switch (hit.typeId) {
      case 1: case 4: case 7: case 11: {
        // A boot sector: a partition (or this volume's own first sector). A backup copy
        // stands for the volume it belongs to, at that volume's start.
        FoundObject partition = hit;
        std::int64_t bytes = 0;
        partition.offset = BootSectorVolumeStart(hit.offset, &bytes);
        if (partition.offset != hit.offset && bytes > 0) partition.size = bytes;
        partition.parentId = DeviceNodeId();
        if (IPartitionSink* sink = GetPartitionSink()) sink->AddPartitionVolume(partition);
        return;
      }
      default:
        break;
    }
    if (sectorPassMode_.load() == kPartitionSearch) return;
    if (hit.typeId == 24 || hit.typeId == 25) {
      std::shared_lock lock(fsMutex_);
      if (fs_) fs_->ScanAt(hit);
      return;
    }
    if (hit.typeId <= 29) return;

    // A record the hit merged into was in the store before; a new one lies past
    // what the store held (other threads may have added after it as well).
    const std::size_t before = store_.Count();
    FoundObject* r = store_.AddCarvedObject(hit);
    if (!r) return;
    const FoundObject record = store_.Snapshot(*r);
    if (record.IsFolder()) {
      sectorCounters_.folders.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    bool added = false;
    {
      const FoundObjectStore::ReadView view = store_.Read();
      for (std::size_t i = before, n = view.Count(); i < n && !added; ++i) added = view.At(i) == r;
    }
    if (added) sectorCounters_.files.fetch_add(1, std::memory_order_relaxed);
    if (logFoundNames_.load(std::memory_order_relaxed)) Log().InfoId(134, record.Name());
  } catch (...) {
    Log().Error(u"CVolume::OnSignatureHit except");
  }
}

std::int64_t CVolume::BootSectorVolumeStart(std::int64_t at, std::int64_t* bytes) {
  if (bytes) *bytes = 0;
  try {
    if (at < 0 || at % kSectorSize != 0) return at;
    std::uint8_t boot[512];
    if (ReadSectors(boot, at / kSectorSize, 1) != kSectorSize) return at;
    std::int32_t code = 0;
    if (!IsSoundBootSector(boot, &code)) return at;
    const platform::LeView v(boot, sizeof boot);
    const std::int64_t sector = at / kSectorSize;
    std::uint8_t probe[512];
    auto readAt = [&](std::int64_t s) { return s >= 0 && ReadSectors(probe, s, 1) == kSectorSize; };
    switch (BootFamilyOf(code)) {
      case BootFamily::Fat32: {
        // The first FAT follows the reserved sectors of the volume's start: it tells a
        // primary (its FAT lies after it) from the copy at sector 6 (the FAT lies
        // after the primary's place).
        const std::int64_t backup = v.U16(50), reserved = v.U16(14);
        const std::uint8_t media = v.U8(21);
        auto fatAfter = [&](std::int64_t start) {
          return readAt(start + reserved) && probe[0] == media && probe[1] == 0xFF && probe[2] == 0xFF &&
                 (probe[3] & 0x0F) == 0x0F;
        };
        if (backup <= 0 || backup >= reserved || sector < backup || fatAfter(sector)) return at;
        if (!fatAfter(sector - backup)) return at;
        if (bytes) *bytes = std::int64_t(v.U32(32)) * kSectorSize;
        return (sector - backup) * kSectorSize;
      }
      case BootFamily::Ntfs: {
        // The copy lies at the volume's last sector (its sector count) or, from older
        // tools, at its middle; the $MFT (or $MFTMirr) follows the volume's start.
        const std::int32_t spc = SectorsPerCluster(v.U8(13), BootFamily::Ntfs);
        const std::uint64_t total = v.U64(0x28), mft = v.U64(0x30), mirror = v.U64(0x38);
        if (spc == 0 || total == 0 || total > std::uint64_t(INT64_MAX / kSectorSize)) return at;
        auto mftAfter = [&](std::int64_t start) {
          for (const std::uint64_t cluster : {mft, mirror}) {
            if (cluster == 0 || cluster > std::uint64_t(INT64_MAX / kSectorSize / spc)) continue;
            if (readAt(start + std::int64_t(cluster) * spc) && std::memcmp(probe, "FILE", 4) == 0) return true;
          }
          return false;
        };
        if (mftAfter(sector)) return at;
        for (const std::int64_t distance : {std::int64_t(total), std::int64_t(total / 2)}) {
          if (distance <= 0 || distance > sector) continue;
          const std::int64_t start = sector - distance;
          // No $MFT either way: a copy of this very sector at the start tells the same.
          if (mftAfter(start) || (readAt(start) && std::memcmp(probe, boot, sizeof boot) == 0)) {
            if (bytes) *bytes = (std::int64_t(total) + 1) * kSectorSize;  // the copy's sector is the volume's
            return start * kSectorSize;
          }
        }
        return at;
      }
      default:
        return at;
    }
  } catch (...) {
    return at;
  }
}

int CVolume::StopAnalysis(bool force) {
  try {
    if (IsOnAnalysisThread()) return 1;  // the thread's own finish neither asks nor waits
    ScanProgress& progress = GetScanProgress();
    const bool ours = HasAnalysisThread();
    if (ours && !force && working_.load() && progress.IsRunning() && Settings().ConfirmScanAbort() == 1) {
      Question q;
      q.kind = QuestionKind::Confirm;
      q.text = GetLangString(170);
      q.caption = GetLangString(157);
      q.buttons = Buttons::YesNo;
      q.icon = MessageIcon::Question;
      q.detail = GetDisplayName();
      // A scan that ends while the question is open needs no answer any more.
      if (AskUser(q, [this] { return working_.load(); }).answer != Answer::Yes) return 0;
    }
    if (!ours) return 1;
    stopRequested_.store(true);
    progress.running.store(0);
    AnalysisSlot& s = Slot();
    std::unique_lock lock(s.mutex);
    // A thread that has not ended by then ends by itself and posts its end.
    s.ended.wait_for(lock, kStopWait, [&] { return !(s.alive && s.volume.get() == this); });
    return 1;
  } catch (...) {
    Log().Error(u"CVolume::StopAnalysis except");
    return 1;
  }
}

void CVolume::ResetStore() {
  store_.Clear();
  store_.RegisterObject(deviceNode_);
  // Partitions found on this volume stay below its node.
  for (const auto& child : Children())
    if (child->GetKind() == kFoundPartition && child->DeviceNode()->parentId == DeviceNodeId())
      store_.RegisterObject(child->DeviceNode());
}

std::unique_ptr<CFreeClusterMap> CVolume::MakeFreeClusterMap() const {
  const VolumeGeometry g = Geometry();
  const std::int64_t totalSectors = std::max<std::int64_t>(0, g.totalSectors);
  CFileSystem::ClusterLayout layout;
  bool laidOut = false;
  {
    std::shared_lock lock(fsMutex_);
    laidOut = fs_ && fs_->BitmapLayout(layout);
  }
  if (laidOut && bitmap_.GetData() && bitmap_.BitCount() > 0)
    return std::make_unique<CFreeClusterMap>(bitmap_, layout, totalSectors);
  const std::int64_t units = g.clusterBytes >= 512 && g.clusterBytes % 512 == 0 ? g.clusterBytes / 512 : 1;
  return std::make_unique<CFreeClusterMap>(totalSectors, units);
}

namespace {

std::mutex g_storeUsersMutex;
std::vector<std::pair<int, CVolume::StoreUser>> g_storeUsers;
int g_nextStoreUser = 1;

}  // namespace

int CVolume::AddStoreUser(StoreUser user) {
  std::lock_guard lock(g_storeUsersMutex);
  const int id = g_nextStoreUser++;
  g_storeUsers.emplace_back(id, std::move(user));
  return id;
}

void CVolume::RemoveStoreUser(int id) {
  std::lock_guard lock(g_storeUsersMutex);
  std::erase_if(g_storeUsers, [id](const auto& entry) { return entry.first == id; });
}

CVolume::ClearResult CVolume::ClearFoundObjects() {
  if (HasAnalysisThread()) {
    ShowUserMessage(platform::Format(u"%s is being analysed. Stop the analysis, then choose the drive again.",
                                     GetDisplayName()),
                    u"Warning!", MessageIcon::Warning);
    return ClearResult::kRefusedPass;
  }
  std::vector<StoreUser> users;
  {
    std::lock_guard lock(g_storeUsersMutex);
    for (const auto& entry : g_storeUsers) users.push_back(entry.second);
  }
  for (const StoreUser& user : users) {
    const std::u16string refusal = user.refusal ? user.refusal(*this) : std::u16string();
    if (!refusal.empty()) {
      ShowUserMessage(refusal, u"Warning!", MessageIcon::Warning);
      return ClearResult::kRefusedInUse;
    }
  }
  for (const StoreUser& user : users)
    if (user.release) user.release(*this);
  ResetStore();
  bitmap_.Create(0, false);
  fsCounters_.folders.store(0);
  fsCounters_.files.store(0);
  sectorCounters_.folders.store(0);
  sectorCounters_.files.store(0);
  return ClearResult::kCleared;
}

void CVolume::EndAnalysisThread() {
  // On the analysis thread itself the thread routine ends after the finish.
  SetState(kReady);
}
