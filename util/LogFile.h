// Where the log lines (util/Log.h) are kept besides standard error: a server
// not run under the journal keeps them in a file of the user's, each line
// preceded by its local date and time, bounded as RotatingLogFile does.
//
// Thread contract: StartLogFile is called once at start-up, before other
// threads log; the other functions may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "util/Result.h"

namespace qb {

// True when standard error is the journal's stream: systemd then sets
// JOURNAL_STREAM to that stream's "device:inode".
bool StandardErrorIsJournal();

// The log file of a server not run under the journal:
// $XDG_STATE_HOME/Tavrim/Quillbox/quillbox-server.log.
std::string DefaultLogFile();
// The bound of one log file; with the one older file kept beside it
// ("<file>.1"), the log takes at most twice this much.
inline constexpr uint64_t kLogFileBytes = 1024 * 1024;

// From now on every line is also appended to `path`. Fails with the reason
// (lines then go to standard error only).
Result<> StartLogFile(const std::string& path, uint64_t maxBytes = kLogFileBytes);
// The file StartLogFile opened; empty when lines go to standard error only.
std::string LogFilePath();

}  // namespace qb
