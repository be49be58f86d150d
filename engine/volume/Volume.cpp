#include "engine/volume/Volume.h"

// The volume itself: construction, device access, queries, names, the parser, the
// store and relatives. Its reads are in VolumeReads.cpp, the boot set-up and the
// partition walk in VolumePartitions.cpp (GPT in VolumeGpt.cpp), the analysis
// threads in VolumeAnalysis.cpp.

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/device/FileBlockDevice.h"
#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

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

