// The disk-image fixtures are unpacked by the build: each image named by a manifest in
// tests/fixtures must be present in the fixture folder with the size its manifest gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class FixtureManifest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureManifest, UnpackedImageHasTheManifestSize) {
  const std::string name = GetParam();
  const std::filesystem::path manifest =
      std::filesystem::path(VANDREL_FIXTURE_SRC_DIR) / (name + ".manifest.json");
  const std::string text = ReadText(manifest);
  ASSERT_FALSE(text.empty()) << manifest;

  // "image": {"file": "<name>.img", ..., "size_bytes": N, ...}
  std::smatch image;
  ASSERT_TRUE(std::regex_search(text, image, std::regex(R"re("image":\s*\{([^}]*)\})re"))) << manifest;
  const std::string block = image[1].str();
  std::smatch file;
  ASSERT_TRUE(std::regex_search(block, file, std::regex(R"re("file":\s*"([^"]*)")re")));
  EXPECT_EQ(file[1].str(), name + ".img");
  std::smatch size;
  ASSERT_TRUE(std::regex_search(block, size, std::regex(R"re("size_bytes":\s*([0-9]+))re")));
  const std::uintmax_t expected = std::stoull(size[1].str());

  const std::filesystem::path unpacked = std::filesystem::path(VANDREL_FIXTURE_DIR) / (name + ".img");
  std::error_code ec;
  ASSERT_TRUE(std::filesystem::is_regular_file(unpacked, ec)) << unpacked;
  EXPECT_EQ(std::filesystem::file_size(unpacked, ec), expected) << unpacked;
  EXPECT_GT(expected, 0u);
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureManifest,
                         ::testing::Values("fat12", "fat16", "fat32", "fat16_4k", "ntfs", "lost", "carve"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
