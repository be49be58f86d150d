#include "engine/fs/ntfs/FileSystem_NTFS.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "engine/fs/VolumeAccess.h"
#include "engine/fs/ntfs/MftRecordParser.h"
#include "engine/records/ProgramLog.h"
#include "engine/records/ScanProgress.h"
#include "platform/Format.h"

namespace {

constexpr std::int64_t kSector = 512;
// The walk reads the $MFT in pieces of this size.
constexpr std::int64_t kWalkChunkBytes = 1024 * 1024;
constexpr std::int32_t kRootRecord = 5;
constexpr std::int64_t kMftRecord = 0;
constexpr std::int64_t kBitmapRecord = 6;
// Type of a FILE record found by the signature search.
constexpr std::int16_t kFileRecordType = 24;

bool IsPowerOfTwo(std::int64_t v) { return v > 0 && (v & (v - 1)) == 0; }

bool HasFileSignature(platform::Bytes b) { return platform::LeView(b).Equals(0, "FILE", 4); }

// A size byte of the boot sector at 0x40 or 0x44: 0xE0 and up (a negative signed
// byte) is 2^-byte bytes, a positive one counts clusters. 0 when not sound.
std::int64_t RecordSizeFromByte(std::uint8_t b, std::int64_t clusterBytes) {
  const auto s = static_cast<std::int8_t>(b);
  if (s < 0) {
    const int shift = -s;
    if (shift < 9 || shift > 16) return 0;
    return std::int64_t(1) << shift;
  }
  if (s == 0) return 0;
  const std::int64_t size = std::int64_t(s) * clusterBytes;
  return IsPowerOfTwo(size) && size <= CFileSystem_NTFS::kMaxRecordSize ? size : 0;
}

}  // namespace

CFileSystem_NTFS::CFileSystem_NTFS(IVolumeAccess& volume, ScanProgress& progress) : volume_(volume), progress_(progress) {
  if (const CFileSystem* current = volume.FileSystem()) {
    typeCode = current->typeCode;
    openState = current->openState;
    typeName = current->typeName;
  }
}

CFileSystem_NTFS::~CFileSystem_NTFS() { volume_.Close(); }

// ---- Layout ---------------------------------------------------------------------------

bool CFileSystem_NTFS::ReadBootFields(platform::Bytes boot, std::int64_t volumeSectors, Layout& out,
                                      std::u16string& why) {
  const platform::LeView v(boot);
  if (v.size() < 512 || !v.Equals(3, "NTFS    ", 8)) {
    why = u"no NTFS boot sector";
    return false;
  }
  const std::int64_t bytesPerSector = v.U16(0x0B);
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector)) {
    why = platform::Format(u"%d bytes per sector", bytesPerSector);
    return false;
  }
  const std::uint8_t spcByte = v.U8(0x0D);
  std::int64_t sectorsPerCluster = 0;
  if (spcByte >= 0xE0)
    sectorsPerCluster = std::int64_t(1) << (256 - spcByte);
  else if (IsPowerOfTwo(spcByte) && spcByte <= 0x80)
    sectorsPerCluster = spcByte;
  if (sectorsPerCluster == 0 || sectorsPerCluster > kMaxClusterBytes / bytesPerSector) {
    why = platform::Format(u"a cluster size of %d sectors (byte 0x%02X)",
                           sectorsPerCluster > kMaxClusterBytes ? -1 : sectorsPerCluster, std::int32_t(spcByte));
    return false;
  }
  const std::int64_t clusterBytes = sectorsPerCluster * bytesPerSector;
  const std::int64_t recordSize = RecordSizeFromByte(v.U8(0x40), clusterBytes);
  if (recordSize < kMinRecordSize || recordSize > kMaxRecordSize) {
    why = platform::Format(u"a record size of %d bytes (byte 0x%02X)", recordSize, std::int32_t(v.U8(0x40)));
    return false;
  }
  const std::int64_t fsSectors = v.I64(0x28);
  if (fsSectors <= 0 || fsSectors > std::numeric_limits<std::int64_t>::max() / bytesPerSector) {
    why = platform::Format(u"%I64d sectors", fsSectors);
    return false;
  }
  std::int64_t totalSectors = fsSectors * (bytesPerSector / kSector);
  // Never more than the device holds: every size taken from the disk is capped by it.
  if (volumeSectors > 0) totalSectors = std::min(totalSectors, volumeSectors);
  const std::int64_t spc512 = clusterBytes / kSector;
  const std::int64_t totalClusters = totalSectors / spc512;
  const std::int64_t mftCluster = v.I64(0x30);
  if (totalClusters <= 0 || mftCluster < 0 || mftCluster >= totalClusters) {
    why = platform::Format(u"the $MFT at cluster %I64d of %I64d", mftCluster, totalClusters);
    return false;
  }
  out.totalSectors = totalSectors;
  out.totalClusters = totalClusters;
  out.bytesPerSector = std::int32_t(bytesPerSector);
  out.clusterBytes = std::int32_t(clusterBytes);
  out.sectorsPerCluster = std::int32_t(spc512);
  out.mftCluster = mftCluster;
  out.mftMirrorCluster = v.I64(0x38);
  out.serialNumber = v.U64(0x48);
  out.indexRecordSize = RecordSizeFromByte(v.U8(0x44), clusterBytes);
  out.recordSize = std::int32_t(recordSize);
  return true;
}

