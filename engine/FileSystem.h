#pragma once
// The file-system parser interface a volume holds for its file system. A volume
// keeps a plain CFileSystem from its creation on, which carries the detected type
// code and name; the file-system pass replaces it by the FAT or NTFS parser. The
// volume owns its parser (std::unique_ptr); parsers are deleted through this base.

#include <cstdint>
#include <string>

#include "engine/FoundObject.h"

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

  // The file system's root folder record: OBJ_FOLDER | OBJ_NAMED, name ".". The
  // volume sets its id and parent before Analyse and registers a copy in its store.
  FoundObject root;
  // The file-system type code (MBR partition-type byte values; 0 unknown).
  std::int32_t typeCode = 0;
  // Carried from one parser object to the next.
  std::int32_t openState = 0;
  std::u16string typeName = u"Unknown";
};
