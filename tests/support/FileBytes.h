#pragma once
// A whole file's bytes, for comparing what a test wrote or recovered.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test {

// The file's bytes; empty when it can't be opened.
inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace test