void CFileSystem_NTFS::Publish(std::shared_ptr<const Layout> layout) {
  std::lock_guard lock(mutex_);
  layout_ = std::move(layout);
}

std::shared_ptr<const CFileSystem_NTFS::Layout> CFileSystem_NTFS::CurrentLayout() const {
  std::lock_guard lock(mutex_);
  return layout_;
}

bool CFileSystem_NTFS::BitmapLayout(ClusterLayout& out) const {
  const auto l = CurrentLayout();
  if (!l || l->clusterBytes < 512 || l->clusterBytes % 512 != 0 || l->totalClusters <= 0) return false;
  out.firstSector = 0;
  out.firstCluster = 0;
  out.clusterCount = l->totalClusters;
  out.sectorsPerCluster = l->clusterBytes / 512;
  return true;
}

std::shared_ptr<const CFileSystem_NTFS::Layout> CFileSystem_NTFS::RecordLayout() const {
  std::lock_guard lock(mutex_);
  return layout_ ? layout_ : recordsOnly_;
}

std::int32_t CFileSystem_NTFS::RecordSize() const {
  auto l = CurrentLayout();
  return l ? l->recordSize : 1024;
}

std::int64_t CFileSystem_NTFS::RecordCount() const {
  auto l = CurrentLayout();
  return l ? l->recordCount : 0;
}

// ---- Reads ----------------------------------------------------------------------------

std::int64_t CFileSystem_NTFS::ReadVolumeBytes(std::int64_t position, std::int64_t length, std::uint8_t* out,
                                               bool salvage) const {
  if (position < 0 || length <= 0 || !out) return 0;
  static constexpr std::u16string_view kCantRead = u"CFileSystem_NTFS.FileRead: Can't read sector at: %I64d";
  const auto read = [&](std::uint8_t* to, std::int64_t first, std::int64_t count) {
    return salvage ? volume_.ReadSectorsSalvaged(to, first, count, kCantRead) : volume_.ReadSectors(to, first, count);
  };
  const std::int64_t sector = position / kSector;
  const std::int64_t skip = position % kSector;
  if (skip == 0 && length % kSector == 0) return read(out, sector, length / kSector);
  const std::int64_t sectors = (skip + length + kSector - 1) / kSector;
  std::vector<std::uint8_t> bounce(std::size_t(sectors * kSector));
  const std::int64_t got = read(bounce.data(), sector, sectors);
  const std::int64_t n = std::clamp<std::int64_t>(got - skip, 0, length);
  if (n > 0) std::memcpy(out, bounce.data() + skip, std::size_t(n));
  return n;
}

std::int64_t CFileSystem_NTFS::ReadRuns(const Layout& layout, const std::vector<DataRun>& runs,
                                        std::int64_t dataSize, std::int64_t initializedSize, std::int64_t position,
                                        std::int64_t length, std::uint8_t* out, bool salvage) const {
  if (!out || position < 0 || length <= 0 || position >= dataSize || layout.clusterBytes <= 0) return 0;
  length = std::min(length, dataSize - position);
  const std::int64_t cb = layout.clusterBytes;
  std::int64_t done = 0;
  while (done < length) {
    const std::int64_t pos = position + done;
    const std::int64_t vcn = pos / cb;
    const std::int64_t inCluster = pos % cb;
    const DataRun* run = FindRun(runs, vcn);
    if (!run) break;
    const std::int64_t left = length - done;
    const std::int64_t clusters = run->lastVcn - vcn + 1;
    const std::int64_t take = clusters > left / cb + 1 ? left : std::min(left, clusters * cb - inCluster);
    // Bytes of a sparse run, and bytes at or past the initialized size, are zeros.
    const std::int64_t stored = run->sparse ? 0 : std::clamp<std::int64_t>(initializedSize - pos, 0, take);
    if (stored > 0) {
      const std::int64_t lcn = run->lcn + (vcn - run->firstVcn);
      if (lcn > (std::numeric_limits<std::int64_t>::max() - cb) / cb) break;
      const std::int64_t got = ReadVolumeBytes(lcn * cb + inCluster, stored, out + done, salvage);
      if (got < stored) {
        done += std::max<std::int64_t>(got, 0);
        break;
      }
    }
    if (stored < take) std::memset(out + done + stored, 0, std::size_t(take - stored));
    done += take;
  }
  return done;
}

