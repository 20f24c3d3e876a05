#pragma once
// Where things live on Linux: the running program's file, the per-user data and configuration
// folders of the XDG base directory rules.
#include <string>

namespace platform {

// Full path of the running program (readlink of /proc/self/exe); empty when it cannot be read.
[[nodiscard]] std::string ExecutablePath();

// The program's file name without folder and extension ("/opt/dvo/bin/DVO.bin" -> "DVO").
[[nodiscard]] std::string ExecutableBaseName();

// Base name of a path: the part after the last '/', up to its last '.' (a leading dot is kept).
[[nodiscard]] std::string BaseNameWithoutExtension(const std::string& path);

// $XDG_DATA_HOME, default ~/.local/share: the per-user application-data folder. It is created
// with mode 0700 (and its missing parents) when missing. Empty when no home can be found or the
// folder does not exist afterwards.
[[nodiscard]] std::string AppDataDir();

// $XDG_CONFIG_HOME, default ~/.config. Not created.
[[nodiscard]] std::string ConfigHome();

// The user's home folder: $HOME, else the password database; empty when neither is known.
[[nodiscard]] std::string HomeDir();

// Creates the folder and its missing parents with the given mode; true when it exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode);

} // namespace platform
