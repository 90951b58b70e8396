// The report of `quillbox-server --status`, for users and support: the
// running instance (asked over the control channel), the configuration with
// the source of every value and its warnings, the catalogue (version, rows
// per table, a quick integrity check; opened read-only), the catalogue server
// (reachable, its version), the default CUPS destination and the page images
// print sessions hold, the display, the allowed origins and hosts, and the
// last update run. Each finding that keeps labels from appearing or printing
// is repeated under "Problems".
//
// Exit status: 0 a server runs and no problem was found; 2 a server runs
// and problems were found; 3 no server runs (whatever else was found).
//
// Thread contract: main thread only, with a QGuiApplication (the printer
// query needs one); it changes nothing on disk.
#pragma once

#include <string>

namespace qb {

inline constexpr int kStatusAllWell = 0;
inline constexpr int kStatusProblems = 2;
inline constexpr int kStatusNotRunning = 3;

struct StatusResult {
  std::string text;  // the whole report, line by line
  int exitStatus = kStatusNotRunning;
};

// Gathers the report now. A catalogue server that has not answered within
// `reachSeconds` counts as unreachable.
StatusResult MakeStatusReport(int reachSeconds = 10);

}  // namespace qb