std::int64_t CFileSystem_NTFS::ReadMftRecord(std::int64_t n, std::vector<std::uint8_t>& out) const {
  auto layout = CurrentLayout();
  if (!layout) return 0;
  return ReadMftRecord(*layout, n, out);
}

std::int64_t CFileSystem_NTFS::ReadMftRecord(const Layout& layout, std::int64_t n,
                                             std::vector<std::uint8_t>& out) const {
  const std::int64_t rs = layout.recordSize;
  out.assign(std::size_t(rs), 0);
  if (n < 0 || n >= layout.recordCount) return 0;
  const std::int64_t got = ReadRuns(layout, layout.mftRuns, layout.mftDataSize, layout.mftInitializedSize, n * rs, rs,
                                    out.data());
  if (got < rs) return 0;
  const platform::LeView v(out.data(), out.size());
  if (HasFileSignature(out) || (v.U16(4) >= 0x30 && v.U32(0x2C) == std::uint32_t(n))) return got;
  return 0;
}

// ---- Analyse --------------------------------------------------------------------------

bool CFileSystem_NTFS::LoadMft(Layout& layout) {
  // Record 0 at the boot sector's $MFT cluster, with the record size it gives; where
  // it can't be read or is damaged, its copy at the $MFTMirr cluster.
  std::vector<std::uint8_t> record(std::size_t(layout.recordSize));
  auto provisional = std::make_shared<Layout>(layout);
  MftRecordParser mft(*this, provisional);
  auto loadAt = [&](std::int64_t cluster) {
    if (cluster <= 0 || cluster >= layout.totalClusters) return false;
    std::fill(record.begin(), record.end(), 0);
    const std::int64_t got = ReadVolumeBytes(cluster * layout.clusterBytes, layout.recordSize, record.data());
    return got == layout.recordSize && HasFileSignature(record) && mft.Load(record);
  };
  if (!loadAt(layout.mftCluster)) {
    Log().Error(u"CFileSystem_NTFS: Load MFT failed.");
    if (mft.GetState() == MftRecordParser::State::kDamaged) Log().Error(u"CFileSystem_NTFS: $MFT record: %s", mft.Damage());
    if (layout.mftMirrorCluster == layout.mftCluster || !loadAt(layout.mftMirrorCluster)) {
      if (mft.GetState() == MftRecordParser::State::kDamaged)
        Log().Error(u"CFileSystem_NTFS: $MFTMirr record: %s", mft.Damage());
      Log().Error(u"CFileSystem_NTFS: the $MFT can't be loaded from $MFTMirr either: the FILE records the sector "
                  u"pass finds are listed without it");
      return false;
    }
    Log().Error(u"CFileSystem_NTFS: record 0 of the $MFT is unreadable or damaged: its copy in $MFTMirr (cluster "
                u"%I64d) is used",
                layout.mftMirrorCluster);
  }
  mft.SetRecordNumber(kMftRecord);
  if (mft.HasAttributeList()) {
    // Extension records of the $MFT are found through the runs merged so far.
    auto readThroughSoFar = [&](std::int64_t n, std::vector<std::uint8_t>& out) {
      Layout soFar = layout;
      soFar.mftRuns = mft.Runs();
      soFar.mftDataSize = mft.DataSize();
      soFar.mftInitializedSize = mft.InitializedSize();
      soFar.recordCount = mft.DataSize() / layout.recordSize;
      return ReadMftRecord(soFar, n, out) > 0;
    };
    mft.MergeExtents(readThroughSoFar, true);
  }
  if (!mft.IsValid() || !mft.HasData() || !mft.NonResident() || mft.Runs().empty()) {
    Log().Error(u"CFileSystem_NTFS: Load MFT failed.");
    if (!mft.Damage().empty()) Log().Error(u"CFileSystem_NTFS: $MFT record: %s", mft.Damage());
    return false;
  }
  layout.mftRuns = mft.Runs();
  // Never more records than the volume can hold.
  const std::int64_t volumeBytes = layout.totalClusters * layout.clusterBytes;
  layout.mftDataSize = std::min(mft.DataSize(), volumeBytes);
  layout.mftInitializedSize = std::min(mft.InitializedSize(), layout.mftDataSize);
  layout.recordCount = std::min<std::int64_t>(layout.mftDataSize / layout.recordSize, kMaxRecordCount);
  return true;
}

