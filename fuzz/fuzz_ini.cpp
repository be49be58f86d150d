// The INI reader of the language files, over a file anyone may have edited. The
// input is the file; its first byte also names the key the program writes into it
// (a section of letters and dots, a number as key, the value from the file's last
// bytes: what the language tables write).
//
// The text is parsed; every value read is what its line holds (trimmed, unquoted,
// cut to 4,095 characters); the text written back parses to the same sections, keys
// and values and writes the same bytes again. A value set reads back as set, every
// other key keeps its value, and it survives a write and a read.
//
// Seeds (fuzz/corpus/ini) are Languages/English.lng as the program exports it, the
// same converted to UTF-16 by iconv and to CRLF line ends by sed, and small files
// with duplicate sections and keys, comments, quotes and keys outside any section.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/IniFile.h"
#include "platform/Text.h"

namespace {

std::u16string Folded(std::u16string s) {
  for (char16_t& c : s) c = platform::FoldCase(c);
  return s;
}

using Values = std::map<std::pair<std::u16string, std::u16string>, std::u16string>;

Values All(const IniFile& ini) {
  Values out;
  for (const std::u16string& section : ini.Sections()) {
    for (const std::u16string& key : ini.Keys(section)) {
      auto value = ini.Get(section, key);
      fuzz::Check(value.has_value(), "a listed key has a value");
      fuzz::Check(value->size() <= IniFile::kMaxValueLength, "a value is cut to its length");
      out[{Folded(section), Folded(key)}] = *value;
    }
  }
  return out;
}

std::u16string Trim(std::u16string s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.erase(s.begin());
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.pop_back();
  return s;
}

// What reading gives for a value written as `value`.
std::u16string AsRead(std::u16string value) {
  value = Trim(std::move(value));
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  if (value.size() > IniFile::kMaxValueLength) value.resize(IniFile::kMaxValueLength);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (std::size_t(1) << 20)) return 0;
  IniFile ini;
  ini.Parse(platform::Bytes(data, size));
  const Values first = All(ini);
  const std::vector<std::uint8_t> written = ini.Serialize();
  IniFile again;
  again.Parse(written);
  fuzz::Check(All(again) == first, "the written text reads back to the same values");
  fuzz::Check(again.Serialize() == written, "the written text is stable");
  fuzz::Check(again.Sections() == ini.Sections(), "the same sections in the same order");

  // The key the program writes: section, number, value as the language tables make
  // them (escaped: no line breaks; no surrogates, which UTF-8 files cannot hold).
  const std::uint8_t pick = size ? data[0] : 0;
  static const char16_t* const kSections[] = {u"StringsTable", u"ProgramSettings", u"Wizard.Step3", u"MainFrame",
                                              u"New Section"};
  std::u16string section = kSections[pick % 5];
  if (pick & 0x80 && !ini.Sections().empty()) section = ini.Sections()[pick % ini.Sections().size()];
  const std::u16string key = platform::Widen(std::to_string(100 + pick));
  std::u16string value;
  for (std::size_t i = size > 64 ? size - 64 : 0; i < size; ++i) {
    char16_t c = data[i] < 0x80 ? char16_t(data[i]) : char16_t(0xC0 + data[i]);
    if (c == u'\n' || c == u'\r') c = u' ';
    value.push_back(c);
  }
  // A section name read from the file is one the program could only write when it
  // is one a header line can give back.
  const bool writable = section.find_first_of(u"[]\n\r") == std::u16string::npos && Trim(section) == section;
  if (!writable) return 0;
  ini.Set(section, key, value);
  auto got = ini.Get(section, key);
  fuzz::Check(got.has_value() && *got == AsRead(value), "a value set reads back as set");
  Values expected = first;
  expected[{Folded(section), Folded(key)}] = AsRead(value);
  // Keys of sections whose name folds like the one written are one section.
  Values now = All(ini);
  fuzz::Check(now == expected, "setting one key leaves every other value as it was");
  IniFile reread;
  reread.Parse(ini.Serialize());
  fuzz::Check(All(reread) == now, "a value set survives a write and a read");
  return 0;
}
