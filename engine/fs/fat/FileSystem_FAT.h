#pragma once
// The FAT12, FAT16 and FAT32 parser.
//
// Analyse reads the boot sector's parameter block (from the volume's boot copy, so
// the boot set-up runs first) and the first allocation table, fills the volume's
// clusters bitmap, and walks every folder reachable from the root breadth-first,
// live and deleted alike, handing one FoundObject per directory entry to
// CVolume::OnObjectFound. Ids are start clusters; an entry's parent id is the start
// cluster of the folder that holds it, and the root folder's entries get the root
// record's id (root.id, which the volume sets before Analyse: 0 on FAT12/16, 2 on
// FAT32). On a FAT32 volume whose root folder does not start at cluster 2, ids 2
// and the root cluster trade places, so the object that starts at cluster 2 never
// takes the root's id; firstCluster and offset always give the real cluster.
//
// Names: the long name when its entries carry the check byte of the 8.3 entry that
// follows them (live entries also their sequence numbers; for a deleted entry, whose
// first byte is lost, the check byte must stand for a byte a short name can start
// with); otherwise the 8.3 name in Windows-1252 with the case flags of byte 12
// applied, '_' for a deleted entry's lost first character. Empty files (no cluster)
// and entries whose cluster lies outside the volume are not handed over.
//
// How to make one (the analysis does these steps): construct it with the volume and
// the run state whose running flag every loop tests, or call MakeFatParser; hand it
// to CVolume::SetFileSystem; set the store's root folder id and root.id to
// CFileSystem::RootFolderIdFor(code), root.parentId to the device node's id, and
// register root in the store; then call Analyse on the pass thread.
//
// Arithmetic is in the volume's 512-byte units: a parameter block of 1024, 2048 or
// 4096 bytes per sector is converted, other sizes are refused with a log line.
// Analyse puts the cluster size into the volume's geometry in those units (bytes
// per sector 512, sectors per cluster = cluster bytes / 512) and recomputes the
// volume's total clusters from them.
//
// FileRead: a live file's data follows its cluster chain (walked once and cached,
// so reading a large file in chunks does not walk it again for every chunk); a
// deleted file and a raw record are read contiguously, from the first cluster and
// from the record's offset. So is a file whose first cluster the table marks free:
// an entry without the deleted mark inside a deleted folder, whose chain was freed
// with the folder. Such entries are listed with OBJ_DELETED_PATH.
//
// The parser never closes the volume's device; only the volume does.

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/fs/FileSystem.h"
#include "engine/fs/fat/FatTable.h"
#include "platform/ByteOrder.h"
#include "platform/FileTime.h"

class IVolumeAccess;
class ScanProgress;

// The parameter block as the parser uses it. Sector numbers are in 512-byte units,
// relative to the volume.
struct FatParameters {
  int fatBits = 0;                       // 12, 16 or 32
  std::uint32_t bytesPerSector = 0;      // as the parameter block gives it (512 .. 4096)
  std::uint32_t sectorsPerCluster = 0;   // as the parameter block gives it
  std::uint32_t clusterBytes = 0;
  std::uint32_t clusterUnits = 0;        // 512-byte units per cluster
  std::uint32_t fatCount = 0;
  std::uint32_t rootEntries = 0;         // FAT12/16
  std::uint32_t rootCluster = 0;         // FAT32
  std::int64_t fatSector = 0;            // the first table copy
  std::int64_t fatBytes = 0;             // one table copy (sectors per FAT x bytes per sector)
  std::int64_t rootDirSector = 0;        // FAT12/16: the root folder
  std::int64_t rootDirBytes = 0;         // FAT12/16: whole sectors, rounded up
  std::int64_t dataStartSector = 0;      // cluster 2
  std::int64_t totalSectors = 0;         // as the parameter block gives it, in 512-byte units
  std::uint32_t clusterCount = 0;        // valid clusters: 2 .. clusterCount + 1

  // The byte offset of a cluster on the volume.
  std::int64_t ClusterOffset(std::uint32_t cluster) const {
    return dataStartSector * 512 + (std::int64_t(cluster) - 2) * clusterBytes;
  }

  // Reads and checks the parameter block of a boot sector for a table of `fatBits`
  // bits. `volumeSectors` (512-byte units; 0 when unknown) bounds the tables and the
  // root folder. False, with the reason in `why`, for a block that can't be used:
  // a size of 0, bytes per sector other than 512 to 4096, tables or root folder
  // beyond the volume or the block's own total, no cluster at all.
  static bool Read(platform::Bytes boot, int fatBits, std::int64_t volumeSectors, FatParameters& out,
                   std::u16string& why);
};

// DOS dates and times are local wall-clock times: this turns them into UTC
// FILETIMEs through the process's time zone. 0 for a date of 0 or a field out of
// range. One per thread: it keeps the UTC start of the last days it converted.
class FatDosTimes {
 public:
  platform::FileTime ToFileTime(std::uint16_t date, std::uint16_t time);

 private:
  static constexpr std::uint32_t kNoKey = 0xFFFFFFFF;
  struct Day {
    std::uint32_t date = kNoKey;
    platform::FileTime start = 0;  // local midnight in UTC
  };
  Day days_[16];
  unsigned next_ = 0;
};

class CFileSystem_FAT : public CFileSystem {
 public:
  // Copies typeCode, openState and typeName from the volume's current parser.
  CFileSystem_FAT(IVolumeAccess& volume, ScanProgress& progress);
  ~CFileSystem_FAT() override;