void CFileSystem_NTFS::LoadClustersBitmap(const std::shared_ptr<const Layout>& layout) {
  Log().Info(u"Loading clusters bitmap start");
  CBitArray& bits = volume_.ClustersBitmap();
  bits.Create(0, false);  // nothing of an earlier pass stays when this one finds no bitmap
  std::vector<std::uint8_t> record;
  if (ReadMftRecord(*layout, kBitmapRecord, record) == 0 || !HasFileSignature(record)) return;
  MftRecordParser bitmap(*this, layout);
  if (!bitmap.Load(record)) {
    if (bitmap.GetState() == MftRecordParser::State::kDamaged)
      Log().Error(u"CFileSystem_NTFS: $Bitmap record: %s", bitmap.Damage());
    return;
  }
  bitmap.SetRecordNumber(kBitmapRecord);
  if (bitmap.HasAttributeList())
    bitmap.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& out) {
      return ReadMftRecord(*layout, n, out) > 0;
    });
  if (!bitmap.HasData()) return;
  // One bit per cluster, in whole 8-byte words: never more than the volume needs.
  const std::int64_t cap = (layout->totalClusters + 63) / 64 * 8;
  const std::int64_t bytes = std::min(bitmap.DataSize(), cap);
  if (bytes <= 0 || !bits.Create(std::uint64_t(bytes) * 8, false)) return;
  bitmap.ReadData(0, bytes, bits.GetData());
  Log().Info(u"Loading clusters bitmap complete");
}

bool CFileSystem_NTFS::StaleReference(std::uint16_t referenceSequence, std::uint16_t sequence, bool inUse) {
  if (referenceSequence == 0 || sequence == 0 || sequence == referenceSequence) return false;
  // A record's number moves on by one when it is freed (0 is skipped when it wraps):
  // the folder deleted after the file still is the file's folder.
  const std::uint16_t freed = referenceSequence == 0xFFFF ? 1 : std::uint16_t(referenceSequence + 1);
  return inUse || sequence != freed;
}

std::int32_t CFileSystem_NTFS::StaleParentKey(std::int64_t parent, std::uint16_t referenceSequence) {
  std::lock_guard lock(mutex_);
  const auto key = std::make_pair(parent, referenceSequence);
  auto it = staleKeys_.find(key);
  if (it != staleKeys_.end()) return it->second;
  // Keys count down from the top of the id range, above every record number.
  const std::int32_t id = std::int32_t(std::numeric_limits<std::int32_t>::max() - std::int32_t(staleKeys_.size()));
  if (id < kMaxRecordCount) return std::int32_t(parent);  // more stale pairs than any table holds
  staleKeys_.emplace(key, id);
  return id;
}

void CFileSystem_NTFS::CheckParent(const MftRecordParser& parser, FoundObject& object,
                                   const std::function<bool(std::int64_t, std::uint16_t&, bool&)>& header) {
  if (!object.flags.Any(OBJ_DELETED) || object.parentId == kRootRecord || object.parentId <= 0) return;
  const std::uint16_t reference = parser.ParentSequence();
  std::uint16_t sequence = 0;
  bool inUse = false;
  if (reference == 0 || !header(object.parentId, sequence, inUse)) return;
  if (StaleReference(reference, sequence, inUse)) object.parentId = StaleParentKey(object.parentId, reference);
}

bool CFileSystem_NTFS::MakeObject(MftRecordParser& parser, std::int64_t number, const Layout& layout,
                                  FoundObject& out) const {
  out = FoundObject();
  out.size = -1;
  out.id = std::int32_t(number);
  if (!parser.InUse()) out.flags |= OBJ_DELETED;
  if (parser.IsDirectory()) out.flags |= OBJ_FOLDER;
  if (!parser.FillObject(out)) return false;
  for (const DataRun& run : parser.Runs()) {
    if (run.sparse) continue;
    out.firstCluster = run.lcn;
    out.offset = run.lcn * layout.clusterBytes;  // every run's clusters have a byte position
    break;
  }
  return number != kRootRecord && out.parentId != 0;
}

