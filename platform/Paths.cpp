#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}
}  // namespace

std::string HomeDir() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string ConfigDir() {
  std::string dir = Env("VANDREL_CONFIG_DIR");
  if (!dir.empty()) return dir;
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty()) base = JoinPath(HomeDir(), ".config");
  return JoinPath(base, "Quenmar/Digital Vandrel Professional/5.0");
}

std::string DataHomeDir() {
  std::string base = Env("XDG_DATA_HOME");
  if (base.empty()) base = JoinPath(HomeDir(), ".local/share");
  return base;
}

std::string TempDir() {
  std::string dir = Env("TMPDIR");
  return dir.empty() ? std::string("/tmp") : dir;
}

std::string ProgramPath() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

bool MakeDirectories(const std::string& path, bool privateMode) {
  if (path.empty()) return false;
  struct stat st{};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t pos = 0;
  while (true) {
    pos = path.find('/', pos + 1);
    std::string part = path.substr(0, pos);
    if (!part.empty() && mkdir(part.c_str(), privateMode ? 0700 : 0755) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string MakePrivateTempDir(const std::string& prefix) {
  std::string templ = JoinPath(TempDir(), prefix + "XXXXXX");
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return {};
  return std::string(buf.data());
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace platform
