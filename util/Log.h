// One line per event on standard error (the journal when the server runs as a
// user service). Debug lines appear only after SetVerbose(true). Control
// bytes in a message (line breaks above all) are written as \xNN, so text
// taken from requests, archives or the catalogue server never starts a line of
// its own.
//
// Thread contract: any thread may log; each line is written with one call so
// that lines of different threads do not interleave. SetVerbose is meant to be
// called once at start-up.
#pragma once

#include <string>
#include <string_view>

namespace qb {

// The program name that starts every line ("quillbox-server" unless set);
// meant to be called once at start-up.
void SetLogName(std::string_view name);
void SetVerbose(bool verbose);
bool IsVerbose();

void LogInfo(std::string_view message);
void LogWarning(std::string_view message);
void LogError(std::string_view message);
void LogDebug(std::string_view message);

// The line written for `message` at `level` ("", "warning: ", "error: ",
// "debug: ").
std::string FormatLogLine(std::string_view level, std::string_view message);

}  // namespace qb