int CFileSystem_NTFS::Analyse() {
  try {
    {
      std::lock_guard lock(mutex_);
      layout_.reset();
      walked_.store(0);
      scannedPositions_.clear();
      recordAt_.clear();
      recent_.clear();
      listed_.clear();
      recordsOnly_.reset();
      systemFound_.clear();
      staleKeys_.clear();
    }
    if (!volume_.OpenDrive()) return 0;
    volume_.BootSetup();
    const auto boot = volume_.BootCopy();
    auto layout = std::make_shared<Layout>();
    std::u16string why;
    if (!ReadBootFields({boot.data(), 512}, volume_.Geometry().totalSectors, *layout, why)) {
      Log().Error(u"CFileSystem_NTFS: the boot sector gives %s: the volume is not analysed.", why);
      // The FILE records the sector pass finds are still listed; without a cluster
      // size their data can't be found.
      auto recordsOnly = std::make_shared<Layout>();
      recordsOnly->clusterBytes = 0;
      {
        std::lock_guard lock(mutex_);
        recordsOnly_ = std::move(recordsOnly);
      }
      Log().Error(u"CFileSystem_NTFS: no boot sector copy is readable: FILE records found are listed, their data "
                  u"can't be recovered without the cluster size");
      return 0;
    }
    // The volume counts clusters as the file system does (the boot set-up takes byte
    // 13 in the file system's own sectors, which need not be 512 bytes).
    volume_.UpdateInfo([&](VolumeInfo& info) {
      VolumeGeometry& g = info.geometry;
      g.sectorsPerCluster = layout->sectorsPerCluster;
      g.clusterBytes = layout->clusterBytes;
      g.totalClusters = layout->totalClusters;
    });
    // Record size and clusters for reads while the $MFT loads; the layout being
    // completed is this pass's own copy.
    Publish(std::make_shared<const Layout>(*layout));

    if (!LoadMft(*layout)) return 0;
    std::shared_ptr<const Layout> fixed = layout;
    Publish(fixed);
    LoadClustersBitmap(fixed);

    Log().InfoId(178);
    progress_.total.store(fixed->recordCount - 1);
    if (!progress_.IsRunning()) return 0;
    WalkRecords(fixed);
  } catch (...) {
    Log().Error(u"CFileSystem_NTFS::Analyse.except");
  }
  return 0;
}

void CFileSystem_NTFS::WalkRecords(const std::shared_ptr<const Layout>& layout) {
  const Layout& L = *layout;
  const std::int64_t rs = L.recordSize;
  const std::int64_t perChunk = std::clamp<std::int64_t>(kWalkChunkBytes / rs, 1, std::max<std::int64_t>(1, L.recordCount));
  std::vector<std::uint8_t> chunk(std::size_t(perChunk * rs));
  std::vector<std::uint8_t> single;
  MftRecordParser parser(*this, layout);
  const auto readRecord = [&](std::int64_t n, std::vector<std::uint8_t>& out) { return ReadMftRecord(L, n, out) > 0; };
  FoundObject object;
  {
    std::lock_guard lock(mutex_);
    listed_.assign(std::size_t(L.recordCount), false);
  }
  // The sequence number and in-use bit of every record walked (bit 31: known), for the
  // parent references of deleted files; a parent further on is read when asked for.
  std::vector<std::uint32_t> headers(std::size_t(L.recordCount), 0);
  std::vector<std::uint8_t> parentRecord;
  const auto parentHeader = [&](std::int64_t p, std::uint16_t& sequence, bool& inUse) {
    if (p < 0 || p >= L.recordCount) return false;
    std::uint32_t& h = headers[std::size_t(p)];
    if (!(h & 0x80000000u)) {
      if (ReadMftRecord(L, p, parentRecord) == 0 || !HasFileSignature(parentRecord)) return false;
      const platform::LeView v(parentRecord.data(), parentRecord.size());
      h = 0x80000000u | (std::uint32_t(v.U16(0x16) & 1) << 16) | v.U16(0x10);
    }
    sequence = std::uint16_t(h);
    inUse = (h >> 16) & 1;
    return true;
  };

  for (std::int64_t n = 0; n < L.recordCount;) {
    const std::int64_t k = std::min(perChunk, L.recordCount - n);
    const std::int64_t got = ReadRuns(L, L.mftRuns, L.mftDataSize, L.mftInitializedSize, n * rs, k * rs, chunk.data());
    const std::int64_t whole = std::max<std::int64_t>(got, 0) / rs;
    for (std::int64_t i = 0; i < k; ++i, ++n) {
      try {
        platform::Bytes record;
        if (i < whole) {
          record = {chunk.data() + i * rs, std::size_t(rs)};
        } else if (ReadMftRecord(L, n, single) > 0) {
          record = single;  // the piece ended early: the records after a bad one are read alone
        }
        if (!record.empty() && HasFileSignature(record)) {
          const platform::LeView header(record.data(), record.size());
          headers[std::size_t(n)] = 0x80000000u | (std::uint32_t(header.U16(0x16) & 1) << 16) | header.U16(0x10);
          if (!parser.Load(record)) {
            if (parser.GetState() == MftRecordParser::State::kDamaged)
              Log().Error(u"CFileSystem_NTFS: MFT record %I64d skipped: %s", n, parser.Damage());
          } else if (!parser.IsExtension()) {
            // An extension record belongs to its base record, which lists it.
            parser.SetRecordNumber(n);
            if (parser.HasAttributeList()) parser.MergeExtents(readRecord);
            if (!parser.IsValid()) {
              Log().Error(u"CFileSystem_NTFS: MFT record %I64d skipped: %s", n, parser.Damage());
            } else if (MakeObject(parser, n, L, object)) {
              if (object.flags.Any(OBJ_DELETED)) CheckParent(parser, object, parentHeader);
              {
                std::lock_guard lock(mutex_);
                if (std::size_t(n) < listed_.size()) listed_[std::size_t(n)] = true;
              }
              volume_.OnObjectFound(object);
            }
          }
        }
      } catch (...) {
        Log().Error(u"CFileSystem_NTFS::Analyse.except in MFT parse circle");
        return;
      }
      walked_.store(n + 1);
      progress_.current.store(n);
      if (!progress_.IsRunning()) return;
    }
  }
}

