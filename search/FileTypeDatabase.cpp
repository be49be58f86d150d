#include "search/FileTypeDatabase.h"

#include <unordered_set>

#include "engine/records/AppSettings.h"
#include "engine/records/ProgramLog.h"
#include "platform/Format.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "search/BuiltinFileTypes.h"

FileTypeDatabase* g_FileTypes = nullptr;

namespace {

// Registry lists are read from index 0 below this many values.
constexpr std::size_t kMaxStoredValues = 0x7FFF;

// Reads the binary values of a key as type records, in stored order and at most
// kMaxStoredValues of them. A value that is not binary, does not parse, or fails
// `check` (which may say why) is skipped with a log line that names it as `what`;
// `take` gets every other record with its value's name and bytes.
template <typename Check, typename Take>
void ForEachStoredRecord(platform::RegistryStore& store, std::u16string_view key, std::u16string_view what,
                         Check check, Take take) {
  auto values = store.EnumValues(key);
  std::size_t index = 0;
  for (auto& [name, value] : values) {
    if (index++ >= kMaxStoredValues) break;
    std::u16string why;
    if (value.type != platform::RegType::Binary) {
      Log().Error(u"%s \"%s\" skipped: the value is not binary", what, name);
      continue;
    }
    auto record = FileType::FromBlob(value.binary, &why);
    if (record && !check(*record, why)) record.reset();
    if (!record) {
      Log().Error(u"%s \"%s\" skipped: %s", what, name, why);
      continue;
    }
    take(std::move(record), name, value.binary);
  }
}

std::u16string GroupsKey() { return std::u16string(kProgramKey) + u"\\Groups"; }
std::u16string TypesKey() { return std::u16string(kProgramKey) + u"\\File Types"; }

// Registry names and extensions compare without case.
std::u16string Fold(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = platform::FoldCase(c);
  return out;
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return out;
}

std::u16string_view TrimExtension(std::u16string_view text) {
  constexpr std::u16string_view kTrim = u",; *.";
  std::size_t b = text.find_first_not_of(kTrim);
  if (b == std::u16string_view::npos) return {};
  std::size_t e = text.find_last_not_of(kTrim);
  return text.substr(b, e - b + 1);
}

}  // namespace

FileTypeDatabase::EditLock::EditLock(const FileTypeDatabase& db) : db_(db), locked_(!db.HeldByThisThread()) {
  if (locked_) {
    db_.mutex_.lock();
    db_.editOwner_.store(std::this_thread::get_id());
  }
}

FileTypeDatabase::EditLock::~EditLock() {
  if (locked_) {
    db_.editOwner_.store(std::thread::id());
    db_.mutex_.unlock();
  }
}

FileTypeDatabase::ReadLock::ReadLock(const FileTypeDatabase& db) : db_(db), locked_(!db.HeldByThisThread()) {
  if (locked_) db_.mutex_.lock_shared();
}

FileTypeDatabase::ReadLock::~ReadLock() {
  if (locked_) db_.mutex_.unlock_shared();
}

bool IsSystemTypeId(std::int32_t id) { return id == 1 || id == 4 || id == 7 || id == 11 || id == 24; }

FileTypeDatabase::FileTypeDatabase() = default;

FileTypeDatabase::~FileTypeDatabase() {
  if (loaded_) SaveFileTypes();
  if (g_FileTypes == this) {
    SetFileTypeLookup(nullptr);
    g_FileTypes = nullptr;
  }
}

void FileTypeDatabase::SetRegistry(platform::RegistryStore* registry) { registry_ = registry; }

platform::RegistryStore& FileTypeDatabase::Registry() const {
  return registry_ ? *registry_ : platform::CurrentUserRegistry();
}

void FileTypeDatabase::InstallAsProgramDatabase() {
  g_FileTypes = this;
  SetFileTypeLookup(this);
}

// ---- building ----

FileTypeGroup* FileTypeDatabase::AddGroup(std::int32_t categoryId, std::u16string_view name, FileTypeGroup* parent) {
  EditLock lock(*this);
  return AddGroupLocked(categoryId, name, parent);
}

