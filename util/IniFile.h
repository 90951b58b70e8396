// Reads and writes single values of an INI file in the form the desktop's settings
// tools write: "[Group]" lines, "key=value" lines, ";" or "#" comments. Keys
// and groups compare exactly; blanks around keys and values are dropped; the
// first matching key of the first matching group wins.
//
// Thread contract: stateless; the file is read afresh on every call. Writers
// are expected to take turns (the server writes from one thread).
#pragma once

#include <optional>
#include <string>

namespace qb {

// The value of `key` in `[group]` of the file at `path`; nullopt when the file
// cannot be read or holds no such key.
std::optional<std::string> ReadIniValue(const std::string& path, const std::string& group,
                                        const std::string& key);

// Sets `key` in `[group]` of the file at `path` to `value`: the first such
// line is replaced, or the key is added at the end of the group, or the group
// at the end of the file; every other line stays as it was. Missing folders
// and the file are created. The file is replaced whole (written beside it,
// then renamed), so a reader never sees half of it. False with the reason in
// `error` (may be null) when it cannot be written.
bool WriteIniValue(const std::string& path, const std::string& group, const std::string& key,
                   const std::string& value, std::string* error);

}  // namespace qb
