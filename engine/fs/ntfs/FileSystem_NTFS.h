#pragma once
// The NTFS parser. Analyse reads the boot sector, the master file table ($MFT,
// record 0, with the extents its attribute list names) and the allocation bitmap
// ($Bitmap, record 6, into the volume's clusters bitmap), then every MFT record in
// number order, live and deleted, handing one found object per usable base record
// to the volume. FileRead reads an object's data through its runs; ScanAt and
// AddRecord take FILE records that the signature search found outside the table.
//
// Threads: Analyse runs on the file-system-pass thread. ScanAt, AddRecord and
// FileRead may run on several threads at once (search workers, the recovery, the
// views), during and after the pass: each call parses with parsers of its own, and
// what the calls share (the layout read by Analyse, the records ScanAt took) is
// published under a lock.
//
// Run state: the parser takes the program's ScanProgress at construction (the
// analysis passes GetScanProgress()). It sets the total and the current record, and
// tests the running flag before the walk and after every record; it never sets the
// flag, so a stop pressed while the $MFT or the bitmap loads is honoured.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/fs/FileSystem.h"
#include "engine/fs/ntfs/DataRun.h"
#include "platform/ByteOrder.h"

class IVolumeAccess;
class ScanProgress;
class MftRecordParser;

class CFileSystem_NTFS : public CFileSystem {
 public:
  // What the boot sector and the $MFT give, fixed once Analyse has read them.
  // Sectors are 512-byte units.
  struct Layout {
    std::int64_t totalSectors = 0;   // of the volume, capped by what the device holds
    std::int64_t totalClusters = 0;  // totalSectors / sectorsPerCluster
    std::int32_t bytesPerSector = 512;  // the file system's own sector size
    std::int32_t clusterBytes = 0;
    std::int32_t sectorsPerCluster = 0;
    std::int64_t mftCluster = 0;
    std::int64_t mftMirrorCluster = 0;
    std::uint64_t serialNumber = 0;
    std::int64_t indexRecordSize = 0;  // 0 when the boot field is not sound
    std::int32_t recordSize = 1024;
    // Known once record 0 is read.
    std::int64_t recordCount = 0;
    std::int64_t mftDataSize = 0;
    std::int64_t mftInitializedSize = 0;
    std::vector<DataRun> mftRuns;
  };

  // The smallest and largest record and cluster sizes taken from a boot sector.
  static constexpr std::int32_t kMinRecordSize = 512;
  static constexpr std::int32_t kMaxRecordSize = 65536;
  static constexpr std::int32_t kMaxClusterBytes = 2 * 1024 * 1024;
  // Records ScanAt reads from a hit.
  static constexpr int kScanRecords = 10;
  // Records the walk reads at most: ids above are the keys of stale parents.
  static constexpr std::int32_t kMaxRecordCount = 0x70000000;

  // Whether a parent reference carrying `referenceSequence` no longer names the
  // record whose sequence number and in-use bit are given: the record was freed and
  // reused (a folder deleted after its file is still its folder).
  static bool StaleReference(std::uint16_t referenceSequence, std::uint16_t sequence, bool inUse);

  // `progress` is the run state the pass reports to (see above).
  CFileSystem_NTFS(IVolumeAccess& volume, ScanProgress& progress);
  // Closes the volume's handle.
  ~CFileSystem_NTFS() override;

