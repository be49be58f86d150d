#pragma once
// The registry store: the current user's keys with typed values, kept in one text
// file in the Windows .reg export layout (UTF-8). Keys are paths below
// HKEY_CURRENT_USER, such as u"Software\\Quenmar\\Digital Vandrel Professional\\5.0\\Filter";
// key and value names compare without case; subkeys and values enumerate in the
// order they were created.
//
// Changes stay in memory until Save(), which takes an flock, re-reads the file,
// applies this instance's changes on top of what another instance wrote meanwhile,
// and replaces the file atomically (temporary file, fsync, rename).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ByteOrder.h"

namespace platform {

enum class RegType { Binary, Dword, String };

struct RegValue {
  RegType type = RegType::Binary;
  std::vector<std::uint8_t> binary;
  std::uint32_t dword = 0;
  std::u16string string;

  static RegValue Binary(Bytes data) { return {RegType::Binary, {data.begin(), data.end()}, 0, {}}; }
  static RegValue Dword(std::uint32_t v) { return {RegType::Dword, {}, v, {}}; }
  static RegValue String(std::u16string_view s) { return {RegType::String, {}, 0, std::u16string(s)}; }
  bool operator==(const RegValue&) const = default;
};

enum class RegStatus { Ok, NotFound, WrongType };

class RegistryStore {
 public:
  // Loads `filePath` when it exists. A file that is not a registry file at all is
  // moved aside to `filePath` + ".bad" and the store starts empty.
  explicit RegistryStore(std::string filePath);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool KeyExists(std::u16string_view key) const;
  void CreateKey(std::u16string_view key);
  // Removes the key with its subkeys and values; false when it did not exist.
  bool DeleteKey(std::u16string_view key);
  std::vector<std::u16string> EnumSubkeys(std::u16string_view key) const;
  std::vector<std::pair<std::u16string, RegValue>> EnumValues(std::u16string_view key) const;

  RegStatus Query(std::u16string_view key, std::u16string_view name, RegValue& out) const;
  RegStatus QueryBinary(std::u16string_view key, std::u16string_view name, std::vector<std::uint8_t>& out) const;
  RegStatus QueryDword(std::u16string_view key, std::u16string_view name, std::uint32_t& out) const;
  RegStatus QueryString(std::u16string_view key, std::u16string_view name, std::u16string& out) const;

  // Setting a value creates its key (and the key's parents) as needed. The name ""
  // is the key's default value.
  void Set(std::u16string_view key, std::u16string_view name, RegValue value);
  void SetBinary(std::u16string_view key, std::u16string_view name, Bytes data);
  void SetDword(std::u16string_view key, std::u16string_view name, std::uint32_t value);
  void SetString(std::u16string_view key, std::u16string_view name, std::u16string_view value);
  bool DeleteValue(std::u16string_view key, std::u16string_view name);

  // Writes the changes made since the last load or save; true on success. On a
  // failure the file on disk is unchanged and the changes stay pending.
  bool Save();
  // Drops pending changes and reads the file again.
  void Reload();
  bool HasPendingChanges() const;
  const std::string& path() const { return path_; }

  // The text of the whole store in the file layout (for tests and diagnostics).
  std::string Serialize() const;

  // Test hook: make the next Save() fail after the temporary file is written and
  // before it replaces the store's file, as a crash there would.
  void FailNextSaveBeforeRenameForTests() { failBeforeRename_ = true; }

  struct Key;
  struct Change;

 private:
  std::string path_;
  mutable std::mutex mutex_;
  std::unique_ptr<Key> root_;
  std::vector<Change> changes_;
  bool failBeforeRename_ = false;
};

// While held, stores whose file lies below `folder` write nothing: Save() keeps the
// changes pending (and reports success); the release (an empty folder) saves every
// store that was held with changes. The program holds its configuration folder while
// the drive it lies on is being read, so that nothing is written onto that drive.
void HoldRegistryWritesBelow(const std::string& folder);
// Whether a store's Save() at `path` would be held now.
bool RegistryWritesHeld(const std::string& path);

// The store of the current user: ConfigDir()/registry.reg, made on first use.
RegistryStore& CurrentUserRegistry();
// Re-reads the current user's store from ConfigDir() (tests point VANDREL_CONFIG_DIR
// at a new folder and call this).
void ResetCurrentUserRegistry();

}  // namespace platform
