#pragma once
// What the fuzz targets share: a check that aborts with its reason, and a private
// folder (on tmpfs where there is one) that every folder the program would write
// below points at (configuration, data, home, temporary files), so that a fuzz run
// never touches the user's own files: the settings' fall-back to the defaults
// registers the file association below $XDG_DATA_HOME, which is in here.

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Diagnostics.h"

namespace fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

// The private folder, made at the first call, with the environment pointed at it;
// removed at exit. Diagnostics of the platform layer are dropped (the targets
// provoke them on every input).
inline const std::string& Sandbox() {
  static const std::string dir = [] {
    namespace fs = std::filesystem;
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::error_code ec;
      if (!fs::is_directory(base, ec) || access(base, W_OK) != 0) continue;
      // A run that ended on a finding (abort) left its folder: those of processes
      // that no longer exist go now.
      const std::string prefix = "vandrel-fuzz-";
      for (const auto& e : fs::directory_iterator(base, ec)) {
        const std::string name = e.path().filename();
        if (name.rfind(prefix, 0) != 0) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
      }
      const std::string made = std::string(base) + "/" + prefix + std::to_string(getpid());
      fs::remove_all(made, ec);
      for (const char* sub : {"config", "data", "home", "tmp", "xdg-config"}) fs::create_directories(made + "/" + sub, ec);
      if (!fs::is_directory(made + "/tmp", ec)) continue;
      static std::string atExit;
      atExit = made;
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(atExit, ignored);
      });
      setenv("VANDREL_CONFIG_DIR", (made + "/config").c_str(), 1);
      setenv("XDG_DATA_HOME", (made + "/data").c_str(), 1);
      setenv("XDG_CONFIG_HOME", (made + "/xdg-config").c_str(), 1);
      setenv("HOME", (made + "/home").c_str(), 1);
      setenv("TMPDIR", (made + "/tmp").c_str(), 1);
      platform::SetDiagnosticSink([](const std::u16string&) {});
      return made;
    }
    std::abort();
  }();
  return dir;
}

// A folder of the sandbox emptied for one input.
inline std::string FreshFolder(const char* name) {
  const std::string path = Sandbox() + "/" + name;
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  std::filesystem::create_directories(path);
  return path;
}

}  // namespace fuzz
