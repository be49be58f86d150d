#include "engine/fs/fat/FileSystem_FAT.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "engine/fs/VolumeAccess.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "platform/FileTime.h"
#include "platform/Format.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kEntryBytes = 32;
constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kDeletedMark = 0xE5;
// The table is read in runs of this many sectors (2 MB), testing the running flag
// between them.
constexpr std::int64_t kReadRunSectors = 4096;

// A byte of an 8.3 name as the validity test wants it: printable, none of the
// characters a short name can't hold, no lower-case ASCII letter (bytes from 0x80
// pass). A '/' is let through: entries that hold one exist (written by other
// systems), and the name is cleaned like any other when it becomes a file name.
bool IsShortNameByte(std::uint8_t b) {
  if (b < 0x20) return false;
  if (b >= 'a' && b <= 'z') return false;
  switch (b) {
    case '"': case '*': case '+': case ',': case ':': case ';': case '<': case '=': case '>':
    case '?': case '[': case '\\': case ']': case '|':
      return false;
    default:
      return true;
  }
}

// The validity test of one 32-byte entry.
bool IsValidEntry(const std::uint8_t* e) {
  const platform::LeView v(e, kEntryBytes);
  const std::uint8_t attr = v.U8(11);
  if ((attr & kAttrLongName) == kAttrLongName) return attr < 0x10 && v.U16(26) == 0;
  if (e[0] == 0x00 || e[0] == 0x20) return false;
  for (int i = 0; i < 11; ++i)
    if (!(i == 0 && e[0] == 0x05) && !IsShortNameByte(e[i])) return false;
  return e[13] < 200 && attr < 0x40;
}

// The check byte that long-name entries carry of the 11 bytes of their short name.
std::uint8_t ShortNameChecksum(std::uint8_t first, const std::uint8_t* rest10) {
  std::uint8_t sum = first;
  for (int i = 0; i < 10; ++i) sum = std::uint8_t(((sum & 1) << 7) + (sum >> 1) + rest10[i]);
  return sum;
}

// The 13 UTF-16 units of a long-name entry, appended; true when they hold the NUL
// that ends the name.
bool AppendLongNameUnits(const std::uint8_t* e, std::u16string& out) {
  static constexpr std::uint8_t kUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  const platform::LeView v(e, kEntryBytes);
  for (std::uint8_t o : kUnitOffsets) {
    const char16_t u = char16_t(v.U16(o));
    if (u == 0) return true;
    out.push_back(u);
  }
  return false;
}

std::u16string LowerCase(std::u16string text) {
  for (char16_t& c : text) c = platform::FoldCase(c);
  return text;
}

// The 8.3 name: the name bytes without their trailing blanks, then '.' and the
// extension when it has one; Windows-1252. A deleted entry has lost its first
// character and shows '_'; a first byte 0x05 stands for 0xE5. The case flags of
// byte 12 (0x08 name, 0x10 extension in lower case) are applied, as for names
// written without a long name by Windows.
std::u16string ShortName(const std::uint8_t* e, bool deleted) {
  std::uint8_t name[8];
  std::memcpy(name, e, 8);
  if (deleted)
    name[0] = '_';
  else if (name[0] == 0x05)
    name[0] = kDeletedMark;
  std::size_t n = 8;
  while (n > 0 && name[n - 1] == ' ') --n;
  std::size_t x = 3;
  while (x > 0 && e[8 + x - 1] == ' ') --x;
  std::u16string base = platform::Windows1252ToUtf16({name, n});
  if (e[12] & 0x08) base = LowerCase(std::move(base));
  if (x == 0) return base;
  std::u16string ext = platform::Windows1252ToUtf16({e + 8, x});
  if (e[12] & 0x10) ext = LowerCase(std::move(ext));
  return base + u'.' + ext;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool IsDosDateTimeValid(const platform::DateTime& t) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.month < 1 || t.month > 12 || t.day < 1) return false;
  if (t.day > kDays[t.month - 1] + (t.month == 2 && IsLeapYear(t.year) ? 1 : 0)) return false;
  return t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

}  // namespace

// ---- Parameter block ------------------------------------------------------------------

