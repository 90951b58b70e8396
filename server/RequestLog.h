// The debug line written once per answered request: method, path, status,
// body bytes and milliseconds, e.g. "GET /dbAccess/CHK_DB 200 1 bytes 3 ms".
// Only the request line is read from the request; bodies (page images,
// uploaded documents) and the query never reach the log.
//
// Thread contract: stateless; any connection thread may call it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "server/CReqParse.h"

namespace qb {

// The line for `request` (may be null) answered with the complete answer
// bytes `answer` after `elapsed`. Bytes outside printable ASCII in the method
// and path are written as \xNN, so a request cannot forge log lines; a long
// path is cut.
std::string FormatRequestLine(const CReqParse* request, std::string_view answer,
                              std::chrono::milliseconds elapsed);

// Writes that line at debug level (nothing unless --verbose), measuring from
// `started`.
void LogRequest(const CReqParse* request, std::string_view answer,
                std::chrono::steady_clock::time_point started);

}  // namespace qb
