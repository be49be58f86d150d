#pragma once
// Access to the disk-image fixtures unpacked by the build, and to their manifests
// (tests/fixtures/<name>.manifest.json, the truth the recipes recorded).

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace test {

inline std::string FixtureImage(const std::string& name) { return std::string(VANDREL_FIXTURE_DIR) + "/" + name; }

inline nlohmann::json FixtureManifest(const std::string& name) {
  std::ifstream in(std::string(VANDREL_FIXTURE_SRC_DIR) + "/" + name + ".manifest.json");
  return nlohmann::json::parse(in);
}

}  // namespace test
