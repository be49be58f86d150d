#pragma once
// What a file-system parser asks of the volume it parses: the parser it replaces,
// sector reads (plain and salvaged), reads of a found object's data, the boot copy
// and the geometry, the descriptive fields it fills, the clusters bitmap it lays
// out, and the store that takes each parsed record. CVolume is the one implementation (see Volume.h for
// what each call does); through this interface the parsers stand below the volume
// that makes them.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/fs/BitArray.h"
#include "engine/fs/VolumeInfo.h"
#include "engine/store/FoundObject.h"

class CFileSystem;
class TimedReader;

class IVolumeAccess {
 public:
  virtual ~IVolumeAccess() = default;
  IVolumeAccess(const IVolumeAccess&) = delete;
  IVolumeAccess& operator=(const IVolumeAccess&) = delete;

  // The open device (opened on demand); null when it can't be opened.
  virtual std::shared_ptr<TimedReader> OpenDrive() = 0;
  virtual void Close() = 0;
  // `count` 512-byte sectors from `firstSector` of the volume: the bytes read, the
  // rest zero-filled.
  virtual std::int64_t ReadSectors(void* buffer, std::int64_t firstSector, std::int64_t count) = 0;
  // The same, reading again sector by sector where the run fails, so that only the
  // unreadable sectors are zero-filled (each run of them logged with `logFormat`).
  virtual std::int64_t ReadSectorsSalvaged(void* buffer, std::int64_t firstSector, std::int64_t count,
                                           std::u16string_view logFormat) = 0;
  // `count` bytes of an object's raw data from `position` bytes into it.
  virtual std::int64_t FileRead(const FoundObject& object, void* buffer, std::int64_t position,
                                std::uint32_t count) = 0;

  // The parser the volume holds (before the file-system pass, the plain one that
  // carries the type found): a new parser takes its type code, state and name.
  virtual CFileSystem* FileSystem() const = 0;

  // The boot set-up (boot sector read, geometry completed); 1 when done.
  virtual int BootSetup() = 0;
  // The volume's first two sectors as the boot set-up read them.
  virtual std::array<std::uint8_t, 1024> BootCopy() const = 0;
  virtual VolumeGeometry Geometry() const = 0;
  // Edits the descriptive fields as a whole, under the volume's lock.
  virtual void UpdateInfo(const std::function<void(VolumeInfo&)>& update) = 0;
  virtual std::u16string GetDisplayName() const = 0;

  // One bit a cluster, set for the clusters in use.
  virtual CBitArray& ClustersBitmap() = 0;
  // Each parsed record: the store's record, or null when the store did not take it.
  virtual FoundObject* OnObjectFound(const FoundObject& object) = 0;

 protected:
  IVolumeAccess() = default;
};
