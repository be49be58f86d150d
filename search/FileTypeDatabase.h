#pragma once
// The program-wide list of file types (`g_FileTypes`): the groups, the built-in
// types and the user's own, stored in the current user's registry below the program
// key ("\Groups" and "\File Types", one binary value per group or type), the map of
// file extensions to types, and the lookups that give a found object its type.
//
// Threads: the database is built and changed on the user-interface thread; lookups
// (FindById, FindByKey, FindForObject, the IFileTypeLookup calls) may run on any
// number of threads at once and write nothing. The database's own changes take its
// lock; a caller that edits a type it holds (flags, texts, signatures) does so
// under LockForEdit(), during which it may go on calling the database. Types are never removed, so a type pointer stays
// valid for the database's life.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/records/FileTypeLookup.h"
#include "engine/store/FoundObject.h"
#include "platform/ByteOrder.h"
#include "search/FileType.h"

namespace platform {
class RegistryStore;
}

// A group is a file type with type id 0 whose `title` is the group's name.
using FileTypeGroup = FileType;

// Category ids of the groups, and of the system types (which have no group).
enum FileTypeCategory : std::int32_t {
  CATEGORY_DOCUMENTS = -144,
  CATEGORY_ARCHIVES = -48,
  CATEGORY_DATABASES = -64,
  CATEGORY_IMAGES = -115,
  CATEGORY_PHOTOS = -117,
  CATEGORY_VIDEO = -120,
  CATEGORY_AUDIO = -122,
  CATEGORY_STORAGES = -112,
  CATEGORY_MOBILE = -128,
  CATEGORY_EXECUTABLE = -80,
  CATEGORY_EMAIL = -133,
  CATEGORY_SYSTEM = -16,
};

// The ids of the system types: boot sectors and NTFS file records.
bool IsSystemTypeId(std::int32_t id);

enum class ImportStatus { Added, Updated, Failed };

// Why an import failed: the file could not be read, its type was refused, or the
// database could not be saved afterwards.
enum class ImportFailure { None, CannotOpen, NotAFile, TooLarge, ReadError, Refused, NotSaved };

struct ImportResult {
  ImportStatus status = ImportStatus::Failed;
  ImportFailure failure = ImportFailure::None;
  FileType* type = nullptr;  // the added or updated type (also set when only the save failed)
  std::u16string reason;     // why it failed
};

class FileTypeDatabase final : public IFileTypeLookup {
 public:
  // Largest .filesig file that is read.
  static constexpr std::size_t kMaxSignatureFileSize = 16u << 20;

  FileTypeDatabase();
  // Saves the database when it was loaded from the registry.
  ~FileTypeDatabase() override;
  FileTypeDatabase(const FileTypeDatabase&) = delete;
  FileTypeDatabase& operator=(const FileTypeDatabase&) = delete;

  // The registry store to load from and save to (tests pass their own); null
  // selects the current user's store.
  void SetRegistry(platform::RegistryStore* registry);
  // Makes this the program's database: g_FileTypes and the engine's type lookup.
  void InstallAsProgramDatabase();

  // Reads the groups and types from the registry. Where "\Groups" or "\File Types"
  // is missing, the default groups or the built-in types are made instead and the
  // database is saved. Stored values that do not hold together, or that break the
  // rules for types (see CheckType), are skipped and logged.
  bool LoadFileTypes();
  // Writes every group and type, removes the values that an earlier load or save
  // of this database wrote and this one did not (a type's value name changes with
  // its title, extension, id or category), and ends with one registry save. False
  // when the registry could not be written.
  bool SaveFileTypes();

  // Imports a .filesig file (double quotes around the path are dropped) or the bytes
  // of one. A type whose id is already known updates that type's header (its
  // signatures stay); any other is added. Saves the database.
  ImportResult ImportSignatureFile(std::u16string_view path);
  ImportResult ImportSignatureFile(const std::string& path);  // a file-system path as it is
  ImportResult ImportSignatureData(platform::Bytes data);

  // Whether a type from a file or a stored value may enter the database: an id in
  // 1..32767 that is no system type's, in a category that has a group. A stored
  // value may also be one of the system types in the system category.
  bool CheckType(const FileType& type, bool fromRegistry, std::u16string* why) const;

