// Resolving paths that come from requests or from the catalogue server so that
// they can never reach outside a given folder.
//
// Thread contract: stateless; reads the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qb {

// The path `path` names when taken relative to `folder` (an absolute `path`
// is taken as it is), with ".." and symbolic links resolved; nullopt when the
// result lies outside `folder` (after resolving its own links) or `folder`
// does not exist. The file itself need not exist.
std::optional<std::string> ResolveInsideFolder(const std::string& folder, std::string_view path);

}  // namespace qb
