#pragma once
// One found file, folder or device node: the record that the file-system parsers
// and the signature search produce, that the store of a volume keeps, and that the
// views show. Producers fill a zeroed record (a "template") and hand it to the
// store, which copies it; the copies the store hands out never move.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/FileTime.h"

class CVolume;

// Flag bits of FoundObject::flags.
enum : std::uint16_t {
  OBJ_DELETED = 0x0001,       // deleted entry (FAT 0xE5/0x05; NTFS record not in use)
  OBJ_FOLDER = 0x0002,        // folder
  OBJ_DELETED_PATH = 0x0010,  // folder on the way to a deleted object
  OBJ_NAMED = 0x0080,         // the name is valid
  OBJ_CHECKED = 0x0100,       // checked in the tree (set by the user interface)
  OBJ_RAW = 0x1000,           // data read by absolute offset; size = distance to the next record by offset
  OBJ_CARVED = 0x2000,        // found (or also found) by the signature search
  OBJ_DEVICE = 0x4000,        // device node of a volume: owned by the volume, never freed by a store
};

// Bits of FoundObject::origin: where a record's size and name came from.
enum : std::uint8_t {
  // The size was read from the file's own header (a search fix-up or the
  // compound-document probe): the offset index never replaces it by the distance
  // to a neighbour.
  ORIGIN_SIZE_FROM_FORMAT = 0x01,
  // The store made the name (type prefix, offset, default extension, or the lost
  // file name); a name read from a file system never has this bit.
  ORIGIN_NAME_GENERATED = 0x02,
};

// Ids of the special nodes.
enum : std::int32_t {
  kIdMyComputer = -12,
  kIdRecycleBin = -17,
  kIdLostFolders = -18,
  kIdLostFiles = -19,
};

// The 16 flag bits. Every access is atomic, so the user interface may check or
// uncheck a record while a search worker marks it carved, and no bit is lost; the
// record stays copyable (a copy takes the value).
class ObjectFlags {
 public:
  constexpr ObjectFlags(std::uint16_t value = 0) noexcept : bits_(value) {}
  ObjectFlags(const ObjectFlags& other) noexcept : bits_(other.Load()) {}
  ObjectFlags& operator=(const ObjectFlags& other) noexcept {
    bits_.store(other.Load(), std::memory_order_relaxed);
    return *this;
  }
  ObjectFlags& operator=(std::uint16_t value) noexcept {
    bits_.store(value, std::memory_order_relaxed);
    return *this;
  }
  operator std::uint16_t() const noexcept { return Load(); }
  std::uint16_t Load() const noexcept { return bits_.load(std::memory_order_relaxed); }

  // Set or clear bits in one atomic step; both return the bits as they were.
  std::uint16_t Set(std::uint16_t bits) noexcept { return bits_.fetch_or(bits, std::memory_order_acq_rel); }
  std::uint16_t Clear(std::uint16_t bits) noexcept {
    return bits_.fetch_and(static_cast<std::uint16_t>(~bits), std::memory_order_acq_rel);
  }
  // Replaces the bits outside `keep` with those of `value`, leaving the bits in
  // `keep` as they are, in one atomic step.
  void Replace(std::uint16_t value, std::uint16_t keep) noexcept {
    std::uint16_t old = bits_.load(std::memory_order_relaxed);
    while (!bits_.compare_exchange_weak(old, static_cast<std::uint16_t>((value & ~keep) | (old & keep)),
                                        std::memory_order_acq_rel, std::memory_order_relaxed)) {
    }
  }
  ObjectFlags& operator|=(std::uint16_t bits) noexcept {
    Set(bits);
    return *this;
  }
  ObjectFlags& operator&=(std::uint16_t bits) noexcept {
    bits_.fetch_and(bits, std::memory_order_acq_rel);
    return *this;
  }
  bool Any(std::uint16_t bits) const noexcept { return (Load() & bits) != 0; }

 private:
  std::atomic<std::uint16_t> bits_;
};

struct FoundObject {
  ObjectFlags flags;
  std::uint16_t attributes = 0;  // Windows file attributes (FAT: the entry's attribute byte)
  std::int16_t typeId = 0;       // id of the object's file type; 0 = none
  std::uint8_t origin = 0;       // ORIGIN_* bits
  // FAT: start cluster; NTFS: MFT record number; carved: as the search sets it;
  // negative: a special node (device nodes, lost roots, type folders).
  std::int32_t id = 0;
  // FAT: start cluster of the folder that holds the entry; NTFS: low 32 bits of the
  // parent reference; carved: the category id of its file type.
  std::int32_t parentId = 0;
  // The stable key of the object's file type (see FileTypeLookup.h); 0 = none. Two
  // types may share a 16-bit id; the key tells them apart.
  std::uint32_t typeKey = 0;
  std::int32_t checkedCount = 0;  // kept by the tree views; the engine never reads it
  std::uint32_t nameLength = 0;
  // The record's position in the store that made it (the store sets it; see
  // FoundObjectStore::ReadView::HandleOf). Fills what was padding.
  std::uint32_t storeIndex = 0xFFFFFFFFu;
  std::int64_t offset = 0;  // byte offset of the object's data on its volume
  std::int64_t size = 0;    // bytes; -1 = not known
  platform::FileTime created = 0;
  platform::FileTime modified = 0;
  platform::FileTime accessed = 0;
  std::int64_t firstCluster = 0;  // FAT: start cluster, sign-extended; NTFS: LCN of the first run
  // The name (nameLength UTF-16 units, followed by a NUL in store records). In a
  // template it may point at the producer's own buffer: the store copies it.
  const char16_t* name = nullptr;
  // Device nodes: the volume the node stands for (not owned). Null otherwise.
  CVolume* volume = nullptr;
  std::uintptr_t treeItem = 0;  // set by the found-object tree

  std::u16string_view Name() const { return name ? std::u16string_view(name, nameLength) : std::u16string_view(); }
  // Points the record at `text` (not copied): for templates.
  void SetName(std::u16string_view text) {
    name = text.data();
    nameLength = static_cast<std::uint32_t>(text.size());
  }
  bool IsFolder() const { return flags.Any(OBJ_FOLDER); }
  bool IsOnDeletedPath() const { return flags.Any(OBJ_DELETED_PATH); }
  bool IsDevice() const { return flags.Any(OBJ_DEVICE); }
};
