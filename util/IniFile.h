// Reads single values from an INI file in the form the desktop's settings
// tools write: "[Group]" lines, "key=value" lines, ";" or "#" comments. Keys
// and groups compare exactly; blanks around keys and values are dropped; the
// first matching key of the first matching group wins.
//
// Thread contract: stateless; the file is read afresh on every call.
#pragma once

#include <optional>
#include <string>

namespace qb {

// The value of `key` in `[group]` of the file at `path`; nullopt when the file
// cannot be read or holds no such key.
std::optional<std::string> ReadIniValue(const std::string& path, const std::string& group,
                                        const std::string& key);

}  // namespace qb
