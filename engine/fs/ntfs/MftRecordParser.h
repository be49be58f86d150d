#pragma once
// One NTFS file record (an MFT record) and what it says: its header, its attributes,
// the data of its unnamed $DATA stream with the runs that locate it, and the found
// object it describes. A parser holds a record of its own (the bytes are copied in)
// and shares nothing with other parsers, so each thread uses its own.
//
// Every field is read through the bounds-checked little-endian helpers. A record is
// usable only when it carries "FILE", its update sequence checks out (each 512-byte
// sector ends with the update sequence number, which the fix-ups then replace) and
// every attribute lies inside the record with its name, value and run list.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/ntfs/DataRun.h"
#include "engine/fs/ntfs/FileSystem_NTFS.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"

class MftRecordParser {
 public:
  enum class State {
    kEmpty,    // nothing loaded
    kNotFile,  // no "FILE" signature: an unused or never-used record
    kDamaged,  // a FILE record whose fix-ups, header or attributes are not sound
    kValid,
  };

  // Attribute types.
  enum : std::uint32_t {
    kStandardInformation = 0x10,
    kAttributeList = 0x20,
    kFileName = 0x30,
    kData = 0x80,
    kEndMarker = 0xFFFFFFFF,
  };
  // Header flags.
  enum : std::uint16_t { kInUse = 0x0001, kDirectory = 0x0002 };
  // Attribute flags.
  enum : std::uint16_t { kCompressionMask = 0x00FF, kEncrypted = 0x4000, kSparse = 0x8000 };

  // One attribute of the record, checked against it; offsets are into Buffer().
  struct Attribute {
    std::uint32_t type = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
    bool nonResident = false;
    std::uint16_t flags = 0;
    std::uint8_t nameLength = 0;  // UTF-16 units; 0 for the unnamed stream
    std::size_t nameOffset = 0;
    // Resident: the value.
    std::size_t valueOffset = 0;
    std::uint32_t valueLength = 0;
    // Non-resident: the VCN range this extent covers, its mapping pairs and sizes.
    std::int64_t lowestVcn = 0;
    std::int64_t highestVcn = -1;
    std::size_t pairsOffset = 0;
    std::size_t pairsLength = 0;
    std::uint16_t compressionUnit = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t dataSize = 0;
    std::int64_t initializedSize = 0;
  };

  // Reads MFT record `number` (an extension record) into `out`; false when it can't.
  using RecordReader = std::function<bool(std::int64_t number, std::vector<std::uint8_t>& out)>;

  // Most extension records one record may draw on (an attribute list of the largest
  // size names fewer).
  static constexpr std::size_t kMaxExtents = 4096;
  // The largest attribute list read.
  static constexpr std::int64_t kMaxAttributeListBytes = 256 * 1024;

  MftRecordParser(const CFileSystem_NTFS& owner, std::shared_ptr<const CFileSystem_NTFS::Layout> layout);
  ~MftRecordParser();
  MftRecordParser(const MftRecordParser&) = delete;
  MftRecordParser& operator=(const MftRecordParser&) = delete;

  // Copies a record (its first record-size bytes; a shorter one is zero-padded) and
  // parses it. True when the record is usable.
  bool Load(platform::Bytes record);
  // Parses the loaded bytes again from scratch: nothing of an earlier record stays
  // (data size, residency, runs, extents, name).
  bool Reparse();
  State GetState() const { return state_; }
  bool IsValid() const { return state_ == State::kValid; }
  // What is wrong with a damaged record.
  const std::u16string& Damage() const { return damage_; }

  // ---- Header ---------------------------------------------------------------------
  // The record's own number (header field at 0x2C), unless the caller set it; -1 when
  // the header has no such field.
  std::int64_t RecordNumber() const { return number_; }
  void SetRecordNumber(std::int64_t number) { number_ = number; }
  std::uint16_t HeaderFlags() const { return headerFlags_; }
  // The record's sequence number (header field at 0x10), and the one the parent
  // reference of the name FillObject took carries (0: not to be checked).
  std::uint16_t SequenceNumber() const { return sequence_; }
  std::uint16_t ParentSequence() const { return parentSequence_; }
  bool InUse() const { return (headerFlags_ & kInUse) != 0; }
  bool IsDirectory() const { return (headerFlags_ & kDirectory) != 0; }
  // The base record of an extension record (low 48 bits of the reference at 0x20).
  // A base record's reference is 0; the $MFT's extension records name record 0 with
  // a sequence number.
  std::int64_t BaseRecord() const { return std::int64_t(baseReference_ & 0x0000FFFFFFFFFFFFULL); }
  bool IsExtension() const { return baseReference_ != 0; }
  std::uint32_t AllocatedSize() const { return allocatedSize_; }