FileTypeGroup* FileTypeDatabase::AddGroupLocked(std::int32_t categoryId, std::u16string_view name,
                                                FileTypeGroup* parent) {
  auto it = groups_.find(categoryId);
  if (it != groups_.end()) return it->second.get();
  auto group = std::make_unique<FileTypeGroup>();
  group->Init(categoryId, 0, name, {}, {}, {});
  group->Selected(1);
  group->parentGroup = parent;
  FileTypeGroup* raw = group.get();
  groups_.emplace(categoryId, std::move(group));
  return raw;
}

void FileTypeDatabase::CreateDefaultGroups() {
  EditLock lock(*this);
  CreateDefaultGroupsLocked();
}

void FileTypeDatabase::CreateDefaultGroupsLocked() {
  for (auto& g : DefaultFileTypeGroups()) {
    FileTypeGroup* parent = nullptr;
    if (g.parentCategory != 0) {
      auto it = groups_.find(g.parentCategory);
      if (it != groups_.end()) parent = it->second.get();
    }
    AddGroupLocked(g.category, g.name, parent);
  }
}

FileType* FileTypeDatabase::AddFileType(std::int32_t categoryId, std::int32_t typeId, std::int32_t typicalSizeKB,
                                        std::u16string_view title, std::u16string_view description,
                                        std::u16string_view subgroup, std::u16string_view namePrefix,
                                        std::u16string_view extensions) {
  return AppendFileType(
      MakeFileType(categoryId, typeId, typicalSizeKB, title, description, subgroup, namePrefix, extensions));
}

std::unique_ptr<FileType> FileTypeDatabase::MakeFileType(std::int32_t categoryId, std::int32_t typeId,
                                                         std::int32_t /*typicalSizeKB*/, std::u16string_view title,
                                                         std::u16string_view description,
                                                         std::u16string_view /*subgroup*/,
                                                         std::u16string_view namePrefix,
                                                         std::u16string_view extensions) {
  auto type = std::make_unique<FileType>();
  type->Init(categoryId, typeId, title, description, namePrefix, extensions);
  type->SetHeaderI32(FileType::kReserved24Offset, 0);
  type->SetListed(1);
  return type;
}

FileType* FileTypeDatabase::AppendFileType(std::unique_ptr<FileType> type) {
  EditLock lock(*this);
  return AppendFileTypeLocked(std::move(type));
}

FileType* FileTypeDatabase::AppendFileTypeLocked(std::unique_ptr<FileType> type) {
  if (!type) return nullptr;
  FileType* raw = type.get();
  types_.push_back(std::move(type));
  byKey_.emplace(raw->key(), raw);
  // The new type is the last in list order, so its extensions go after every other
  // type's, exactly as a rebuild of the map would place them.
  AddExtensionsOf(raw);
  return raw;
}

void FileTypeDatabase::RebuildExtensionMap() {
  EditLock lock(*this);
  RebuildExtensionMapLocked();
}

void FileTypeDatabase::RebuildExtensionMapLocked() {
  extensions_.clear();
  extensionOrder_.clear();
  for (auto& t : types_) AddExtensionsOf(t.get());
}