bool FatParameters::Read(platform::Bytes boot, int fatBits, std::int64_t volumeSectors, FatParameters& out,
                         std::u16string& why) {
  out = FatParameters();
  const platform::LeView v(boot);
  if (v.size() < 512) {
    why = u"boot sector too short";
    return false;
  }
  if (fatBits != 12 && fatBits != 16 && fatBits != 32) {
    why = platform::Format(u"no FAT of %d bits", fatBits);
    return false;
  }
  const std::uint32_t bps = v.U16(11);
  const std::uint32_t spc = v.U8(13);
  const std::uint32_t reserved = v.U16(14);
  const std::uint32_t fats = v.U8(16);
  const std::uint32_t rootEntries = fatBits == 32 ? 0 : v.U16(17);
  const std::uint64_t sectorsPerFat = fatBits == 32 ? v.U32(36) : v.U16(22);
  std::uint64_t total = v.U16(19) ? v.U16(19) : v.U32(32);

  if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) {
    why = platform::Format(u"bytes per sector %d", bps);
    return false;
  }
  if (spc == 0 || (spc & (spc - 1)) != 0) {
    why = platform::Format(u"sectors per cluster %d", spc);
    return false;
  }
  if (reserved == 0 || fats == 0 || sectorsPerFat == 0) {
    why = platform::Format(u"reserved sectors %d, FAT count %d, sectors per FAT %I64d", reserved, fats,
                           std::int64_t(sectorsPerFat));
    return false;
  }
  if (fatBits != 32 && rootEntries == 0) {
    why = u"no root folder entries";
    return false;
  }
  const std::uint64_t units = bps / 512;  // 512-byte units per sector
  if (total == 0 && volumeSectors > 0) total = std::uint64_t(volumeSectors) / units;
  const std::uint64_t rootDirSectors = (std::uint64_t(rootEntries) * kEntryBytes + bps - 1) / bps;
  // All of this fits in 64 bits: the factors are at most 32 bits and 8 bits wide.
  const std::uint64_t rootDir = reserved + std::uint64_t(fats) * sectorsPerFat;
  const std::uint64_t dataStart = rootDir + rootDirSectors;
  if (dataStart >= total) {
    why = platform::Format(u"data area at sector %I64d, total sectors %I64d", std::int64_t(dataStart),
                           std::int64_t(total));
    return false;
  }
  if (volumeSectors > 0 && dataStart * units >= std::uint64_t(volumeSectors)) {
    why = platform::Format(u"data area at sector %I64d beyond the volume's %I64d sectors",
                           std::int64_t(dataStart * units), volumeSectors);
    return false;
  }
  out.fatBits = fatBits;
  out.bytesPerSector = bps;
  out.sectorsPerCluster = spc;
  out.clusterBytes = bps * spc;
  out.clusterUnits = std::uint32_t(units * spc);
  out.fatCount = fats;
  out.rootEntries = rootEntries;
  out.fatSector = std::int64_t(reserved * units);
  out.fatBytes = std::int64_t(sectorsPerFat * bps);
  out.rootDirSector = std::int64_t(rootDir * units);
  out.rootDirBytes = std::int64_t(rootDirSectors * bps);
  out.dataStartSector = std::int64_t(dataStart * units);
  out.totalSectors = std::int64_t(total * units);

  // Clusters: what the data area holds, as far as the table has entries for them and
  // below the values that mark bad clusters and chain ends.
  std::uint64_t clusters = (total - dataStart) / spc;
  const std::uint64_t entries = std::uint64_t(out.fatBytes) * 8 / std::uint64_t(fatBits);
  clusters = std::min<std::uint64_t>(clusters, entries > 2 ? entries - 2 : 0);
  const std::uint64_t maxClusters = fatBits == 12 ? 0xFF5 : fatBits == 16 ? 0xFFF5 : 0x0FFFFFF5;
  clusters = std::min(clusters, maxClusters);
  if (clusters == 0) {
    why = u"no clusters";
    return false;
  }
  out.clusterCount = std::uint32_t(clusters);
  if (fatBits == 32) {
    out.rootCluster = v.U32(44) & 0x0FFFFFFF;
    if (out.rootCluster < 2 || out.rootCluster > out.clusterCount + 1) {
      why = platform::Format(u"root folder cluster %d", out.rootCluster);
      return false;
    }
  }
  return true;
}

// ---- DOS times --------------------------------------------------------------------------------