// ---- Records found by the signature search --------------------------------------------

bool CFileSystem_NTFS::WalkedRecordAt(const Layout& layout, std::int64_t position) const {
  const std::int64_t walked = walked_.load();
  const std::int64_t cb = layout.clusterBytes;
  for (const DataRun& run : layout.mftRuns) {
    if (run.sparse) continue;
    const std::int64_t start = run.lcn * cb;
    if (position < start || (position - start) / cb >= run.clusterCount) continue;
    if (run.firstVcn > (std::numeric_limits<std::int64_t>::max() - (position - start)) / cb) return false;
    const std::int64_t record = (run.firstVcn * cb + (position - start)) / layout.recordSize;
    return record < walked;
  }
  return false;
}

bool CFileSystem_NTFS::LoadRecordAt(MftRecordParser& parser, std::int64_t position, const Layout& layout) const {
  std::vector<std::uint8_t> bytes(std::size_t(layout.recordSize));
  if (ReadVolumeBytes(position, layout.recordSize, bytes.data()) < layout.recordSize) return false;
  if (!parser.Load(bytes)) return false;
  if (parser.HasAttributeList() && parser.RecordNumber() >= 0) {
    // The table the record came from is no longer known; its extension records are
    // looked for where they would lie in it, beside this one.
    const std::int64_t self = parser.RecordNumber();
    parser.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& out) {
      const std::int64_t delta = n - self;
      if (delta > (std::numeric_limits<std::int64_t>::max() - position) / layout.recordSize ||
          delta < -position / layout.recordSize)
        return false;
      const std::int64_t at = position + delta * layout.recordSize;
      out.assign(std::size_t(layout.recordSize), 0);
      return ReadVolumeBytes(at, layout.recordSize, out.data()) == layout.recordSize;
    });
  }
  return parser.IsValid();
}

bool CFileSystem_NTFS::AddRecord(platform::Bytes record, std::int64_t position) {
  try {
    if (!HasFileSignature(record)) return false;
    // Without a $MFT (recordCount 0) or even a boot sector, found records are listed.
    const auto layout = RecordLayout();
    if (!layout) return false;
    if (position >= 0) {
      std::lock_guard lock(mutex_);
      if (!scannedPositions_.insert(position).second) return false;
    }
    MftRecordParser parser(*this, layout);
    if (!parser.Load(record)) {
      if (parser.GetState() == MftRecordParser::State::kDamaged)
        Log().Error(u"CFileSystem_NTFS: FILE record at %I64d skipped: %s", position, parser.Damage());
      return false;
    }
    // Ids are 32-bit: a number beyond them would name a special node.
    if (parser.IsExtension() || parser.RecordNumber() < 0 ||
        parser.RecordNumber() > std::numeric_limits<std::int32_t>::max())
      return false;
    {
      // A record the walk listed is not listed again from a copy of it elsewhere
      // (the $MFTMirr holds the first records a second time); without a table, the
      // first copy of a system record found is the one listed.
      std::lock_guard lock(mutex_);
      const auto n = std::size_t(parser.RecordNumber());
      if (n < listed_.size() && listed_[n]) return false;
      if (layout->recordCount == 0 && n < kSystemRecords && !systemFound_.insert(std::int64_t(n)).second) return false;
    }
    if (parser.HasAttributeList()) {
      if (position >= 0) {
        if (!LoadRecordAt(parser, position, *layout)) return false;
      } else {
        parser.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& out) {
          return ReadMftRecord(*layout, n, out) > 0;
        });
      }
      if (!parser.IsValid()) return false;
    }
    FoundObject object;
    if (!MakeObject(parser, parser.RecordNumber(), *layout, object)) return false;
    if (object.flags.Any(OBJ_DELETED)) CheckParent(parser, object, [&](std::int64_t p, std::uint16_t& sequence, bool& inUse) {
      std::vector<std::uint8_t> bytes;
      if (ReadMftRecord(*layout, p, bytes) == 0 || !HasFileSignature(bytes)) return false;
      const platform::LeView v(bytes.data(), bytes.size());
      sequence = v.U16(0x10);
      inUse = v.U16(0x16) & 1;
      return true;
    });
    FoundObject* stored = volume_.OnObjectFound(object);
    if (stored && position >= 0) {
      std::lock_guard lock(mutex_);
      recordAt_[KeyOf(object)] = position;
      recent_.clear();  // a record loaded by number before is read from here now
    }
    return stored != nullptr;
  } catch (...) {
    return false;
  }
}

