#pragma once
// The file-system parser interface a volume holds for its file system. A volume
// keeps a plain CFileSystem from its creation on, which carries the detected type
// code and name; the file-system pass replaces it by the FAT or NTFS parser. The
// volume owns its parser (std::unique_ptr); parsers are deleted through this base.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/store/FoundObject.h"
#include "engine/store/ObjectRunList.h"
#include "platform/ByteOrder.h"

class CFileSystem {
 public:
  CFileSystem();
  virtual ~CFileSystem();
  CFileSystem(const CFileSystem&) = delete;
  CFileSystem& operator=(const CFileSystem&) = delete;

  // The file-system pass. The base does nothing and returns 0.
  virtual int Analyse();
  // Parses file-system structures found by the signature search at a raw record's
  // offset. The base does nothing.
  virtual void ScanAt(const FoundObject& record);
  // Reads `length` bytes of an object's data from `position` into `buffer` (which
  // holds at least `length` bytes); the bytes read. The base reads nothing.
  virtual std::int64_t FileRead(const FoundObject& record, void* buffer, std::int64_t position,
                                std::uint32_t length);
  // True for a parser that reads object data itself (FAT, NTFS); the base does not,
  // and the volume then reads raw sectors.
  virtual bool ReadsObjectData() const { return false; }
  // False when FileRead can't give an object's bytes as the file held them (a
  // compressed or encrypted NTFS file), so that no copy of zeros or ciphertext is
  // taken for the file. The base can.
  virtual bool CanReadData(const FoundObject&) { return true; }
  // How many bytes of an object FileRead gives as the object's own: its size, bounded
  // by what the volume holds (`volumeBytes`, 0 when unknown) and by what the parser
  // knows of its data. A damaged entry's size is thereby never written out whole.
  // The base: the object's offset plus size within the volume.
  virtual std::int64_t ReadableSize(const FoundObject& record, std::int64_t volumeBytes);
  // `size` bytes from `offset`, cut to the volume's `volumeBytes` (unknown: 0 or less).
  static std::int64_t WithinVolume(std::int64_t offset, std::int64_t size, std::int64_t volumeBytes);
  // Where an object's data lies on the volume (see ObjectRunList). The base gives
  // a file one run from its offset, `size` bytes long, and a folder none. May read
  // the disk (a parser's table or record): never on the user-interface thread.
  virtual ObjectRunList DataRuns(const FoundObject& record) { return ContiguousRuns(record); }
  // The base's rule, also for volumes without a parser of their own.
  static ObjectRunList ContiguousRuns(const FoundObject& record);

  // How the volume's clusters bitmap, as this parser fills it, lies on the volume:
  // bit i, for firstCluster <= i < firstCluster + clusterCount, stands for the
  // sectorsPerCluster sectors (512-byte units) from firstSector + (i - firstCluster)
  // x sectorsPerCluster. A set bit is a cluster in use.
  struct ClusterLayout {
    std::int64_t firstSector = 0;
    std::int64_t firstCluster = 0;
    std::int64_t clusterCount = 0;
    std::int64_t sectorsPerCluster = 1;
  };
  // False when the parser fills no bitmap (the base) or does not know its layout
  // (yet).
  virtual bool BitmapLayout(ClusterLayout& out) const;

  // ---- Type codes ---------------------------------------------------------------------
  // Codes are MBR partition-type byte values: FAT12 1, 17; FAT16 4, 6, 14, 20, 22,
  // 30; FAT32 11, 12, 27, 28; NTFS 7; 0 unknown. The boot set-up also knows the
  // volume-set codes 134 (FAT16), 135 (NTFS), 139 and 140 (FAT32).

  // The parser a code gets, and the id of its root folder record.
  enum class ParserKind { None, Fat, Ntfs };
  static ParserKind ParserFor(std::int32_t code);
  static std::int32_t RootFolderIdFor(std::int32_t code);
  // The name shown for a code: "FAT12" (1), "FAT16" (4, 6), "FAT32" (11, 12), "NTFS"
  // (7, 128), else "Unknown".
  static std::u16string_view TypeNameOf(std::int32_t code);
  // The FAT table width of a code by its family: 12, 16 or 32; 0 for other codes.
  static int FatBitsFor(std::int32_t code);
  // The file system a boot sector names: "FAT12   " or "FAT16   " at byte 54 (1, 4),
  // "FAT32   " at byte 82 (11), "NTFS    " at byte 3 (7), first match in that order;
  // 0 when none (or the sector is too short).
  static std::int32_t DetectByBootSector(platform::Bytes sector);
  // Sets typeName from typeCode.
  void GetTypeName();

  // The file system's root folder record: OBJ_FOLDER | OBJ_NAMED, name ".". The
  // volume sets its id and parent before Analyse and registers a copy in its store.
  FoundObject root;
  // The file-system type code (MBR partition-type byte values; 0 unknown).
  std::int32_t typeCode = 0;
  // Carried from one parser object to the next.
  std::int32_t openState = 0;
  std::u16string typeName = u"Unknown";
};
