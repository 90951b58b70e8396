// Writes a saved document to its file.
//
// Thread contract: stateless; any thread.
#pragma once

#include <cstddef>
#include <string>

namespace qb {

// Writes `count` bytes to the file at `path`, replacing any earlier content.
// Nothing happens for an empty path, null bytes or a count of 0. The new
// content takes the place of the old in one step, so a failed write leaves
// the old file as it was; only a file that cannot be replaced that way (a
// link, another owner's file, a folder the user may not write in) is
// rewritten in place. True when all bytes were written; a failure is logged.
bool WriteBytesToFile(const std::string& path, const char* bytes, size_t count);

}  // namespace qb