platform::FileTime FatDosTimes::ToFileTime(std::uint16_t date, std::uint16_t time) {
  if (date == 0) return 0;
  platform::DateTime t;
  t.year = 1980 + (date >> 9);
  t.month = (date >> 5) & 0x0F;
  t.day = date & 0x1F;
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3F;
  t.second = (time & 0x1F) * 2;
  if (!IsDosDateTimeValid(t)) return 0;
  const platform::FileTime intoDay =
      (std::int64_t(t.hour) * 3600 + std::int64_t(t.minute) * 60 + t.second) * platform::kFileTimePerSecond;
  for (const Day& d : days_)
    if (d.date == date) return d.start + intoDay;
  // The local-to-UTC step goes through the C library, which is slow (it may read the
  // zone file every time), and the entries of a volume share their dates. A day is
  // kept when one offset holds from its start to its end; the days the zone's offset
  // changes are converted time by time.
  const platform::FileTime exact = platform::FileTimeFromLocal(t);
  platform::DateTime d = t;
  d.hour = d.minute = d.second = 0;
  const platform::FileTime start = platform::FileTimeFromLocal(d);
  d.hour = 23;
  d.minute = 59;
  d.second = 58;
  const platform::FileTime end = platform::FileTimeFromLocal(d);
  const platform::FileTime toEnd = (23 * 3600 + 59 * 60 + 58) * platform::kFileTimePerSecond;
  if (start + intoDay == exact && start + toEnd == end) {
    days_[next_] = Day{date, start};
    next_ = (next_ + 1) % (sizeof days_ / sizeof days_[0]);
  }
  return exact;
}

// ---- Parser ---------------------------------------------------------------------------------

CFileSystem_FAT::CFileSystem_FAT(IVolumeAccess& volume, ScanProgress& progress) : volume_(volume), progress_(progress) {
  if (const CFileSystem* current = volume.FileSystem()) {
    typeCode = current->typeCode;
    openState = current->openState;
    typeName = current->typeName;
  }
}

CFileSystem_FAT::~CFileSystem_FAT() = default;

std::unique_ptr<CFileSystem> MakeFatParser(IVolumeAccess& volume, ScanProgress& progress) {
  return std::make_unique<CFileSystem_FAT>(volume, progress);
}

bool CFileSystem_FAT::BitmapLayout(ClusterLayout& out) const {
  const FatParameters p = Parameters();
  if (p.clusterCount == 0 || p.clusterUnits == 0) return false;
  out.firstSector = p.dataStartSector;
  out.firstCluster = 2;
  out.clusterCount = p.clusterCount;
  out.sectorsPerCluster = p.clusterUnits;
  return true;
}

FatParameters CFileSystem_FAT::Parameters() const {
  std::lock_guard lock(stateMutex_);
  return params_;
}

std::uint64_t CFileSystem_FAT::ChainWalks() const {
  std::lock_guard lock(stateMutex_);
  return chainWalks_;
}

bool CFileSystem_FAT::IsRunning() const { return progress_.IsRunning(); }

bool CFileSystem_FAT::LoadParameters() {
  {
    std::lock_guard lock(stateMutex_);
    if (haveParameters_) return true;
  }
  const auto boot = volume_.BootCopy();
  const VolumeGeometry g = volume_.Geometry();
  FatParameters p;
  std::u16string why;
  if (!FatParameters::Read({boot.data(), 512}, FatBitsFor(typeCode), g.totalSectors, p, why)) {
    Log().Error(u"FAT parameter block of %s not usable (%s): file system analysis skipped.",
                volume_.GetDisplayName(), why);
    return false;
  }
  {
    // A read on another thread may have got here first: the parameters are written
    // once, as the walk reads them without the lock.
    std::lock_guard lock(stateMutex_);
    if (haveParameters_) return true;
    params_ = p;
    haveParameters_ = true;
  }
  volume_.UpdateInfo([&](VolumeInfo& info) {
    VolumeGeometry& geo = info.geometry;
    geo.bytesPerSector = 512;
    geo.sectorsPerCluster = std::int32_t(p.clusterUnits);
    geo.clusterBytes = std::int32_t(p.clusterBytes);
    if (geo.totalSectors > 0) geo.totalClusters = geo.totalSectors / p.clusterUnits;
  });
  return true;
}

