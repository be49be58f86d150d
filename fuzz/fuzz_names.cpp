// The names a recovery makes from names read off a disk. The input is the first
// byte (what is already in the destination, below) and then path parts, each a
// length byte and that many UTF-16 units (little-endian); the last part is the
// file's name, the others its folders.
//
// Every cleaned part is one path component: never empty, "." or "..", no "/", "\"
// or NUL, at most 255 bytes of valid UTF-8; a part that needed nothing is kept as it
// was; cleaning a clean part changes nothing; every numbered form is clean too.
// The folders are then made and the file created, twice, below a destination on
// tmpfs, where the first byte has planted a link to a folder outside (bit 0, at the
// first part's name), a file (bit 1, at the second part's name) and a folder of
// the file's name (bit 2): whatever is made lies inside the destination, at the
// names the recovery reports, and nothing appears outside it.
//
// Seeds (fuzz/corpus/names) are folder paths and names as FAT and NTFS volumes
// made by mkfs.fat, mtools, mkntfs and ntfs-3g hold them (long names, 8.3 names,
// Unicode, names with characters Linux would read as path syntax), written by
// make_seeds.cpp.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Text.h"
#include "search/RecoveryNames.h"

namespace {

namespace fs = std::filesystem;

bool NeedsCleaning(std::u16string_view part) {
  if (part.empty() || part == u"." || part == u"..") return true;
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char16_t c = part[i];
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == u'/' || c == u'\\') return true;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= part.size() || part[i + 1] < 0xDC00 || part[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return platform::Utf16ToUtf8(part).size() > recovery::kMaxNameBytes;
}

void CheckClean(const std::string& part) {
  fuzz::Check(recovery::IsCleanPart(part), "a cleaned part is clean");
  fuzz::Check(!part.empty() && part != "." && part != ".." && part.size() <= recovery::kMaxNameBytes,
              "a cleaned part is one real component");
  fuzz::Check(part.find('/') == std::string::npos && part.find('\0') == std::string::npos, "no '/' and no NUL");
  fuzz::Check(platform::Utf16ToUtf8(platform::Utf8ToUtf16(part)) == part, "a cleaned part is valid UTF-8");
}

std::string FdPath(int fd) {
  char buf[PATH_MAX + 1];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), buf, PATH_MAX);
  return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 8192) return 0;
  const std::uint8_t plant = data[0];
  std::vector<std::u16string> raw;
  for (std::size_t at = 1; at < size && raw.size() < 12;) {
    const std::size_t n = data[at++];
    std::u16string part;
    for (std::size_t i = 0; i < n && at + 1 < size; ++i, at += 2) part.push_back(char16_t(data[at] | data[at + 1] << 8));
    raw.push_back(std::move(part));
  }
  if (raw.empty()) raw.emplace_back();

  std::vector<std::string> parts;
  for (const std::u16string& r : raw) {
    const std::string clean = recovery::CleanPathPart(r);
    CheckClean(clean);
    if (!NeedsCleaning(r)) fuzz::Check(clean == platform::Utf16ToUtf8(r), "a part that needs nothing is kept");
    fuzz::Check(recovery::CleanPathPart(platform::Utf8ToUtf16(clean)) == clean, "cleaning a clean part keeps it");
    for (int n : {2, 10, 99999, recovery::kMaxNameNumber}) CheckClean(recovery::NumberedName(clean, n));
    parts.push_back(clean);
  }
  const std::string fileName = parts.back();
  parts.pop_back();

  // The destination, with what the first byte plants in it, and a folder outside.
  const std::string base = fuzz::FreshFolder("names");
  const std::string dest = base + "/dest", outside = base + "/outside";
  fs::create_directories(dest);
  fs::create_directories(outside);
  std::error_code ec;
  if ((plant & 1) && !parts.empty()) fs::create_directory_symlink(outside, dest + "/" + parts[0], ec);
  if ((plant & 2) && !parts.empty()) {
    const std::string at = dest + "/" + (parts.size() > 1 && (plant & 1) ? parts[1] : parts[0]);
    const int fd = open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
  if (plant & 4) fs::create_directories(dest + "/" + fileName, ec);

  const int rootFd = open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fuzz::Check(rootFd >= 0, "open the destination");
  const std::string realDest = FdPath(rootFd);
  recovery::NameHints hints;
  std::vector<std::string> used;
  const int dirFd = recovery::OpenFolderChain(rootFd, parts, used, &hints);
  if (dirFd >= 0) {
    fuzz::Check(used.size() == parts.size(), "one folder per part");
    std::string expected = realDest;
    for (const std::string& u : used) {
      CheckClean(u);
      expected += "/" + u;
    }
    const std::string got = FdPath(dirFd);
    if (!got.empty()) fuzz::Check(got == expected, "the folders lie inside the destination at their names");
    std::string first, second;
    const int f1 = recovery::CreateNewFile(dirFd, fileName, first, &hints);
    const int f2 = recovery::CreateNewFile(dirFd, fileName, second, &hints);
    for (const auto& [fd, name] : {std::pair{f1, first}, std::pair{f2, second}}) {
      if (fd < 0) continue;
      CheckClean(name);
      const std::string file = FdPath(fd);
      if (!file.empty()) fuzz::Check(file == expected + "/" + name, "the file lies inside the destination at its name");
      struct stat st{};
      fuzz::Check(fstat(fd, &st) == 0 && S_ISREG(st.st_mode), "a regular file is made");
      close(fd);
    }
    if (f1 >= 0 && f2 >= 0) fuzz::Check(first != second, "a second file gets a name of its own");
    close(dirFd);
  }
  close(rootFd);
  fuzz::Check(fs::is_empty(outside), "nothing is made outside the destination");
  return 0;
}
