// File-system helpers of the download code: testing for and creating
// folders, and cutting a path at its last "/".
//
// Paths are Linux paths ("/" separator), UTF-8.
//
// Thread contract: stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// True when `path` names an existing directory (symbolic links followed).
bool DirectoryExists(const std::string& path);

// Creates every missing folder of `path`, parents first. False for an empty
// path, for a path that already names a directory, and when a folder could not
// be created (folders made before the failure stay).
bool CreateDirectories(const std::string& path);

// The text before the last "/"; empty when there is none.
std::string DirectoryPart(std::string_view path);

}  // namespace qb