bool CFileSystem_FAT::LoadTable(bool stoppable) {
  FatParameters p;
  {
    std::lock_guard lock(stateMutex_);
    if (!table_.Empty()) return true;
    p = params_;
  }
  // Only the part of the first copy that covers the clusters is read.
  const std::int64_t need = (std::int64_t(p.clusterCount) + 2) * p.fatBits / 8 + 2;
  const std::int64_t bytes = (std::min(p.fatBytes, need) + 511) / 512 * 512;
  std::vector<std::uint8_t> fat;
  try {
    fat.resize(std::size_t(bytes));
  } catch (const std::bad_alloc&) {
    Log().ErrorId(193);
    return false;
  }
  const std::int64_t sectors = bytes / 512;
  for (std::int64_t s = 0; s < sectors; s += kReadRunSectors) {
    if (stoppable && !IsRunning()) return false;
    const std::int64_t n = std::min(kReadRunSectors, sectors - s);
    if (volume_.ReadSectors(fat.data() + s * 512, p.fatSector + s, n) != n * 512) {
      // What could not be read stays zero: those clusters look free.
      Log().Error(u"FAT of %s not read at sector %I64d", volume_.GetDisplayName(), p.fatSector + s);
    }
  }
  std::lock_guard lock(stateMutex_);
  if (table_.Empty()) table_.Assign(std::move(fat), p.fatBits, p.clusterCount);
  return true;
}

int CFileSystem_FAT::Analyse() {
  try {
    if (!volume_.OpenDrive()) return 0;
    if (FatBitsFor(typeCode) == 0) return 0;
    if (!LoadParameters() || !LoadTable(true)) return 0;
    {
      std::lock_guard lock(stateMutex_);
      table_.FillBitmap(volume_.ClustersBitmap());
    }
    Walk();
  } catch (...) {
    Log().Error(u"CFileSystem_FAT::Analyse except");
  }
  return 0;
}

std::int32_t CFileSystem_FAT::IdOfCluster(std::uint32_t cluster) const {
  if (params_.fatBits == 32 && std::int64_t(params_.rootCluster) != root.id && root.id >= 0) {
    if (std::int64_t(cluster) == root.id) return std::int32_t(params_.rootCluster);
    if (cluster == params_.rootCluster) return root.id;
  }
  return std::int32_t(cluster);
}

void CFileSystem_FAT::Walk() {
  folderQueue_.clear();
  folders_.clear();
  furthestCluster_ = 0;
  times_ = FatDosTimes();
  const FatParameters& p = params_;
  if (p.fatBits == 32) {
    // The root is a folder like the others, but its entries belong to the root record.
    folders_[p.rootCluster] = FolderState{0, false, true};
    folderQueue_.push_back({p.rootCluster, true, false, false});
  } else {
    std::vector<std::uint8_t> dir(std::size_t(p.rootDirBytes));
    const std::int64_t sectors = p.rootDirBytes / 512;
    if (volume_.ReadSectors(dir.data(), p.rootDirSector, sectors) != sectors * 512) {
      Log().ErrorId(194);
      return;
    }
    ParseEntries(dir, root.id, true);
  }
  for (std::size_t i = 0; i < folderQueue_.size() && IsRunning(); ++i) {
    const Folder f = folderQueue_[i];
    folders_[f.cluster].parsed = true;
    ParseFolder(f);
  }
}

void CFileSystem_FAT::QueueFolder(std::uint32_t cluster, bool live, bool deletedPath) {
  if (!table_.IsValidCluster(cluster)) return;
  auto it = folders_.find(cluster);
  if (it == folders_.end()) {
    folders_[cluster] = FolderState{folderQueue_.size(), false, live};
    folderQueue_.push_back({cluster, live, false, deletedPath});
    return;
  }
  FolderState& s = it->second;
  // Reached by a live path too before it was parsed: its entries are on that one.
  if (!s.parsed && !deletedPath) folderQueue_[s.queueIndex].deletedPath = false;
  if (!live || s.live) return;
  // A live folder that starts where a deleted one did (its first cluster reused):
  // its whole chain is read, once.
  s.live = true;
  if (!s.parsed) {
    folderQueue_[s.queueIndex].live = true;
  } else {
    folderQueue_.push_back({cluster, true, true, deletedPath});
  }
}

void CFileSystem_FAT::ParseFolder(const Folder& folder) {
  const FatParameters& p = params_;
  furthestCluster_ = std::max<std::int64_t>(furthestCluster_, folder.cluster);
  progress_.current.store(furthestCluster_, std::memory_order_relaxed);
  std::vector<FatRun> runs;
  if (folder.live) {
    const std::uint64_t limit = std::max<std::uint64_t>(1, kMaxFolderBytes / p.clusterBytes);
    runs = table_.Chain(folder.cluster, limit).runs;
    if (folder.skipFirst && !runs.empty()) {
      if (--runs.front().count == 0)
        runs.erase(runs.begin());
      else
        ++runs.front().first;
    }
  } else {
    runs.push_back({folder.cluster, 1});
  }
  std::uint64_t clusters = 0;
  for (const FatRun& r : runs) clusters += r.count;
  if (clusters == 0) return;
  std::vector<std::uint8_t> dir(std::size_t(clusters * p.clusterBytes));
  std::size_t at = 0;
  for (const FatRun& r : runs) {
    if (!IsRunning()) return;
    // A run is read in one piece; what can't be read stays zero and fails the
    // validity test.
    volume_.ReadSectors(dir.data() + at, p.ClusterOffset(r.first) / 512, std::int64_t(r.count) * p.clusterUnits);
    at += std::size_t(r.count) * p.clusterBytes;
  }
  ParseEntries(dir, IdOfCluster(folder.cluster), true, folder.deletedPath);
}