void CFileSystem_NTFS::ScanAt(const FoundObject& record) {
  try {
    const auto layout = RecordLayout();
    if (!layout || record.offset < 0) return;
    const std::int64_t rs = layout->recordSize;
    const std::int64_t step = rs / kSector;
    std::int64_t totalSectors = volume_.Geometry().totalSectors;
    if (totalSectors <= 0) totalSectors = layout->totalSectors;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(rs));
    std::int64_t sector = record.offset / kSector;
    for (int i = 0; i < kScanRecords; ++i, sector += step) {
      if (sector >= totalSectors) break;
      if (volume_.ReadSectors(buffer.data(), sector, step) < rs) break;
      if (!HasFileSignature(buffer)) continue;
      const std::int64_t position = sector * kSector;
      // Records of the table the walk went through are listed already.
      if (WalkedRecordAt(*layout, position)) continue;
      AddRecord(buffer, position);
    }
  } catch (...) {
  }
}

// ---- Object data ------------------------------------------------------------------------

// Loads the record of a found object into `parser`: from where the walk or the
// search saw it, else by its number. False (logged) when it can't be read.
bool CFileSystem_NTFS::LoadObjectRecord(const FoundObject& record, const Layout& layout,
                                        MftRecordParser& parser, std::int64_t* position) const {
  if (position) *position = -1;
  std::int64_t at = -1;
  {
    std::lock_guard lock(mutex_);
    auto it = recordAt_.find(KeyOf(record));
    if (it != recordAt_.end()) at = it->second;
  }
  if (at < 0 && record.typeId == kFileRecordType && record.offset != 0) at = record.offset;
  if (at >= 0) {
    if (!LoadRecordAt(parser, at, layout)) {
      Log().Error(u"CFileSystem_NTFS.FileRead: Can't read record at");
      return false;
    }
    if (position) *position = at;
    return true;
  }
  std::vector<std::uint8_t> bytes;
  if (ReadMftRecord(layout, record.id, bytes) == 0 || !parser.Load(bytes)) {
    Log().Error(u"CFileSystem_NTFS.FileRead: Can't read record");
    return false;
  }
  parser.SetRecordNumber(record.id);
  if (parser.HasAttributeList())
    parser.MergeExtents([&](std::int64_t n, std::vector<std::uint8_t>& o) {
      return ReadMftRecord(layout, n, o) > 0;
    });
  if (!parser.IsValid()) {
    Log().Error(u"CFileSystem_NTFS.FileRead: Can't read record");
    return false;
  }
  if (position) *position = MftRecordPosition(layout, record.id);
  return true;
}

std::shared_ptr<const MftRecordParser> CFileSystem_NTFS::ObjectRecord(const FoundObject& record,
                                                                      const std::shared_ptr<const Layout>& layout) const {
  // A recovery asks for one file's record several times (can it be read, how much of
  // it, then each chunk): the last few records loaded are kept.
  const RecentKey key{KeyOf(record), record.typeId, layout.get()};
  {
    std::lock_guard lock(mutex_);
    for (auto it = recent_.begin(); it != recent_.end(); ++it) {
      if (it->first == key) {
        auto hit = it->second;
        recent_.splice(recent_.begin(), recent_, it);
        return hit;
      }
    }
  }
  auto parser = std::make_shared<MftRecordParser>(*this, layout);
  if (!LoadObjectRecord(record, *layout, *parser)) return nullptr;
  std::lock_guard lock(mutex_);
  recent_.emplace_front(key, parser);
  if (recent_.size() > kRecentRecords) recent_.pop_back();
  return parser;
}

std::int64_t CFileSystem_NTFS::MftRecordPosition(const Layout& layout, std::int64_t n) {
  if (n < 0 || layout.clusterBytes <= 0 || n >= layout.recordCount) return -1;
  const std::int64_t byte = n * layout.recordSize;
  const std::int64_t vcn = byte / layout.clusterBytes;
  const DataRun* run = FindRun(layout.mftRuns, vcn);
  if (!run || run->sparse) return -1;
  return (run->lcn + (vcn - run->firstVcn)) * layout.clusterBytes + byte % layout.clusterBytes;
}