  // Lookups.
  // The first type in list order with this id, else null.
  const FileType* FindById(std::int32_t id) const;
  FileType* FindById(std::int32_t id);
  const FileType* FindByKey(std::uint32_t key) const;
  // The type of an object: by its key when the database knows it, else by its type
  // id, else (files only) by the extension of its name. Writes nothing.
  const FileType* FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name,
                                bool isFolder) const;
  const FileType* FindForObject(const FoundObject& record) const;
  // The same for a record of the caller's own: a type found by the name's extension
  // is written into it (type id and key), so that a later lookup finds that type
  // again by its id and key.
  const FileType* FindForObject(FoundObject& record) const;
  // The type an extension (without the dot, any letter case) belongs to, else null.
  const FileType* FindByExtension(std::u16string_view extension) const;
  const FileTypeGroup* FindGroup(std::int32_t categoryId) const;

  // Who else is saved under a registry value name: the record other than `self`
  // whose value name equals `name` (without letter case, as the registry compares
  // names), looked for among the groups when `self` is one of them, else among the
  // types. Null when the name is free. Two records under one name would be saved
  // as one, so an editor refuses a change that makes a name taken.
  const FileType* ValueNameOwner(std::u16string_view name, const FileType* self) const;

  // IFileTypeLookup.
  bool FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name, bool isFolder,
                     FileTypeFacts& out) const override;
  bool FindByKey(std::uint32_t key, FileTypeFacts& out) const override;
  bool GroupName(std::int32_t categoryId, std::u16string& out) const override;
  static void FillFacts(const FileType& type, FileTypeFacts& out);

  // The types in list order, the groups in category order, the extension map in
  // insertion order (upper-case extension, type). Copies taken under the lock.
  std::vector<FileType*> Types() const;
  std::vector<FileTypeGroup*> Groups() const;
  std::vector<std::pair<std::u16string, const FileType*>> ExtensionMap() const;
  std::size_t TypeCount() const;

  // Building the database.
  FileTypeGroup* AddGroup(std::int32_t categoryId, std::u16string_view name, FileTypeGroup* parent);
  void CreateDefaultGroups();
  FileType* AddFileType(std::int32_t categoryId, std::int32_t typeId, std::int32_t typicalSizeKB,
                        std::u16string_view title, std::u16string_view description, std::u16string_view subgroup,
                        std::u16string_view namePrefix, std::u16string_view extensions);
  FileType* AppendFileType(std::unique_ptr<FileType> type);
  // A new type as AddFileType makes it, not yet in the database: the typical size
  // and the subgroup text are not kept.
  static std::unique_ptr<FileType> MakeFileType(std::int32_t categoryId, std::int32_t typeId,
                                                std::int32_t typicalSizeKB, std::u16string_view title,
                                                std::u16string_view description, std::u16string_view subgroup,
                                                std::u16string_view namePrefix, std::u16string_view extensions);
  void RebuildExtensionMap();
  void AddExtension(std::u16string_view text, const FileType* type);

  // Held while editing a type of the database from outside: lookups on other
  // threads wait meanwhile; the holder's own calls into the database go ahead.
  class EditLock {
   public:
    explicit EditLock(const FileTypeDatabase& db);
    EditLock(EditLock&& other) noexcept : db_(other.db_), locked_(other.locked_) { other.locked_ = false; }
    EditLock(const EditLock&) = delete;
    EditLock& operator=(const EditLock&) = delete;
    EditLock& operator=(EditLock&&) = delete;
    ~EditLock();

   private:
    const FileTypeDatabase& db_;
    bool locked_;
  };
  EditLock LockForEdit() { return EditLock(*this); }

 private:
  // A shared hold for lookups; none when this thread holds the edit lock.
  class ReadLock {
   public:
    explicit ReadLock(const FileTypeDatabase& db);
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;
    ~ReadLock();

   private:
    const FileTypeDatabase& db_;
    bool locked_;
  };
  bool HeldByThisThread() const { return editOwner_.load() == std::this_thread::get_id(); }

  platform::RegistryStore& Registry() const;
  bool CheckTypeLocked(const FileType& type, bool fromRegistry, std::u16string* why) const;
  void CreateDefaultGroupsLocked();
  FileTypeGroup* AddGroupLocked(std::int32_t categoryId, std::u16string_view name, FileTypeGroup* parent);
  FileType* AppendFileTypeLocked(std::unique_ptr<FileType> type);
  void AddExtensionsOf(const FileType* type);
  void AddExtensionLocked(std::u16string_view text, const FileType* type);
  void RebuildExtensionMapLocked();
  const FileType* FindByIdLocked(std::int32_t id) const;
  const FileType* FindForObjectLocked(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name,
                                      bool isFolder) const;
  void LoadGroupsLocked(std::u16string_view key);
  void LoadTypesLocked(std::u16string_view key);
  // Gives the built-in rows that a saved database holds as an earlier version made
  // them (same id, group and name, the earlier signatures) today's signatures; their
  // flags and sizes stay, and so does every other type. True when one changed.
  bool UpgradeBuiltinRowsLocked();
  void WriteKey(std::u16string_view key, const std::vector<const FileType*>& records, std::set<std::u16string>& owned);

  platform::RegistryStore* registry_ = nullptr;
  mutable std::shared_mutex mutex_;
  mutable std::atomic<std::thread::id> editOwner_{};
  std::vector<std::unique_ptr<FileType>> types_;
  std::map<std::int32_t, std::unique_ptr<FileTypeGroup>> groups_;
  std::unordered_map<std::uint32_t, const FileType*> byKey_;
  // The extension map: folded extension -> type, and the upper-case entries in order.
  std::unordered_map<std::u16string, const FileType*> extensions_;
  std::vector<std::pair<std::u16string, const FileType*>> extensionOrder_;
  const FileType* defaultType_ = nullptr;

  // Saving: the value names (folded) this database read or wrote under each key.
  std::mutex saveMutex_;
  std::set<std::u16string> ownedGroupNames_;
  std::set<std::u16string> ownedTypeNames_;
  bool loaded_ = false;
};

// The program's database, set once at start-up (InstallAsProgramDatabase).
extern FileTypeDatabase* g_FileTypes;
