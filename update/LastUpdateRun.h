// The summary of the last update run, kept between runs for --status:
// one line in $XDG_STATE_HOME/Tavrim/Quillbox/last-update-run, outside the
// data folder so that nothing the catalogue server sends can reach it.
//
// Thread contract: Record runs on the thread of the update run (one at a
// time); the file is replaced whole, so a reader sees the old or the new line.
#pragma once

#include <optional>
#include <string>

namespace qb {

std::string LastUpdateRunPath();

// Stores "<local time> <summary>"; a failure is logged and otherwise ignored.
void RecordLastUpdateRun(const std::string& summary);

// The stored line; nullopt when no run was recorded.
std::optional<std::string> ReadLastUpdateRun();

// True when the stored line `line` tells of a run that had failures.
bool LastUpdateRunFailed(const std::string& line);

}  // namespace qb