void CFileSystem_FAT::ParseEntries(platform::Bytes bytes, std::int32_t parentId, bool queueFolders,
                                   bool deletedPath) {
  const std::size_t count = bytes.size() / kEntryBytes;
  for (std::size_t i = 0; i < count && IsRunning(); ++i) ParseEntry(bytes, i, parentId, queueFolders, deletedPath);
}

bool CFileSystem_FAT::LongName(platform::Bytes bytes, std::size_t index, bool deleted, std::u16string& out) const {
  out.clear();
  const std::uint8_t* sfn = bytes.data() + index * kEntryBytes;
  if (index == 0) return false;
  const std::uint8_t* nearest = sfn - kEntryBytes;
  if (nearest[11] != kAttrLongName) return false;
  std::uint8_t checksum;
  if (!deleted) {
    checksum = ShortNameChecksum(sfn[0], sfn + 1);
  } else {
    // The short name's first byte is lost; exactly one first byte gives the check
    // byte of the entry before it, and that byte must be one a short name can start
    // with.
    checksum = nearest[13];
    int first = -1;
    for (int b = 0; b < 256 && first < 0; ++b)
      if (ShortNameChecksum(std::uint8_t(b), sfn + 1) == checksum) first = b;
    if (first < 0 || first == 0x20 || first == '.' || first == kDeletedMark ||
        !(first == 0x05 || IsShortNameByte(std::uint8_t(first))))
      return false;
  }
  bool complete = false;
  int taken = 0;
  for (int k = 1; k <= kMaxLongNameEntries && std::size_t(k) <= index; ++k) {
    const std::uint8_t* e = sfn - std::size_t(k) * kEntryBytes;
    const bool matches =
        e[11] == kAttrLongName && platform::LeView(e, kEntryBytes).U16(26) == 0 && e[13] == checksum;
    if (!deleted) {
      // Live: sequence numbers 1, 2, ... towards the front, the last one flagged 0x40.
      if (!matches || e[0] == kDeletedMark || (e[0] & 0x1F) != k || (e[0] & 0xA0) != 0) return false;
      AppendLongNameUnits(e, out);
      ++taken;
      if (e[0] & 0x40) {
        complete = true;
        break;
      }
    } else {
      // Deleted: the sequence numbers are gone; the entries go on while they are
      // deleted long-name entries of the same short name, up to the one that holds
      // the name's end.
      if (!matches || e[0] != kDeletedMark) break;
      ++taken;
      if (AppendLongNameUnits(e, out)) {
        complete = true;
        break;
      }
    }
  }
  if (deleted) complete = complete || taken > 0;
  if (!complete) {
    out.clear();
    return false;
  }
  return !out.empty();
}

