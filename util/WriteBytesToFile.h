// Writes a saved document to its file.
//
// Thread contract: stateless; any thread.
#pragma once

#include <cstddef>
#include <string>

namespace qb {

// Writes `count` bytes to the file at `path`, replacing any earlier content.
// Nothing happens for an empty path, null bytes or a count of 0. True when
// all bytes were written; a failure is logged.
bool WriteBytesToFile(const std::string& path, const char* bytes, size_t count);

enum class NewFileResult { kWritten, kExists, kFailed };

// Writes `count` bytes to a new file at `path`; an existing file is left alone
// (kExists). A file that could not be written whole is removed again
// (kFailed, logged); so are empty paths and buffers.
NewFileResult WriteNewFile(const std::string& path, const char* bytes, size_t count);

}  // namespace qb
