#include "search/RecoveryNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Text.h"

namespace recovery {
namespace {

// An extension kept when a name is cut: the text from the last "." (not the first
// character), when it is this short.
constexpr std::size_t kMaxKeptExtension = 32;

// The longest prefix of `text` of at most `bytes` bytes that ends on a character
// boundary.
std::string CutUtf8(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return std::string(text);
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return std::string(text.substr(0, n));
}

// The extension of a name with its dot, or empty.
std::size_t ExtensionStart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxKeptExtension) return name.size();
  return dot;
}

bool IsUnsafeUnit(char16_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == u'/' || c == u'\\';
}

void StatOf(int fd, dev_t& dev, ino_t& ino) {
  struct stat st{};
  if (fstat(fd, &st) == 0) {
    dev = st.st_dev;
    ino = st.st_ino;
  } else {
    dev = 0;
    ino = 0;
  }
}

}  // namespace

std::string CleanPathPart(std::u16string_view part) {
  std::u16string safe(part);
  for (char16_t& c : safe)
    if (IsUnsafeUnit(c)) c = u'_';
  std::string out = platform::Utf16ToUtf8(safe);
  if (out.empty() || out == ".") return "_";
  if (out == "..") return "__";
  if (out.size() > kMaxNameBytes) {
    const std::size_t ext = ExtensionStart(out);
    const std::string extension = out.substr(ext);
    out = CutUtf8(std::string_view(out).substr(0, ext), kMaxNameBytes - extension.size()) + extension;
  }
  return out;
}

bool IsCleanPart(std::string_view part) {
  if (part.empty() || part == "." || part == ".." || part.size() > kMaxNameBytes) return false;
  for (char c : part) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

std::string NumberedName(const std::string& name, int n) {
  if (n <= 1) return name;
  const std::string suffix = " (" + std::to_string(n) + ")";
  const std::size_t ext = ExtensionStart(name);
  const std::string extension = name.substr(ext);
  const std::size_t room = kMaxNameBytes - suffix.size() - extension.size();
  return CutUtf8(std::string_view(name).substr(0, ext), room) + suffix + extension;
}

int NameHints::Next(dev_t dev, ino_t ino, const std::string& name) const {
  auto it = next_.find({{dev, ino}, name});
  return it == next_.end() ? 1 : it->second;
}

void NameHints::Taken(dev_t dev, ino_t ino, const std::string& name, int n) { next_[{{dev, ino}, name}] = n; }

int OpenFolderChain(int rootFd, const std::vector<std::string>& parts, std::vector<std::string>& used,
                    NameHints* hints) {
  used.clear();
  int current = fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
  if (current < 0) return -1;
  for (const std::string& part : parts) {
    if (!IsCleanPart(part)) {
      close(current);
      errno = EINVAL;
      return -1;
    }
    dev_t dev;
    ino_t ino;
    StatOf(current, dev, ino);
    int next = -1;
    int error = EEXIST;
    for (int n = hints ? hints->Next(dev, ino, part) : 1; n <= kMaxNameNumber; ++n) {
      const std::string name = NumberedName(part, n);
      if (mkdirat(current, name.c_str(), 0755) != 0 && errno != EEXIST) {
        error = errno;
        used.push_back(name);
        break;
      }
      // Only a real folder is entered: a link (ELOOP) or a file (ENOTDIR) under
      // this name makes the level take the next name.
      next = openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next >= 0) {
        used.push_back(name);
        if (hints && n > 1) hints->Taken(dev, ino, part, n);
        break;
      }
      error = errno;
      if (error != ELOOP && error != ENOTDIR) {
        used.push_back(name);
        break;
      }
    }
    close(current);
    if (next < 0) {
      errno = error;
      return -1;
    }
    current = next;
  }
  return current;
}

int CreateNewFile(int dirFd, const std::string& name, std::string& used, NameHints* hints, unsigned mode) {
  used.clear();
  if (!IsCleanPart(name)) {
    errno = EINVAL;
    return -1;
  }
  dev_t dev;
  ino_t ino;
  StatOf(dirFd, dev, ino);
  for (int n = hints ? hints->Next(dev, ino, name) : 1; n <= kMaxNameNumber; ++n) {
    const std::string candidate = NumberedName(name, n);
    const int fd = openat(dirFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      used = candidate;
      if (hints) hints->Taken(dev, ino, name, n + 1);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace recovery
