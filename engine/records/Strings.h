#pragma once
// Texts by string id. The language tables of the user interface install
// themselves as the source at start-up; until then (and in the engine's tests) the
// built-in string table answers.

#include <cstdint>
#include <string>

class IStringSource {
 public:
  virtual ~IStringSource() = default;
  // The text of `id` in the current language; safe to call from any thread.
  virtual std::u16string GetString(std::uint32_t id) const = 0;
};

// Null restores the built-in table.
void SetStringSource(const IStringSource* source);
// The text of a string id, by value, safe from any thread.
std::u16string GetLangString(std::uint32_t id);
