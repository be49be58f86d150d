#pragma once
// Access to the disk-image fixtures unpacked by the build, and to their manifests
// (tests/fixtures/<name>.manifest.json, the truth the recipes recorded).

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/ByteOrder.h"

namespace test {

inline std::string FixtureImage(const std::string& name) { return std::string(VANDREL_FIXTURE_DIR) + "/" + name; }

inline nlohmann::json FixtureManifest(const std::string& name) {
  std::ifstream in(std::string(VANDREL_FIXTURE_SRC_DIR) + "/" + name + ".manifest.json");
  return nlohmann::json::parse(in);
}

// The name the FAT parser gives a manifest entry: its long name, else its 8.3 name
// in Windows-1252 with the NT case flags applied and, when deleted, '_' for the
// lost first character.
inline std::string FatListedName(const nlohmann::json& o) {
  if (!o["long_name"].is_null()) return o["long_name"].get<std::string>();
  std::string name = o["short_name_cp1252"].get<std::string>();
  if (o["state"] == "deleted" && !name.empty() && name[0] == '?') name[0] = '_';
  const int flags = o["nt_case_flags"].get<int>();
  const std::size_t dot = name.find('.');
  for (std::size_t i = 0; i < name.size(); ++i) {
    const bool inExtension = dot != std::string::npos && i > dot;
    if ((inExtension ? flags & 0x10 : flags & 0x08) && name[i] >= 'A' && name[i] <= 'Z') name[i] += 32;
  }
  return name;
}

// The "/"-separated path a parser lists a manifest entry under (FAT names as
// above; NTFS names as recorded). Folders above it are named as they were written,
// which holds for the fixtures' folders (all of them have long names).
inline std::string ListedPath(const nlohmann::json& o, bool fat) {
  const std::string parent = o["parent_path"].get<std::string>();
  return (parent == "/" ? "/" : parent + "/") + (fat ? FatListedName(o) : o["name"].get<std::string>());
}

// A disk image made of whole fixture images, each a primary partition of its own
// behind an MBR (the first at sector 2048, the others right after each other), so
// that what every partition holds is known from its fixture's manifest.
struct FixtureDiskPiece {
  std::string name;  // fixture name, "fat16"
  std::uint8_t type = 0;
  std::int64_t start = 0;  // sectors, set by MakeFixtureDisk
  std::int64_t sectors = 0;
};

inline bool MakeFixtureDisk(const std::string& path, std::vector<FixtureDiskPiece>& pieces) {
  if (pieces.size() > 4) return false;
  std::ofstream disk(path, std::ios::binary);
  std::vector<std::uint8_t> mbr(512);
  std::int64_t next = 2048;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    FixtureDiskPiece& p = pieces[i];
    std::ifstream in(FixtureImage(p.name + ".img"), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty() || bytes.size() % 512 != 0) return false;
    p.start = next;
    p.sectors = std::int64_t(bytes.size()) / 512;
    next += p.sectors;
    platform::LeWriter entry(mbr.data() + 446 + 16 * i, 16);
    entry.U8(4, p.type);
    entry.U32(8, std::uint32_t(p.start));
    entry.U32(12, std::uint32_t(p.sectors));
    disk.seekp(p.start * 512);
    disk.write(bytes.data(), std::streamsize(bytes.size()));
  }
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  disk.seekp(0);
  disk.write(reinterpret_cast<const char*>(mbr.data()), 512);
  return disk.good();
}

}  // namespace test
