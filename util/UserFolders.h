// The per-user folders the server works in, following the XDG base directory
// rules: a variable that is unset, empty or not an absolute path falls back to
// its default below the home folder ($HOME, else the password database).
//
// Nothing is cached: every call reads the environment again, so each caller
// builds its paths afresh. No folder is created here.
//
// Thread contract: safe on any thread as long as nobody changes the
// environment while the server runs.
#pragma once

#include <string>
#include <vector>

namespace qb {

// The user's home folder, without a trailing "/".
std::string GetHomeFolder();

// $XDG_DATA_HOME (default ~/.local/share): the per-user application-data
// folder, answered by "dbAccess/DB_URL". Absolute, no trailing "/".
std::string GetAppDataFolder();

// The catalogue's data folder: GetAppDataFolder() + "/jp.co.tavrim.Pelloran.V3/data".
std::string GetDataFolder();

// $XDG_STATE_HOME (default ~/.local/state): state kept between runs that is
// not worth a backup. Absolute, no trailing "/".
std::string GetStateFolder();

// $XDG_CONFIG_HOME (default ~/.config), absolute, no trailing "/".
std::string GetConfigFolder();

// The server's configuration file: GetConfigFolder() + "/Tavrim/Quillbox.conf".
std::string GetConfigFile();

// The system-wide configuration folders of $XDG_CONFIG_DIRS, most important
// first; entries that are not absolute paths are skipped, and an unset or
// empty list gives /etc/xdg. No trailing "/".
std::vector<std::string> GetSystemConfigFolders();

}  // namespace qb