void FileTypeDatabase::AddExtensionsOf(const FileType* type) {
  std::u16string list = type->Extensions();
  std::u16string_view rest = list;
  while (true) {
    std::size_t cut = rest.find_first_of(u",;");
    AddExtensionLocked(rest.substr(0, cut), type);
    if (cut == std::u16string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
}

void FileTypeDatabase::AddExtension(std::u16string_view text, const FileType* type) {
  EditLock lock(*this);
  AddExtensionLocked(text, type);
}

void FileTypeDatabase::AddExtensionLocked(std::u16string_view text, const FileType* type) {
  std::u16string_view ext = TrimExtension(text);
  if (ext.empty() || !type) return;
  // The first type that lists an extension keeps it.
  if (!extensions_.emplace(Fold(ext), type).second) return;
  extensionOrder_.emplace_back(UpperAscii(ext), type);
}

// ---- lookups ----

const FileType* FileTypeDatabase::FindByIdLocked(std::int32_t id) const {
  for (auto& t : types_)
    if (t->typeId() == id) return t.get();
  return defaultType_;
}

const FileType* FileTypeDatabase::FindById(std::int32_t id) const {
  ReadLock lock(*this);
  return FindByIdLocked(id);
}

FileType* FileTypeDatabase::FindById(std::int32_t id) {
  ReadLock lock(*this);
  // Every type the database holds is its own to change.
  return const_cast<FileType*>(FindByIdLocked(id));
}

const FileType* FileTypeDatabase::FindByKey(std::uint32_t key) const {
  ReadLock lock(*this);
  auto it = byKey_.find(key);
  return it == byKey_.end() ? nullptr : it->second;
}

const FileType* FileTypeDatabase::FindForObjectLocked(std::uint32_t typeKey, std::int16_t typeId,
                                                      std::u16string_view name, bool isFolder) const {
  if (typeKey != 0) {
    auto it = byKey_.find(typeKey);
    if (it != byKey_.end()) return it->second;
  }
  if (typeId != 0) {
    if (const FileType* t = FindByIdLocked(typeId)) return t;
  }
  if (name.empty()) return defaultType_;
  if (isFolder) return nullptr;
  std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return nullptr;
  auto it = extensions_.find(Fold(name.substr(dot + 1)));
  return it == extensions_.end() ? nullptr : it->second;
}

const FileType* FileTypeDatabase::FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name,
                                                bool isFolder) const {
  ReadLock lock(*this);
  return FindForObjectLocked(typeKey, typeId, name, isFolder);
}

const FileType* FileTypeDatabase::FindForObject(const FoundObject& record) const {
  return FindForObject(record.typeKey, record.typeId, record.Name(), record.IsFolder());
}

const FileType* FileTypeDatabase::FindForObject(FoundObject& record) const {
  ReadLock lock(*this);
  if (record.typeKey != 0) {
    auto it = byKey_.find(record.typeKey);
    if (it != byKey_.end()) return it->second;
  }
  if (record.typeId != 0) {
    if (const FileType* t = FindByIdLocked(record.typeId)) return t;
  }
  // Neither the key nor the id gave a type: the one the name's extension gives is
  // kept on the record.
  const FileType* t = FindForObjectLocked(0, 0, record.Name(), record.IsFolder());
  if (t && t != defaultType_) {
    record.typeId = static_cast<std::int16_t>(t->typeId());
    record.typeKey = t->key();
  }
  return t;
}

const FileType* FileTypeDatabase::FindByExtension(std::u16string_view extension) const {
  ReadLock lock(*this);
  auto it = extensions_.find(Fold(extension));
  return it == extensions_.end() ? nullptr : it->second;
}

const FileTypeGroup* FileTypeDatabase::FindGroup(std::int32_t categoryId) const {
  ReadLock lock(*this);
  auto it = groups_.find(categoryId);
  return it == groups_.end() ? nullptr : it->second.get();
}

const FileType* FileTypeDatabase::ValueNameOwner(std::u16string_view name, const FileType* self) const {
  ReadLock lock(*this);
  const std::u16string folded = Fold(name);
  bool isGroup = false;
  for (auto& [category, g] : groups_)
    if (g.get() == self) isGroup = true;
  if (isGroup) {
    for (auto& [category, g] : groups_)
      if (g.get() != self && Fold(g->RegistryValueName()) == folded) return g.get();
    return nullptr;
  }
  for (auto& t : types_)
    if (t.get() != self && Fold(t->RegistryValueName()) == folded) return t.get();
  return nullptr;
}

void FileTypeDatabase::FillFacts(const FileType& type, FileTypeFacts& out) {
  out.key = type.key();
  out.id = static_cast<std::int16_t>(type.typeId());
  out.categoryId = type.categoryId();
  out.namePrefix = type.NamePrefix();
  out.extension = type.DefaultExtension();
  out.searchEnabled = type.searchEnabled() != 0;
  out.showInFilter = type.showInFilter() != 0;
}

bool FileTypeDatabase::FindForObject(std::uint32_t typeKey, std::int16_t typeId, std::u16string_view name,
                                     bool isFolder, FileTypeFacts& out) const {
  ReadLock lock(*this);
  const FileType* t = FindForObjectLocked(typeKey, typeId, name, isFolder);
  if (!t) return false;
  FillFacts(*t, out);
  return true;
}

bool FileTypeDatabase::FindByKey(std::uint32_t key, FileTypeFacts& out) const {
  ReadLock lock(*this);
  auto it = byKey_.find(key);
  if (it == byKey_.end()) return false;
  FillFacts(*it->second, out);
  return true;
}

bool FileTypeDatabase::GroupName(std::int32_t categoryId, std::u16string& out) const {
  ReadLock lock(*this);
  auto it = groups_.find(categoryId);
  if (it == groups_.end()) return false;
  out = it->second->Title();
  return true;
}

std::vector<FileType*> FileTypeDatabase::Types() const {
  ReadLock lock(*this);
  std::vector<FileType*> out;
  out.reserve(types_.size());
  for (auto& t : types_) out.push_back(t.get());
  return out;
}

std::vector<FileTypeGroup*> FileTypeDatabase::Groups() const {
  ReadLock lock(*this);
  std::vector<FileTypeGroup*> out;
  for (auto& [category, g] : groups_) out.push_back(g.get());
  return out;
}

std::vector<std::pair<std::u16string, const FileType*>> FileTypeDatabase::ExtensionMap() const {
  ReadLock lock(*this);
  return extensionOrder_;
}

std::size_t FileTypeDatabase::TypeCount() const {
  ReadLock lock(*this);
  return types_.size();
}

// ---- checks ----

bool FileTypeDatabase::CheckType(const FileType& type, bool fromRegistry, std::u16string* why) const {
  ReadLock lock(*this);
  return CheckTypeLocked(type, fromRegistry, why);
}

bool FileTypeDatabase::CheckTypeLocked(const FileType& type, bool fromRegistry, std::u16string* why) const {
  const std::int32_t id = type.typeId();
  const std::int32_t category = type.categoryId();
  auto fail = [&](std::u16string text) {
    if (why) *why = std::move(text);
    return false;
  };
  // The system types themselves are stored with the others and come back at each start.
  if (fromRegistry && category == CATEGORY_SYSTEM && IsSystemTypeId(id)) return true;
  if (id == 0) return fail(u"the type id is 0");
  if (IsSystemTypeId(id)) return fail(platform::Format(u"the type id %d belongs to a system type", id));
  if (id < 1 || id > 32767) return fail(platform::Format(u"the type id %d is outside 1 to 32767", id));
  if (groups_.find(category) == groups_.end()) return fail(platform::Format(u"the category %d is no group", category));
  return true;
}

// ---- registry ----

bool FileTypeDatabase::LoadFileTypes() {
  bool madeDefaults = false, upgraded = false;
  {
    EditLock lock(*this);
    std::lock_guard save(saveMutex_);
    if (loaded_) return true;
    platform::RegistryStore& store = Registry();
    const std::u16string groupsKey = GroupsKey();
    const std::u16string typesKey = TypesKey();
    // Both keys are looked at before anything is written: a save made for missing
    // groups creates "\File Types" too.
    const bool haveGroups = store.KeyExists(groupsKey);
    const bool haveTypes = store.KeyExists(typesKey);
    if (haveGroups) {
      LoadGroupsLocked(groupsKey);
    } else {
      CreateDefaultGroupsLocked();
    }
    if (haveTypes) {
      LoadTypesLocked(typesKey);
      upgraded = UpgradeBuiltinRowsLocked();
    } else {
      for (auto& t : MakeBuiltinFileTypes()) AppendFileTypeLocked(std::move(t));
    }
    RebuildExtensionMapLocked();
    loaded_ = true;
    madeDefaults = !haveGroups || !haveTypes;
  }
  if (madeDefaults) return SaveFileTypes();
  // Corrected rows are written back; what was loaded stands even when that fails.
  if (upgraded) SaveFileTypes();
  return true;
}

namespace {

// The signature blobs of a type, as stored after its header.
std::vector<std::uint8_t> SignatureBlobs(const FileType& type) {
  std::vector<std::uint8_t> blob = type.Serialize();
  return std::vector<std::uint8_t>(blob.begin() + std::ptrdiff_t(std::min(blob.size(), FileType::kHeaderSize)),
                                   blob.end());
}

bool SameRow(const FileType& a, const FileType& b) {
  return a.typeId() == b.typeId() && a.categoryId() == b.categoryId() && a.DisplayName() == b.DisplayName();
}

}  // namespace

bool FileTypeDatabase::UpgradeBuiltinRowsLocked() {
  const auto current = MakeBuiltinFileTypes();
  bool changed = false;
  for (const auto& earlier : MakeEarlierBuiltinRows()) {
    const std::vector<std::uint8_t> old = SignatureBlobs(*earlier);
    const FileType* now = nullptr;
    for (const auto& c : current)
      if (SameRow(*c, *earlier)) now = c.get();
    if (!now) continue;
    for (auto& t : types_) {
      // Only the row as an earlier version saved it: signatures the user changed stay.
      if (!SameRow(*t, *earlier) || SignatureBlobs(*t) != old) continue;
      while (t->RemoveSignature(0)) {
      }
      for (std::size_t i = 0; i < now->GetSignatureCount(); ++i)
        t->AppendSignature(std::make_unique<Signature>(now->GetSignature(i)));
      changed = true;
    }
  }
  return changed;
}

void FileTypeDatabase::LoadGroupsLocked(std::u16string_view key) {
  ForEachStoredRecord(
      Registry(), key, u"File type group",
      [](const FileType& group, std::u16string& why) {
        if (group.typeId() == 0 && group.categoryId() < 0) return true;
        why = u"a group needs type id 0 and a negative category";
        return false;
      },
      [&](std::unique_ptr<FileType> group, const std::u16string& name, const std::vector<std::uint8_t>& blob) {
        auto it = groups_.find(group->categoryId());
        if (it != groups_.end()) {
          it->second->CopyHeader(blob);
        } else {
          std::int32_t category = group->categoryId();
          groups_.emplace(category, std::move(group));
        }
        ownedGroupNames_.insert(Fold(name));
      });
}

void FileTypeDatabase::LoadTypesLocked(std::u16string_view key) {
  // A value is known by the full name it is saved under, never by its id alone:
  // five built-in ids are shared by two types each.
  std::unordered_map<std::u16string, FileType*> byName;
  for (auto& t : types_) byName.emplace(Fold(t->RegistryValueName()), t.get());
  ForEachStoredRecord(
      Registry(), key, u"File type",
      [this](const FileType& type, std::u16string& why) { return CheckTypeLocked(type, true, &why); },
      [&](std::unique_ptr<FileType> type, const std::u16string& name, const std::vector<std::uint8_t>& blob) {
        std::u16string saveName = Fold(type->RegistryValueName());
        auto it = byName.find(saveName);
        if (it != byName.end()) {
          it->second->CopyHeader(blob);
        } else {
          byName.emplace(saveName, AppendFileTypeLocked(std::move(type)));
        }
        ownedTypeNames_.insert(Fold(name));
      });
}

void FileTypeDatabase::WriteKey(std::u16string_view key, const std::vector<const FileType*>& records,
                                std::set<std::u16string>& owned) {
  platform::RegistryStore& store = Registry();
  struct Out {
    std::u16string name;
    const FileType* record;
  };
  std::vector<Out> out;
  std::unordered_set<std::u16string> written;
  for (const FileType* r : records) {
    std::u16string name = r->RegistryValueName();
    if (!written.insert(Fold(name)).second) {
      Log().Error(u"File type \"%s\" is not saved: an earlier type has the same value name", name);
      continue;
    }
    out.push_back({std::move(name), r});
  }
  // Values that are set again keep their place; new ones go to the end. When that
  // would not give the list order (a type renamed), every value is written afresh
  // so that the next start reads the types in the same order.
  std::vector<std::u16string> existing;
  for (auto& [name, value] : store.EnumValues(key)) existing.push_back(name);
  std::size_t next = 0;
  bool inOrder = true;
  for (auto& name : existing) {
    std::u16string folded = Fold(name);
    if (!written.count(folded)) continue;
    if (next < out.size() && Fold(out[next].name) == folded) {
      ++next;
    } else {
      inOrder = false;
      break;
    }
  }
  for (auto& name : existing) {
    std::u16string folded = Fold(name);
    bool stale = owned.count(folded) && !written.count(folded);
    if (stale || (!inOrder && written.count(folded))) store.DeleteValue(key, name);
  }
  store.CreateKey(key);
  for (auto& o : out) store.SetBinary(key, o.name, o.record->Serialize());
  owned.clear();
  for (auto& name : written) owned.insert(name);
}

bool FileTypeDatabase::SaveFileTypes() {
  ReadLock lock(*this);
  std::lock_guard save(saveMutex_);
  std::vector<const FileType*> groups, types;
  for (auto& [category, g] : groups_) groups.push_back(g.get());
  for (auto& t : types_) types.push_back(t.get());
  WriteKey(GroupsKey(), groups, ownedGroupNames_);
  WriteKey(TypesKey(), types, ownedTypeNames_);
  if (!Registry().Save()) {
    Log().Error(u"The file types could not be saved to %s", Registry().path());
    return false;
  }
  return true;
}

// ---- import ----

ImportResult FileTypeDatabase::ImportSignatureFile(std::u16string_view path) {
  return ImportSignatureFile(platform::Utf16ToUtf8(path));
}

ImportResult FileTypeDatabase::ImportSignatureFile(const std::string& path) {
  std::string_view p = path;
  while (!p.empty() && p.front() == '"') p.remove_prefix(1);
  while (!p.empty() && p.back() == '"') p.remove_suffix(1);
  ImportResult result;
  std::vector<std::uint8_t> data;
  switch (platform::ReadWholeFile(std::string(p), kMaxSignatureFileSize, data)) {
    case platform::ReadFileStatus::Ok: return ImportSignatureData(data);
    case platform::ReadFileStatus::CannotOpen:
      result.failure = ImportFailure::CannotOpen;
      result.reason = u"the file can't be opened";
      break;
    case platform::ReadFileStatus::NotAFile:
      result.failure = ImportFailure::NotAFile;
      result.reason = u"it is not a file";
      break;
    case platform::ReadFileStatus::TooLarge:
      result.failure = ImportFailure::TooLarge;
      result.reason = u"the file is larger than 16 MB";
      break;
    case platform::ReadFileStatus::ReadError:
      result.failure = ImportFailure::ReadError;
      result.reason = u"the file can't be read";
      break;
  }
  return result;
}

ImportResult FileTypeDatabase::ImportSignatureData(platform::Bytes data) {
  ImportResult result;
  result.failure = ImportFailure::Refused;
  auto type = FileType::FromBlob(data, &result.reason);
  if (!type) return result;
  {
    EditLock lock(*this);
    if (!CheckTypeLocked(*type, false, &result.reason)) return result;
    result.failure = ImportFailure::None;
    if (FileType* existing = const_cast<FileType*>(FindByIdLocked(type->typeId()))) {
      existing->CopyHeader(data);
      RebuildExtensionMapLocked();
      result.status = ImportStatus::Updated;
      result.type = existing;
    } else {
      result.type = AppendFileTypeLocked(std::move(type));
      result.status = ImportStatus::Added;
    }
  }
  if (!SaveFileTypes()) {
    result.status = ImportStatus::Failed;
    result.failure = ImportFailure::NotSaved;
    result.reason = u"the file types could not be saved";
  }
  return result;
}