void CFileSystem_FAT::ParseEntry(platform::Bytes bytes, std::size_t index, std::int32_t parentId,
                                 bool queueFolders, bool deletedPath) {
  const std::uint8_t* e = bytes.data() + index * kEntryBytes;
  if (!IsValidEntry(e)) return;
  const std::uint8_t attr = e[11];
  if ((attr & kAttrLongName) == kAttrLongName || attr == kAttrVolumeLabel) return;
  if ((attr & kAttrDirectory) && e[0] == '.') return;

  const platform::LeView v(e, kEntryBytes);
  const FatParameters& p = params_;
  std::uint32_t cluster = v.U16(26);
  if (p.fatBits == 32) cluster = (cluster | (std::uint32_t(v.U16(20)) << 16)) & 0x0FFFFFFF;
  // An empty file has no cluster; an entry whose cluster lies outside the volume is
  // damaged, and so is a folder that starts where the root folder does (it would
  // hold the root and itself).
  if (cluster == 0 || !table_.IsValidCluster(cluster)) return;
  const bool deleted = e[0] == kDeletedMark;
  const bool folder = (attr & kAttrDirectory) != 0;
  if (folder && p.fatBits == 32 && cluster == p.rootCluster) return;
  // A folder that is deleted, or lies in one, is on a deleted path with all it holds.
  if (folder && queueFolders) QueueFolder(cluster, !deleted, deleted || deletedPath);

  FoundObject o;
  o.size = v.U32(28);
  o.id = IdOfCluster(cluster);
  o.parentId = o.id == parentId ? root.id : parentId;
  o.firstCluster = cluster;
  o.offset = p.ClusterOffset(cluster);
  o.attributes = attr;
  o.created = times_.ToFileTime(v.U16(16), v.U16(14));
  o.modified = times_.ToFileTime(v.U16(24), v.U16(22));
  o.accessed = times_.ToFileTime(v.U16(18), 0);
  std::uint16_t flags = OBJ_NAMED;
  // What lies in a deleted folder is deleted with it, whatever its own mark says.
  if (deleted || deletedPath) flags |= OBJ_DELETED;
  if (folder) flags |= OBJ_FOLDER;
  if (deletedPath) flags |= OBJ_DELETED_PATH;
  o.flags = flags;
  if (!LongName(bytes, index, deleted, nameBuffer_)) nameBuffer_ = ShortName(e, deleted);
  o.SetName(nameBuffer_);
  volume_.OnObjectFound(o);
}

// ---- Signature hits ---------------------------------------------------------------------------

void CFileSystem_FAT::ScanAt(const FoundObject& record) {
  try {
    if (FatBitsFor(typeCode) == 0 || record.offset < 0 || !LoadParameters() || !LoadTable()) return;
    const FatParameters& p = params_;
    const std::int64_t total = volume_.Geometry().totalSectors;
    std::int64_t sector = record.offset / 512;
    std::vector<std::uint8_t> buffer(p.clusterBytes);
    times_ = FatDosTimes();
    for (int i = 0; i < 10 && IsRunning(); ++i) {
      if (total > 0 && sector >= total) break;
      volume_.ReadSectors(buffer.data(), sector, p.clusterUnits);
      if (IsValidEntry(buffer.data())) ParseEntries(buffer, root.id, false);
      sector += p.clusterUnits;
    }
  } catch (...) {
    Log().Error(u"CFileSystem_FAT::ScanAt except");
  }
}

// ---- Object data -----------------------------------------------------------------------------

std::shared_ptr<const CFileSystem_FAT::CachedChain> CFileSystem_FAT::ChainFor(std::uint32_t first,
                                                                                std::uint64_t limit) {
  std::lock_guard lock(stateMutex_);
  for (auto it = chainCache_.begin(); it != chainCache_.end(); ++it) {
    const CachedChain& c = **it;
    if (c.first == first && (c.limit == limit || (c.limit > limit && c.chain.end != FatChain::End::Limit))) {
      auto hit = *it;
      chainCache_.splice(chainCache_.begin(), chainCache_, it);
      return hit;
    }
  }
  auto c = std::make_shared<CachedChain>();
  c->first = first;
  c->limit = limit;
  c->chain = table_.Chain(first, limit);
  ++chainWalks_;
  c->runStart.reserve(c->chain.runs.size());
  std::uint64_t at = 0;
  for (const FatRun& r : c->chain.runs) {
    c->runStart.push_back(at);
    at += r.count;
  }
  chainCache_.push_front(c);
  if (chainCache_.size() > kChainCacheSize) chainCache_.pop_back();
  return c;
}

std::int64_t CFileSystem_FAT::ReadBytes(std::int64_t volumeOffset, std::uint8_t* out, std::size_t count) {
  if (count == 0) return 0;
  // Unreadable sectors are zero-filled one by one and logged by the salvaged read;
  // a read that gives nothing at all names its first sector here.
  static constexpr std::u16string_view kCantRead = u"CFileSystem_FAT.FileRead: Can't read sector at: %I64d";
  const std::int64_t first = volumeOffset / 512;
  const std::size_t skip = std::size_t(volumeOffset % 512);
  if (skip == 0 && count % 512 == 0) {
    const std::int64_t got = volume_.ReadSectorsSalvaged(out, first, std::int64_t(count / 512), kCantRead);
    if (got <= 0) Log().Error(kCantRead, first);
    return std::max<std::int64_t>(got, 0);
  }
  const std::int64_t sectors = std::int64_t((skip + count + 511) / 512);
  std::vector<std::uint8_t> bounce(std::size_t(sectors) * 512);
  const std::int64_t got = volume_.ReadSectorsSalvaged(bounce.data(), first, sectors, kCantRead);
  const std::int64_t useful = std::clamp<std::int64_t>(got - std::int64_t(skip), 0, std::int64_t(count));
  if (useful > 0) std::memcpy(out, bounce.data() + skip, std::size_t(useful));
  if (got <= 0) Log().Error(kCantRead, first);
  return useful;
}

