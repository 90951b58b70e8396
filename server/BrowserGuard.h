// The checks a request passes before its route runs, so that only this
// computer's own pages and programs, and the web origins the user allowed,
// are served:
//  - a Host header must name this computer (HostPolicy): a page whose own
//    name was pointed at this computer gets the forbidden answer;
//  - an Origin header names the page's origin: an allowed one passes, a
//    denied one gets the forbidden answer, and an unlisted one is asked about
//    when the user can be asked (the caller holds the request meanwhile) and
//    otherwise gets the forbidden answer on every route;
//  - a CORS preflight (an OPTIONS request) is answered here, so that browsers
//    that ask before sending to a local address keep working.
// A request without Origin (a local program) passes. Refusals are logged
// through the refusal log (at most once a minute per cause).
//
// Thread contract: stateless; any number of connection threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "context/CAppData.h"
#include "context/HostPolicy.h"
#include "context/OriginPolicy.h"
#include "server/CReqParse.h"

namespace qb {

// The text of a forbidden answer naming `reason` in X-Quillbox-Refused,
// built at compile time so that the forbidden answers differ in that line
// only.
template <size_t N>
struct ForbiddenAnswerText {
  static constexpr std::string_view kHead =
      "HTTP/1.1 403 Forbidden\r\n"
      "Access-Control-Allow-Origin: *\r\n"
      "Access-Control-Expose-Headers: X-Quillbox-Refused\r\n"
      "X-Quillbox-Refused: ";
  static constexpr std::string_view kTail =
      "\r\n"
      "Connection: close\r\n"
      "\r\n";

  consteval explicit ForbiddenAnswerText(const char (&reason)[N]) {
    size_t at = 0;
    for (const std::string_view part : {kHead, std::string_view(reason, N - 1), kTail}) {
      for (const char c : part) {
        text[at++] = c;
      }
    }
  }
  constexpr std::string_view View() const { return {text, sizeof text}; }

  char text[kHead.size() + N - 1 + kTail.size()] = {};
};

// The forbidden answers. Each names its reason in X-Quillbox-Refused (which a
// page may read) so that the page can tell its user what to do:
//  - not-allowed: the origin is not allowed and nobody is asked about it
//    now, or the request is refused for another reason (its Host, its
//    connection);
//  - denied: the origin is denied;
//  - waiting-for-user: the user has not answered the question about it yet.
inline constexpr ForbiddenAnswerText kForbiddenText("not-allowed");
inline constexpr ForbiddenAnswerText kDeniedText("denied");
inline constexpr ForbiddenAnswerText kWaitingText("waiting-for-user");
inline constexpr std::string_view kForbiddenAnswer = kForbiddenText.View();
inline constexpr std::string_view kDeniedAnswer = kDeniedText.View();
inline constexpr std::string_view kWaitingAnswer = kWaitingText.View();

// The preflight answer. `requestedHeaders` (the Access-Control-Request-Headers
// value) is echoed in Access-Control-Allow-Headers when it is a plain list of
// header names; an empty list, or one holding anything else (line breaks,
// control or non-ASCII bytes), leaves that header out.
std::string PreflightAnswer(std::string_view requestedHeaders);

// What the checks go by: the policies of the current listening cycle and
// whether the user can be asked (a display is available; the origin policy
// may still have asking turned off).
struct GuardContext {
  std::shared_ptr<const OriginPolicy> origins;
  std::shared_ptr<const HostPolicy> hosts;
  bool asksUser = false;

  static GuardContext Of(const CAppData& app);
};

struct GuardVerdict {
  enum class Kind {
    kPass,    // the route runs
    kAnswer,  // `answer` is sent instead of running the route
    kAsk,     // the user is to be asked about `origin` first
  };
  Kind kind = Kind::kPass;
  std::string answer;
  std::string origin;  // kAsk: the origin (compared form)
};

GuardVerdict CheckRequest(const GuardContext& context, const CReqParse& request);

}  // namespace qb
