#pragma once
// Safe file and folder names for recovered objects, and the safe creation of the
// folders and files that hold them.
//
// Names come from the disk: anything may be in them. A cleaned part is one path
// component that the kernel takes literally: never empty, never "." or "..", no
// "/", "\", NUL or control characters, at most 255 bytes of UTF-8. Below the
// destination's descriptor every folder is opened with openat(O_NOFOLLOW |
// O_DIRECTORY) and every file created with O_NOFOLLOW | O_CREAT | O_EXCL, so a link
// planted in the destination never redirects a write and nothing is overwritten:
// a name already taken gives the next free one, "photo (2).jpg", "photo (3).jpg".

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace recovery {

// Largest file-name component Linux file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// How many numbered names are tried before giving up on a name.
constexpr int kMaxNameNumber = 100000;

// One path component, cleaned (see above) and converted to UTF-8. A part that is
// too long is cut at a character boundary, keeping a short extension.
std::string CleanPathPart(std::u16string_view part);
// True for a component that CleanPathPart could have made.
bool IsCleanPart(std::string_view part);
// The n-th name for a clean name: n 1 is the name itself, n 2 "photo (2).jpg"; still
// at most 255 bytes (the stem is cut to make room).
std::string NumberedName(const std::string& name, int n);

// The numbered names already seen taken, per folder and name, so that many
// objects of one name do not probe every earlier number again.
class NameHints {
 public:
  int Next(dev_t dev, ino_t ino, const std::string& name) const;
  void Taken(dev_t dev, ino_t ino, const std::string& name, int n);

 private:
  std::map<std::pair<std::pair<dev_t, ino_t>, std::string>, int> next_;
};

// Opens (creating where missing) the folders `parts` below `rootFd`, one level at a
// time. A level whose name is taken by something that is not a real folder (a
// file, a link) takes the next numbered name. Returns the descriptor of the last
// folder (the caller closes it; a dup of rootFd when `parts` is empty) and the
// names used in `used`; -1 with errno set on failure (`used` then holds the levels
// opened so far, the failing one last).
int OpenFolderChain(int rootFd, const std::vector<std::string>& parts, std::vector<std::string>& used,
                    NameHints* hints = nullptr);

// Creates a new file in `dirFd` for writing: `name`, else the first free numbered
// name. Returns the descriptor and the name used in `used`; -1 with errno set.
int CreateNewFile(int dirFd, const std::string& name, std::string& used, NameHints* hints = nullptr,
                  unsigned mode = 0644);

}  // namespace recovery