ObjectRunList CFileSystem_NTFS::DataRuns(const FoundObject& record) {
  try {
    if (record.IsDevice()) return {};
    if (record.flags.Any(OBJ_RAW)) return ObjectRunList::Contiguous(record.offset, record.size);
    if (record.IsFolder()) return {};
    const auto layout = RecordLayout();
    if (!layout || layout->clusterBytes <= 0) return {};
    MftRecordParser parser(*this, layout);
    std::int64_t at = -1;
    if (!LoadObjectRecord(record, *layout, parser, &at) || !parser.HasData()) return {};
    const std::int64_t size = parser.DataSize();
    if (size <= 0) return {};
    if (!parser.NonResident()) {
      // Resident data lies in the record itself, when the record that holds it is
      // the base record (an attribute list may have moved it to an extension).
      if (at < 0 || !parser.Extents().empty()) return {};
      return ObjectRunList::Contiguous(at + parser.ResidentOffset(), size);
    }
    const std::int64_t cb = layout->clusterBytes;
    std::vector<ObjectRun> runs;
    runs.reserve(parser.Runs().size());
    for (const DataRun& r : parser.Runs()) {
      // Runs past the data size (allocated, not used) are not listed; a run whose
      // byte position would overflow ends the list.
      std::int64_t start = 0, offset = 0, bytes = 0;
      if (__builtin_mul_overflow(r.firstVcn, cb, &start) || start >= size) break;
      if (!r.sparse && __builtin_mul_overflow(r.lcn, cb, &offset)) break;
      if (__builtin_mul_overflow(r.clusterCount, cb, &bytes)) bytes = std::numeric_limits<std::int64_t>::max();
      runs.push_back({r.sparse ? 0 : offset, std::min(bytes, size - start), r.sparse != 0});
    }
    return ObjectRunList(std::move(runs));
  } catch (...) {
    Log().Error(u"CFileSystem_NTFS.DataRuns except");
    return {};
  }
}

bool CFileSystem_NTFS::CanReadData(const FoundObject& record) {
  if (record.flags.Any(OBJ_RAW | OBJ_FOLDER)) return true;
  try {
    const auto layout = RecordLayout();
    if (!layout) return true;  // FileRead will say why
    const auto parser = ObjectRecord(record, layout);
    if (!parser) return true;
    return !parser->Compressed() && !parser->Encrypted();
  } catch (...) {
    return true;
  }
}

std::int64_t CFileSystem_NTFS::ReadableSize(const FoundObject& record, std::int64_t volumeBytes) {
  if (record.flags.Any(OBJ_RAW)) return WithinVolume(record.offset, record.size, volumeBytes);
  if (record.IsFolder() || record.size <= 0) return record.size;
  try {
    const auto layout = RecordLayout();
    if (!layout) return record.size;
    const auto parser = ObjectRecord(record, layout);
    if (!parser || !parser->HasData() || parser->Compressed() || parser->Encrypted()) return record.size;
    // No more than the stream holds, nor than its runs map: a size from a damaged
    // record is not written out as gigabytes of zeros.
    std::int64_t readable = std::min(record.size, parser->DataSize());
    if (parser->NonResident()) {
      std::int64_t clusters = 0;
      for (const DataRun& run : parser->Runs()) clusters = std::max(clusters, run.lastVcn + 1);
      if (clusters <= std::numeric_limits<std::int64_t>::max() / layout->clusterBytes)
        readable = std::min(readable, clusters * layout->clusterBytes);
    }
    return std::max<std::int64_t>(readable, 0);
  } catch (...) {
    return record.size;
  }
}

std::int64_t CFileSystem_NTFS::FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                                        std::uint32_t length) {
  if (length == 0 || !buffer) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  try {
    if (record.flags.Any(OBJ_RAW)) {
      const std::int64_t got = volume_.FileRead(record, buffer, position, length);
      if (got <= 0) Log().Error(u"CFileSystem_NTFS.FileRead: Can't read record at");
      return got;
    }
    std::memset(out, 0, length);
    const auto layout = RecordLayout();
    if (!layout) return 0;
    const auto loaded = ObjectRecord(record, layout);
    if (!loaded) return 0;
    const MftRecordParser& parser = *loaded;
    if (parser.NonResident() && layout->clusterBytes <= 0) {
      Log().Error(u"CFileSystem_NTFS.FileRead: %s can't be read: no boot sector gives the cluster size", record.Name());
      return 0;
    }
    if (parser.Compressed()) {
      // Compressed clusters are not the file's bytes: nothing is returned as if they were.
      Log().Error(u"CFileSystem_NTFS.FileRead: %s is compressed; compressed NTFS data is not supported",
                  record.Name());
      return 0;
    }
    return parser.ReadData(position, length, out, true);
  } catch (...) {
    return 0;
  }
}
