#pragma once
// The program's built-in string table: the English text of every string id. The
// language files translate these ids; an id without a text gives an empty text.

#include <cstdint>
#include <span>
#include <string_view>

struct StringTableEntry {
  std::uint32_t id;
  std::u16string_view text;
};

// The text of `id`, or an empty view when the table has none. The view refers to
// static storage and stays valid for the whole run.
std::u16string_view BuiltinString(std::uint32_t id);
// Every entry, in ascending id order.
std::span<const StringTableEntry> BuiltinStrings();
