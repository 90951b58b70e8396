// File-system helpers of the download code and the document writer: writing
// bytes to a file, testing for and creating folders, and cutting a path at its
// last "/".
//
// Paths are Linux paths ("/" separator), UTF-8.
//
// Thread contract: stateless; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// Writes `count` bytes to `path` in one write, replacing any earlier content.
// Nothing happens for an empty path, null bytes or a count of 0. Always 0:
// failures are not reported (they are logged).
int WriteBytesToFile(const std::string& path, const void* bytes, size_t count);

// True when `path` names an existing directory (symbolic links followed).
bool DirectoryExists(const std::string& path);

// Creates every missing folder of `path`, parents first. False for an empty
// path, for a path that already names a directory, and when a folder could not
// be created (folders made before the failure stay).
bool CreateDirectories(const std::string& path);

// The text before the last "/"; empty when there is none.
std::string DirectoryPart(std::string_view path);

}  // namespace qb
