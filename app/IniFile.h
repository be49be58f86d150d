#pragma once
// A language file: an INI text read and written as the profile functions do, with
// no Qt (a fuzz target parses untrusted files through it).
//
//  - Section and key names compare without case; blanks and tabs around names and
//    values are trimmed; a value enclosed in a pair of double or single quotes loses
//    them; lines starting with ';' are comments; a line without '=' is no key.
//  - The first of duplicate keys wins (duplicate sections read as one, in order).
//  - A value is cut to 4,095 characters, as a 4,096-character read buffer holds.
//  - UTF-8 (with or without a byte-order mark) and UTF-16LE with its mark; the file
//    is written back in the encoding and with the line ends it was read in.
//  - Set rewrites only the key's own line (the first occurrence), or adds the key
//    at the end of its section, or the section at the end of the file; every other
//    line, comments and blank lines included, stays as it was.
//
// Not thread-safe: the language tables guard their instance.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteOrder.h"

class IniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 4095;
  enum class Encoding { Utf8, Utf8Bom, Utf16LE };

  IniFile() = default;

  // Parses the bytes of a file.
  void Parse(platform::Bytes data);
  // Reads the file; false (and an empty file) when it can't be read.
  bool Load(const std::string& path);
  // Writes the whole text (temporary file, then rename); false on failure.
  bool Save(const std::string& path) const;
  // The bytes Save would write.
  std::vector<std::uint8_t> Serialize() const;

  // The value of a key (trimmed, unquoted, cut), or nothing when it is missing.
  std::optional<std::u16string> Get(std::u16string_view section, std::u16string_view key) const;
  bool HasKey(std::u16string_view section, std::u16string_view key) const { return Get(section, key).has_value(); }
  // The value, or `fallback` when the key is missing (a present empty value is "").
  std::u16string Read(std::u16string_view section, std::u16string_view key, std::u16string_view fallback) const;
  // Writes the key's line (see above).
  void Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);

  // Section names in file order (first spelling of each), and a section's keys.
  std::vector<std::u16string> Sections() const;
  std::vector<std::u16string> Keys(std::u16string_view section) const;

  Encoding GetEncoding() const { return encoding_; }
  void SetEncoding(Encoding encoding) { encoding_ = encoding; }
  std::size_t LineCount() const { return lines_.size(); }

 private:
  struct SectionIndex {
    std::u16string name;                            // first spelling
    std::vector<std::size_t> headers;               // lines of its "[...]" headers
    std::map<std::u16string, std::size_t> keys;     // folded key -> line (first wins)
    std::size_t lastLine = 0;                       // last key line, or its first header
  };
  void Reindex();
  const SectionIndex* FindSection(std::u16string_view section) const;

  std::vector<std::u16string> lines_;
  std::u16string eol_ = u"\n";
  bool finalEol_ = true;
  Encoding encoding_ = Encoding::Utf8;
  std::vector<SectionIndex> sections_;
  std::map<std::u16string, std::size_t> sectionByName_;  // folded name -> index
};
