#include "server/BrowserGuard.h"

#include <algorithm>
#include <vector>

#include "server/RefusalLog.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr size_t kLoggedTextLimit = 200;

// A header name character (an HTTP token character), or the separators of a
// list of them.
bool IsHeaderListChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return true;
  }
  return std::string_view("!#$%&'*+-.^_`|~, \t").find(c) != std::string_view::npos;
}

std::string Shown(std::string_view text) {
  return "\"" + std::string(text.substr(0, kLoggedTextLimit)) + "\"";
}

GuardVerdict Refused(std::string_view answer = kForbiddenAnswer) {
  GuardVerdict verdict;
  verdict.kind = GuardVerdict::Kind::kAnswer;
  verdict.answer = std::string(answer);
  return verdict;
}

// The refusal for a Host header, or nullopt when the host may be served.
std::optional<GuardVerdict> CheckHost(const HostPolicy& hosts, const CReqParse& request) {
  const std::vector<std::string> values = request.HeaderValues("Host");
  if (values.size() > 1) {
    Refusals().Log("host fields", "refused a request with " + std::to_string(values.size()) +
                                      " Host header fields");
    return Refused();
  }
  if (values.empty() || values.front().empty() || hosts.Allows(values.front())) {
    return std::nullopt;
  }
  const std::string host = values.front().substr(0, kLoggedTextLimit);
  Refusals().Log("host " + host, "refused a request for host " + Shown(host) +
                                     ": not a name of this computer (names to serve as well go "
                                     "in [Server] allowedHosts of " + GetConfigFile() + ")");
  return Refused();
}

std::string PreflightFor(const CReqParse& request) {
  // A field given several times is one comma-separated list.
  std::string requested;
  for (const std::string& value : request.HeaderValues("Access-Control-Request-Headers")) {
    if (value.empty()) {
      continue;
    }
    if (!requested.empty()) {
      requested.append(", ");
    }
    requested.append(value);
  }
  return PreflightAnswer(requested);
}

}  // namespace

std::string PreflightAnswer(std::string_view requestedHeaders) {
  std::string answer(
      "HTTP/1.1 204 No Content\r\n"
      "Access-Control-Allow-Origin: *\r\n"
      "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n");
  const bool echo =
      !requestedHeaders.empty() &&
      std::all_of(requestedHeaders.begin(), requestedHeaders.end(), IsHeaderListChar);
  if (echo) {
    answer.append("Access-Control-Allow-Headers: ");
    answer.append(requestedHeaders);
    answer.append("\r\n");
  }
  answer.append(
      "Access-Control-Allow-Private-Network: true\r\n"
      "Connection: close\r\n"
      "\r\n");
  return answer;
}

GuardContext GuardContext::Of(const CAppData& app) {
  const CControlWindow* window = app.ControlWindow();
  return {app.GetOriginPolicy(), app.GetHostPolicy(), window != nullptr && window->AsksUser()};
}

GuardVerdict CheckRequest(const GuardContext& context, const CReqParse& request) {
  if (std::optional<GuardVerdict> refused = CheckHost(*context.hosts, request)) {
    return std::move(*refused);
  }
  std::optional<std::string> unlisted;
  for (const std::string& origin : request.HeaderValues("Origin")) {
    switch (context.origins->Standing(origin)) {
      case OriginStanding::kAllowed:
        break;
      case OriginStanding::kDenied:
        Refusals().Log("origin " + origin.substr(0, kLoggedTextLimit),
                       "refused a request from origin " + Shown(origin) +
                           (NormalizeOrigin(origin) ? ": listed in [Server] deniedOrigins"
                                                    : ": not an origin"));
        return Refused(NormalizeOrigin(origin) ? kDeniedAnswer : kForbiddenAnswer);
      case OriginStanding::kUnlisted: {
        std::string normal = NormalizeOrigin(origin).value_or(origin);
        if (unlisted && *unlisted != normal) {
          Refusals().Log("origin fields", "refused a request naming two origins");
          return Refused();
        }
        unlisted = std::move(normal);
        break;
      }
    }
  }
  GuardVerdict verdict;
  if (request.Method() == "OPTIONS") {
    // A preflight asks nothing of the user: the request it precedes does.
    verdict.kind = GuardVerdict::Kind::kAnswer;
    verdict.answer = PreflightFor(request);
    return verdict;
  }
  if (!unlisted) {
    return verdict;
  }
  verdict.origin = std::move(*unlisted);
  // "null" is shared by every sandboxed page and local file: no question
  // could tell them apart.
  if (verdict.origin == "null") {
    Refusals().Log("unlisted null",
                   "refused a request from origin \"null\" (sandboxed pages and local files): "
                   "served only when [Server] allowedOrigins of " + GetConfigFile() +
                       " lists null");
    return Refused();
  }
  if (!context.asksUser || !context.origins->AsksAboutNew()) {
    const std::string shown = Shown(verdict.origin);
    Refusals().Log(
        "unlisted " + verdict.origin.substr(0, kLoggedTextLimit),
        "refused a request from origin " + shown + ": not in [Server] allowedOrigins, and " +
            (context.asksUser ? "asking about new origins is turned off ([Server] "
                                "askForNewSites=false)"
                              : std::string("there is no display to ask the user on")) +
            "; add it to allowedOrigins in " + GetConfigFile() + " to let it use the server");
    return Refused();
  }
  verdict.kind = GuardVerdict::Kind::kAsk;
  return verdict;
}

}  // namespace qb