bool CFileSystem_FAT::IsFreeCluster(std::uint32_t cluster) const {
  std::lock_guard lock(stateMutex_);
  return !table_.Empty() && table_.IsValidCluster(cluster) && table_.Entry(cluster) == 0;
}

void CFileSystem_FAT::LogBrokenChain(const FoundObject& record, const FatChain& chain) {
  {
    std::lock_guard lock(stateMutex_);
    if (!brokenChainsLogged_.insert(std::uint32_t(record.firstCluster)).second) return;
  }
  const char16_t* how = chain.end == FatChain::End::Loop      ? u"loops back into itself"
                        : chain.end == FatChain::End::Invalid ? u"leaves the table"
                                                              : u"runs into a free cluster";
  Log().Error(u"CFileSystem_FAT: the cluster chain of '%s' from cluster %I64d %s after %I64d clusters", record.Name(),
              record.firstCluster, how, std::int64_t(chain.clusters));
}

bool CFileSystem_FAT::LiesOnFromFirstCluster(const FoundObject& record, std::uint32_t first) {
  // A deleted entry's chain is gone. An entry in a deleted folder is deleted with it:
  // where the table still holds its chain (the folder alone was removed), the chain
  // is its data; where the table freed it, it lies on from its first cluster.
  if (record.flags.Any(OBJ_DELETED) && !record.flags.Any(OBJ_DELETED_PATH)) return true;
  return !LoadTable() || IsFreeCluster(first);
}

std::int64_t CFileSystem_FAT::ReadableSize(const FoundObject& record, std::int64_t volumeBytes) {
  if (record.flags.Any(OBJ_RAW)) return WithinVolume(record.offset, record.size, volumeBytes);
  if (record.IsFolder() || record.size <= 0) return record.size;
  try {
    if (FatBitsFor(typeCode) == 0 || !LoadParameters()) return WithinVolume(record.offset, record.size, volumeBytes);
    const FatParameters p = Parameters();
    if (record.firstCluster < 2 || record.firstCluster > std::int64_t(p.clusterCount) + 1) return 0;
    const auto first = std::uint32_t(record.firstCluster);
    const std::int64_t start = p.ClusterOffset(first);
    if (LiesOnFromFirstCluster(record, first)) return WithinVolume(start, record.size, volumeBytes);
    const std::int64_t cb = p.clusterBytes;
    const auto chain = ChainFor(first, (std::uint64_t(record.size) + cb - 1) / std::uint64_t(cb));
    switch (chain->chain.end) {
      case FatChain::End::EndMarker:
      case FatChain::End::Limit: {
        // An intact chain holds what the file has, and no size beyond it is real.
        const std::int64_t bytes = std::int64_t(chain->chain.clusters) * cb;
        return std::min(record.size, WithinVolume(start, bytes, volumeBytes));
      }
      default:
        LogBrokenChain(record, chain->chain);
        return WithinVolume(start, record.size, volumeBytes);
    }
  } catch (...) {
    return WithinVolume(record.offset, record.size, volumeBytes);
  }
}

