#pragma once
// Where the program keeps its files on Linux, and small path helpers.

#include <string>

namespace platform {

// $VANDREL_CONFIG_DIR, else $XDG_CONFIG_HOME (default ~/.config) followed by
// "Quenmar/Digital Vandrel Professional/5.0". Not created here.
std::string ConfigDir();
// $XDG_DATA_HOME, default ~/.local/share.
std::string DataHomeDir();
std::string HomeDir();
// $TMPDIR, else /tmp.
std::string TempDir();
// The running program's own path (/proc/self/exe).
std::string ProgramPath();

// Creates a folder and its missing parents (mode 0700 for new levels when
// `privateMode`, else 0755); true when the folder exists afterwards.
bool MakeDirectories(const std::string& path, bool privateMode = false);
// A new private folder (mkdtemp) below TempDir() whose name starts with `prefix`;
// empty on failure.
std::string MakePrivateTempDir(const std::string& prefix);

std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace platform