  int Analyse() override;
  void ScanAt(const FoundObject& record) override;
  std::int64_t FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                        std::uint32_t length) override;
  bool ReadsObjectData() const override { return true; }
  // False for a compressed or an encrypted file: its clusters are not its bytes.
  bool CanReadData(const FoundObject& record) override;
  // The size bounded by the stream's data size and the clusters its runs map (a
  // raw record: by the volume).
  std::int64_t ReadableSize(const FoundObject& record, std::int64_t volumeBytes) override;
  // The runs of a file's unnamed data stream: its cluster runs in VCN order (sparse
  // runs marked), cut at the data size; resident data as one run inside its file
  // record. One run from the offset for a raw record; none for a folder.
  ObjectRunList DataRuns(const FoundObject& record) override;
  // Cluster 0 at the volume's first sector, the layout's total clusters.
  bool BitmapLayout(ClusterLayout& out) const override;
  // Parses one FILE record found by the signature search and hands its object to the
  // volume. `position` is the record's byte position on the volume (-1 unknown): a
  // record is taken once per position, and FileRead later reads the object's record
  // from there. True when the volume took an object.
  bool AddRecord(platform::Bytes record, std::int64_t position = -1);

  // Decodes and checks the boot-sector fields (`volumeSectors`: what the device
  // holds, 0 unknown). False, with the reason, for a volume that can't be parsed:
  // no NTFS label, a sector size that is not 512 to 4096, a cluster or record size
  // of 0 or out of range, no sectors, the $MFT beyond the volume. A
  // sectors-per-cluster byte of 0xE0 or more is 2^(256 - byte) sectors (clusters of
  // more than 128 sectors); a record-size byte of 0x80 or more is
  // 2^(256 - byte) bytes (0xF6: 1024), a smaller one counts clusters.
  static bool ReadBootFields(platform::Bytes boot, std::int64_t volumeSectors, Layout& out, std::u16string& why);

  // The layout of the last Analyse (null before it has read the boot sector).
  std::shared_ptr<const Layout> CurrentLayout() const;
  // What found records are parsed with: the current layout, else (no boot sector
  // could be read) one without clusters, so that records are listed all the same.
  std::shared_ptr<const Layout> RecordLayout() const;
  std::int32_t RecordSize() const;
  std::int64_t RecordCount() const;

  // Reads MFT record `n` into `out` (resized to the record size): the bytes read, or
  // 0 when it can't be read or is neither numbered `n` nor a "FILE" record.
  std::int64_t ReadMftRecord(std::int64_t n, std::vector<std::uint8_t>& out) const;
  std::int64_t ReadMftRecord(const Layout& layout, std::int64_t n, std::vector<std::uint8_t>& out) const;
  // Reads `length` bytes from `position` of a stream whose clusters the runs give
  // (see MftRecordParser::ReadData): the bytes copied. With `salvage` (a file's
  // data), unreadable sectors are zero-filled and logged one by one
  // (CVolume::ReadSectorsSalvaged) instead of ending the read.
  std::int64_t ReadRuns(const Layout& layout, const std::vector<DataRun>& runs, std::int64_t dataSize,
                        std::int64_t initializedSize, std::int64_t position, std::int64_t length,
                        std::uint8_t* out, bool salvage = false) const;
  // Reads `length` bytes at a byte position of the volume: the bytes read.
  std::int64_t ReadVolumeBytes(std::int64_t position, std::int64_t length, std::uint8_t* out,
                               bool salvage = false) const;

  IVolumeAccess& Volume() const { return volume_; }

 private:
  using ObjectKey = std::tuple<std::int32_t, std::int32_t, std::int64_t, std::int64_t, std::int64_t>;
  static ObjectKey KeyOf(const FoundObject& o) { return {o.id, o.parentId, o.offset, o.size, o.created}; }

  void Publish(std::shared_ptr<const Layout> layout);
  bool LoadMft(Layout& layout);
  void LoadClustersBitmap(const std::shared_ptr<const Layout>& layout);
  void WalkRecords(const std::shared_ptr<const Layout>& layout);
  // Fills the template of a parsed base record: id, deleted and folder flags,
  // FillObject, first cluster and offset. False when there is no object to hand over.
  // A deleted object whose parent reference is stale gets a parent key of its own
  // (StaleParentKey): it is listed where files of an unknown folder are, never under
  // the folder that reused the record. `header` gives a record's sequence number and
  // in-use bit, false when it can't be read.
  void CheckParent(const MftRecordParser& parser, FoundObject& object,
                   const std::function<bool(std::int64_t, std::uint16_t&, bool&)>& header);
  // One id per stale (record, sequence) pair, above every record number.
  std::int32_t StaleParentKey(std::int64_t parent, std::uint16_t referenceSequence);
  bool MakeObject(MftRecordParser& parser, std::int64_t number, const Layout& layout, FoundObject& out) const;
  // True when a volume position lies in a record of the $MFT that the walk handed over.
  bool WalkedRecordAt(const Layout& layout, std::int64_t position) const;
  // Reads a record that lies at a volume position (found by the signature search)
  // and the extension records it names, which lie beside it in the same table.
  bool LoadRecordAt(MftRecordParser& parser, std::int64_t position, const Layout& layout) const;
  // `position` (when given) receives the record's byte position on the volume, -1
  // when it is not known.
  bool LoadObjectRecord(const FoundObject& record, const Layout& layout, MftRecordParser& parser,
                        std::int64_t* position = nullptr) const;
  // Where record `n` of the table lies on the volume; -1 when no run holds it.
  static std::int64_t MftRecordPosition(const Layout& layout, std::int64_t n);
  // The object's record, loaded and merged; null (logged) when it can't be read.
  // The last kRecentRecords are kept.
  std::shared_ptr<const MftRecordParser> ObjectRecord(const FoundObject& record,
                                                      const std::shared_ptr<const Layout>& layout) const;
  static constexpr std::size_t kRecentRecords = 8;
  using RecentKey = std::tuple<ObjectKey, std::int16_t, const Layout*>;

  IVolumeAccess& volume_;
  ScanProgress& progress_;

  mutable std::mutex mutex_;
  std::shared_ptr<const Layout> layout_;
  std::shared_ptr<const Layout> recordsOnly_;   // see RecordLayout
  std::atomic<std::int64_t> walked_{0};          // records the walk went through
  std::set<std::int64_t> scannedPositions_;      // records ScanAt took
  std::map<ObjectKey, std::int64_t> recordAt_;   // their objects, by key, to the record's position
  mutable std::list<std::pair<RecentKey, std::shared_ptr<const MftRecordParser>>> recent_;  // most recent first
  std::vector<bool> listed_;                     // record numbers the walk handed over
  static constexpr std::size_t kSystemRecords = 16;
  std::set<std::int64_t> systemFound_;           // system records taken without a table
  std::map<std::pair<std::int64_t, std::uint16_t>, std::int32_t> staleKeys_;
};
