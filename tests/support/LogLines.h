#pragma once
// Looks in a program log that a test installed (g_Log) for a line holding a text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records/ProgramLog.h"

namespace test {

// Whether a line of `log`, from its `since`-th line on, holds `text`.
inline bool LogHolds(const ProgramLog& log, std::u16string_view text, std::size_t since = 0) {
  const std::vector<std::u16string> lines = log.Lines();
  for (std::size_t i = since; i < lines.size(); ++i)
    if (lines[i].find(text) != std::u16string::npos) return true;
  return false;
}

}  // namespace test
