// The checks a request passes before its route runs, for requests that come
// from web pages: a request whose Origin header names an origin the
// configuration does not allow gets the forbidden answer and nothing else is
// done; a CORS preflight (an OPTIONS request) is answered here so that
// browsers that ask before sending to a local address keep working. A request
// without an Origin header (a local program) passes.
//
// Thread contract: stateless; any number of connection threads at once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/OriginPolicy.h"
#include "server/CReqParse.h"

namespace qb {

inline constexpr std::string_view kForbiddenAnswer =
    "HTTP/1.1 403 Forbidden\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Connection: close\r\n"
    "\r\n";

// The preflight answer. `requestedHeaders` (the Access-Control-Request-Headers
// value) is echoed in Access-Control-Allow-Headers when it is a plain list of
// header names; an empty list, or one holding anything else (line breaks,
// control or non-ASCII bytes), leaves that header out.
std::string PreflightAnswer(std::string_view requestedHeaders);

// The answer the checks give `request` themselves: the forbidden answer when
// one of its Origin headers is not allowed by `policy`, else the preflight
// answer to an OPTIONS request; nullopt when the request goes to its route.
std::optional<std::string> GuardAnswer(const OriginPolicy& policy, const CReqParse& request);

}  // namespace qb