ObjectRunList CFileSystem_FAT::DataRuns(const FoundObject& record) {
  try {
    if (record.IsDevice()) return {};
    if (record.flags.Any(OBJ_RAW)) return ObjectRunList::Contiguous(record.offset, record.size);
    if (FatBitsFor(typeCode) == 0 || !LoadParameters()) return {};
    const FatParameters p = Parameters();
    const std::int64_t cb = p.clusterBytes;
    const bool folder = record.IsFolder();
    std::uint32_t first = 0;
    if (folder && record.id == root.id && record.parentId == root.parentId && record.Name() == root.Name()) {
      // The root folder: a fixed area on FAT12/16, a chain on FAT32.
      if (p.fatBits != 32) return ObjectRunList::Contiguous(p.rootDirSector * 512, p.rootDirBytes);
      first = p.rootCluster;
    } else {
      if (record.firstCluster < 2 || record.firstCluster > std::int64_t(p.clusterCount) + 1) return {};
      first = std::uint32_t(record.firstCluster);
      // A deleted object, and a file whose chain the table has freed (one in a
      // deleted folder), lie on from the first cluster, as FileRead reads them.
      if (folder ? record.flags.Any(OBJ_DELETED) : LiesOnFromFirstCluster(record, first))
        return ObjectRunList::Contiguous(p.ClusterOffset(first), folder ? cb : record.size);
    }
    if (!folder && record.size <= 0) return {};
    if (!LoadTable()) return {};
    const std::uint64_t limit = !folder ? (std::uint64_t(record.size) + cb - 1) / std::uint64_t(cb)
                                        : std::max<std::uint64_t>(1, kMaxFolderBytes / cb);
    const std::shared_ptr<const CachedChain> chain = ChainFor(first, limit);
    // A file's last run ends with its size; a folder's runs are whole clusters.
    const std::int64_t size = folder ? -1 : record.size;
    return ObjectRunList(chain->chain.runs.size(), [chain, p, cb, size](std::size_t i) {
      const FatRun& r = chain->chain.runs[i];
      std::int64_t length = std::int64_t(r.count) * cb;
      if (size >= 0) length = std::clamp<std::int64_t>(size - std::int64_t(chain->runStart[i]) * cb, 0, length);
      return ObjectRun{p.ClusterOffset(r.first), length, false};
    });
  } catch (...) {
    Log().Error(u"CFileSystem_FAT.DataRuns except");
    return {};
  }
}

std::int64_t CFileSystem_FAT::FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                                       std::uint32_t length) {
  if (length == 0 || !buffer) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  try {
    if (position < 0 || FatBitsFor(typeCode) == 0 || !LoadParameters()) {
      std::memset(out, 0, length);
      return 0;
    }
    const FatParameters p = Parameters();
    const std::int64_t cb = p.clusterBytes;
    const bool raw = record.flags.Any(OBJ_RAW);
    const bool contiguous = raw || LiesOnFromFirstCluster(record, std::uint32_t(record.firstCluster));
    if (contiguous) {
      // A raw record is read from its offset; a deleted file from its first cluster
      // on, as its chain is gone, and so is a file whose chain the table has freed.
      std::int64_t start;
      if (raw) {
        start = record.offset;
      } else {
        if (record.firstCluster < 2 || record.firstCluster > std::int64_t(p.clusterCount) + 1) {
          std::memset(out, 0, length);
          return 0;
        }
        start = p.ClusterOffset(std::uint32_t(record.firstCluster));
      }
      if (start < 0 || start > std::numeric_limits<std::int64_t>::max() / 2 - position) {
        std::memset(out, 0, length);
        return 0;
      }
      done = ReadBytes(start + position, out, length);
    } else {
      if (!LoadTable() || record.firstCluster < 2 || record.firstCluster > std::int64_t(p.clusterCount) + 1) {
        std::memset(out, 0, length);
        return 0;
      }
      // A live file's clusters are those its size needs (a folder's: as many as a
      // folder may have).
      const std::uint64_t limit = record.size > 0 ? (std::uint64_t(record.size) + cb - 1) / std::uint64_t(cb)
                                                  : std::max<std::uint64_t>(1, kMaxFolderBytes / cb);
      const auto chain = ChainFor(std::uint32_t(record.firstCluster), limit);
      const std::vector<FatRun>& runs = chain->chain.runs;
      std::uint64_t index = std::uint64_t(position / cb);  // cluster index in the file
      std::int64_t inCluster = position % cb;
      auto it = std::upper_bound(chain->runStart.begin(), chain->runStart.end(), index);
      std::size_t run = std::size_t(it - chain->runStart.begin());
      if (run > 0) --run;
      while (done < std::int64_t(length) && run < runs.size()) {
        const FatRun& r = runs[run];
        const std::uint64_t runStart = chain->runStart[run];
        if (index < runStart || index >= runStart + r.count) break;
        const std::int64_t inRun = std::int64_t(index - runStart) * cb + inCluster;
        const std::int64_t left = std::int64_t(r.count) * cb - inRun;
        const std::size_t n = std::size_t(std::min<std::int64_t>(left, std::int64_t(length) - done));
        const std::int64_t got = ReadBytes(p.ClusterOffset(r.first) + inRun, out + done, n);
        done += got;
        if (got < std::int64_t(n)) break;
        index = runStart + r.count;
        inCluster = 0;
        ++run;
      }
    }
  } catch (...) {
    Log().Error(u"CFileSystem_FAT.FileRead except");
    done = 0;
  }
  if (done < std::int64_t(length)) std::memset(out + done, 0, std::size_t(length - done));
  return done;
}
