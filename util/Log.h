// One line per event on standard error (the journal when the server runs as a
// user service). Debug lines appear only after SetVerbose(true).
//
// Thread contract: any thread may log; each line is written with one call so
// that lines of different threads do not interleave. SetVerbose is meant to be
// called once at start-up.
#pragma once

#include <string_view>

namespace qb {

void SetVerbose(bool verbose);
bool IsVerbose();

void LogInfo(std::string_view message);
void LogError(std::string_view message);
void LogDebug(std::string_view message);

}  // namespace qb