  // ---- Attributes ------------------------------------------------------------------
  const std::vector<Attribute>& Attributes() const { return attributes_; }
  const Attribute* FindAttribute(std::uint32_t type) const;
  const Attribute* FindNextAttribute(const Attribute* after, std::uint32_t type) const;
  // A resident attribute's value (empty for a non-resident one).
  platform::Bytes Value(const Attribute& attribute) const;
  platform::Bytes Buffer() const { return {buffer_.data(), buffer_.size()}; }

  // ---- The unnamed $DATA stream (merged over the extents, see MergeExtents) ----------
  bool HasData() const { return hasData_; }
  const std::vector<DataRun>& Runs() const { return runs_; }
  std::int64_t DataSize() const { return dataSize_; }
  std::int64_t InitializedSize() const { return initializedSize_; }
  bool NonResident() const { return nonResident_; }
  // Where resident data starts in the record holding it.
  std::int32_t ResidentOffset() const { return residentOffset_; }
  bool Compressed() const { return compressed_; }
  // The stream is encrypted (EFS): its clusters hold ciphertext.
  bool Encrypted() const { return encrypted_; }
  // $DATA streams of the record, the unnamed one and the named ones (counted when
  // the record is parsed and when extents are merged).
  std::int32_t DataAttributeCount() const { return dataAttributeCount_; }
  // The LCN of a virtual cluster of the data; -1 when no run holds it (sparse runs
  // map as any other, to LCN 0 onwards: ReadData reads them as zeros).
  std::int64_t VcnToLcn(std::int64_t vcn) const;
  // Copies up to `length` bytes of the data from `position` into `out`: the bytes
  // copied (none at or past the data size; fewer when a read fails or no run holds
  // the next cluster). Sparse runs and bytes past the initialized size are zeros.
  // With `salvage`, unreadable sectors are zero-filled and logged instead of ending
  // the copy (CFileSystem_NTFS::ReadRuns).
  std::int64_t ReadData(std::int64_t position, std::int64_t length, void* out, bool salvage = false) const;

  // ---- Attribute list ----------------------------------------------------------------
  bool HasAttributeList() const { return FindAttribute(kAttributeList) != nullptr; }
  // Reads the extension records the attribute list names (never the record itself),
  // each once, through `read`; an extension record that can't be read, is not a
  // usable FILE record or does not name this record as its base is skipped. Their
  // $FILE_NAMEs count for FillObject and the extents of the unnamed $DATA are merged
  // in the order of their lowest VCNs. With `rebuildEach`, the data view is rebuilt
  // after each record (for the $MFT, whose later extension records are found through
  // the runs of the earlier ones). False when the record or its list is not sound.
  bool MergeExtents(const RecordReader& read, bool rebuildEach = false);
  const std::map<std::int64_t, std::unique_ptr<MftRecordParser>>& Extents() const { return extents_; }

  // ---- The found object --------------------------------------------------------------
  // Fills times and attributes from $STANDARD_INFORMATION, and the name, the parent
  // and (for a record without unnamed data) the size from one $FILE_NAME: a Win32 name
  // wins over POSIX and DOS ones, a POSIX name over a DOS one, the first stands
  // otherwise. The size of a record with unnamed data is the data's size. Id, flags,
  // first cluster and offset are the caller's. The name points into this parser
  // until it is loaded again. False for a record that is not usable.
  bool FillObject(FoundObject& record);
  const std::u16string& Name() const { return name_; }

 private:
  bool ApplyFixups();
  bool ParseHeader();
  bool ParseAttributes();
  // Forgets the data stream of the record before (a folder never keeps a size).
  void ClearDataView();
  bool BuildDataView();
  bool ReadAttributeList(std::vector<std::uint8_t>& out) const;
  void SetDamage(std::u16string why);

  const CFileSystem_NTFS& owner_;
  std::shared_ptr<const CFileSystem_NTFS::Layout> layout_;

  std::vector<std::uint8_t> raw_;     // the record as loaded
  std::vector<std::uint8_t> buffer_;  // the record with its fix-ups applied
  State state_ = State::kEmpty;
  std::u16string damage_;

  std::int64_t number_ = -1;
  std::uint16_t headerFlags_ = 0;
  std::uint16_t sequence_ = 0;
  std::uint16_t parentSequence_ = 0;
  std::uint64_t baseReference_ = 0;
  std::uint32_t allocatedSize_ = 0;
  std::uint32_t usedSize_ = 0;
  std::vector<Attribute> attributes_;

  bool hasData_ = false;
  std::vector<DataRun> runs_;
  std::int64_t dataSize_ = 0;
  std::int64_t initializedSize_ = 0;
  bool nonResident_ = false;
  std::int32_t residentOffset_ = 0;
  platform::Bytes residentData_;
  bool compressed_ = false;
  bool encrypted_ = false;
  std::int32_t dataAttributeCount_ = 0;

  std::map<std::int64_t, std::unique_ptr<MftRecordParser>> extents_;
  std::vector<const MftRecordParser*> extentOrder_;  // in the attribute list's order
  std::u16string name_;
};