  // The file-system pass. Returns 0 in every case: the store and the log tell.
  int Analyse() override;
  // Parses up to 10 clusters at a raw record's offset as folder entries (each
  // cluster whose first entry is a valid entry), with the root's id as parent.
  void ScanAt(const FoundObject& record) override;
  // Reads `length` bytes of an object's data from `position` into `buffer`, which
  // holds at least `length` bytes; returns the bytes read from there (fewer past
  // the end of the chain or of the volume, 0 on failure). The rest of the buffer is
  // zero-filled.
  std::int64_t FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                        std::uint32_t length) override;
  bool ReadsObjectData() const override { return true; }
  // The size bounded by the volume, and for a live file whose chain is intact by
  // its chain's clusters. A chain that loops, leaves the table or runs into a free
  // cluster is logged once with the file's name.
  std::int64_t ReadableSize(const FoundObject& record, std::int64_t volumeBytes) override;
  // The runs FileRead reads: a live file's cluster chain (the cached chain, shared
  // and not copied; the last run ends with the file's size), a live folder's chain,
  // the FAT12/16 root folder's area; one run from the first cluster for a deleted
  // file (its size) or folder (one cluster); one run from the offset for a raw
  // record.
  ObjectRunList DataRuns(const FoundObject& record) override;
  // Cluster 2 at the data area's first sector, clusterCount clusters.
  bool BitmapLayout(ClusterLayout& out) const override;

  // The parameters in use (zero before they were read).
  FatParameters Parameters() const;
  // How many chains FileRead has walked; the other reads found theirs cached.
  std::uint64_t ChainWalks() const;

  // Limits on damaged data: a folder holds at most 65,536 entries (2 MiB), a long
  // name at most 20 entries.
  static constexpr std::int64_t kMaxFolderBytes = 65536 * 32;
  static constexpr int kMaxLongNameEntries = 20;
  // Cached cluster chains (live files read through FileRead).
  static constexpr std::size_t kChainCacheSize = 16;

 private:
  struct Folder {
    std::uint32_t cluster = 0;
    bool live = false;       // follow the chain (a deleted folder: its first cluster only)
    bool skipFirst = false;  // the first cluster was already parsed as a deleted folder's
    bool deletedPath = false;  // deleted, or inside a deleted folder
  };
  struct FolderState {
    std::size_t queueIndex = 0;
    bool parsed = false;
    bool live = false;
  };
  // A cached chain with the cluster index at which each run starts.
  struct CachedChain {
    std::uint32_t first = 0;
    std::uint64_t limit = 0;
    FatChain chain;
    std::vector<std::uint64_t> runStart;
  };

  bool IsRunning() const;
  bool LoadParameters();
  // Reads the first table copy once. `stoppable` (the pass): a stop between its
  // runs ends the read, and no table is kept.
  bool LoadTable(bool stoppable = false);
  void Walk();
  void ParseFolder(const Folder& folder);
  // Parses the 32-byte entries of a folder's bytes; `queueFolders` adds sub-folders
  // to the walk.
  // `deletedPath`: the entries lie in a deleted folder (or one inside it): they are
  // listed with OBJ_DELETED_PATH, whatever their own mark says.
  void ParseEntries(platform::Bytes bytes, std::int32_t parentId, bool queueFolders, bool deletedPath = false);
  void ParseEntry(platform::Bytes bytes, std::size_t index, std::int32_t parentId, bool queueFolders,
                  bool deletedPath);
  void QueueFolder(std::uint32_t cluster, bool live, bool deletedPath);
  // True when the table marks a cluster free: a chain that starts there is gone, and
  // the file is read as a deleted one is.
  bool IsFreeCluster(std::uint32_t cluster) const;
  // Whether a file's data is read from its first cluster on (its chain is gone), not
  // through its chain.
  bool LiesOnFromFirstCluster(const FoundObject& record, std::uint32_t first);
  // Logs once per file that its chain is broken.
  void LogBrokenChain(const FoundObject& record, const FatChain& chain);
  bool LongName(platform::Bytes bytes, std::size_t index, bool deleted, std::u16string& out) const;
  // The id an entry that starts at `cluster` gets (see the note on FAT32 above).
  std::int32_t IdOfCluster(std::uint32_t cluster) const;
  std::shared_ptr<const CachedChain> ChainFor(std::uint32_t first, std::uint64_t limit);
  // Reads `count` bytes at a byte offset of the volume; the bytes read.
  std::int64_t ReadBytes(std::int64_t volumeOffset, std::uint8_t* out, std::size_t count);

  IVolumeAccess& volume_;
  ScanProgress& progress_;

  mutable std::mutex stateMutex_;  // parameters, table and chain cache
  bool haveParameters_ = false;
  FatParameters params_;
  FatTable table_;
  std::list<std::shared_ptr<const CachedChain>> chainCache_;  // most recent first
  std::uint64_t chainWalks_ = 0;
  std::set<std::uint32_t> brokenChainsLogged_;  // first clusters

  // The walk (Analyse's thread only).
  std::vector<Folder> folderQueue_;
  std::unordered_map<std::uint32_t, FolderState> folders_;
  std::u16string nameBuffer_;
  FatDosTimes times_;
  std::int64_t furthestCluster_ = 0;
};

// The factory the analysis uses.
std::unique_ptr<CFileSystem> MakeFatParser(IVolumeAccess& volume, ScanProgress& progress);
