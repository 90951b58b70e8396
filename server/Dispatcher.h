// Turns a parsed request into its one answer: finds the first route whose text
// occurs in the path (case-sensitive, anywhere in the path, in table order),
// runs its work and frames the result.
//
// Answers: success "HTTP/1.1 200 OK" with the CORS header, "text/plain" and the
// body length; not found (no request, stopping, empty path) and server error
// (no route, failed work, missing argument text) without a body. Before any
// route runs, the browser checks (BrowserGuard.h) may answer instead: forbidden
// for a Host that is not this computer or an origin that is denied, the
// preflight answer for OPTIONS, forbidden for an origin the user has not
// allowed when nobody can be asked about it.
//
// Thread contract: BuildAnswer runs on any number of connection threads at
// once; it keeps no state between requests. The session counter is atomic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/CAppData.h"
#include "server/CReqParse.h"

namespace qb {

inline constexpr std::string_view kNotFoundAnswer =
    "HTTP/1.1 404 Not Found\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Connection: close\r\n"
    "\r\n";

inline constexpr std::string_view kServerErrorAnswer =
    "HTTP/1.1 500 Internal Server Error\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Connection: close\r\n"
    "\r\n";

// The success answer carrying `body`.
std::string SuccessAnswer(std::string_view body);

// A JSON answer ("application/json") with status line text `status`
// ("200 OK") carrying `body`.
std::string JsonAnswer(std::string_view status, std::string_view body);

// The text of the first route (in table order) that occurs in `path`
// ("dbAccess/SEARCH"); nullopt when none does.
std::optional<std::string_view> FindRoute(std::string_view path);

// Every route's text, in the order FindRoute tries them.
std::vector<std::string_view> RouteTexts();

// Decimal text of the process-wide session counter, which then goes up by one.
// The first identifier is "0"; print and save sessions share the counter.
std::string NextSessionId();

// The origin (compared form) the user is to be asked about before `request`
// is answered: an unlisted origin while the control window can ask. nullopt
// when no question is needed.
std::optional<std::string> OriginToAsk(const CAppData& app, const CReqParse& request);

// Requests the listener may answer itself instead of handing them to a
// worker: routes answered from the request alone, with no file, database,
// network or user involved, and a short answer. MightAnswerAtOnce is a cheap
// test of the raw request bytes (false: surely not; true: parse and ask
// AnswersAtOnce, the exact test).
bool MightAnswerAtOnce(std::string_view bytes);
bool AnswersAtOnce(const CReqParse& request);

// The complete answer bytes for `request` (null: not found). A request that
// needs the user's answer first (OriginToAsk) is refused.
std::string BuildAnswer(CAppData* app, const CReqParse* request);

}  // namespace qb
