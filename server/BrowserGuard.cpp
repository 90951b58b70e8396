#include "server/BrowserGuard.h"

#include <algorithm>
#include <vector>

#include "util/Log.h"

namespace qb {
namespace {

// A header name character (an HTTP token character), or the separators of a
// list of them.
bool IsHeaderListChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return true;
  }
  return std::string_view("!#$%&'*+-.^_`|~, \t").find(c) != std::string_view::npos;
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

std::optional<std::string> GuardAnswer(const OriginPolicy& policy, const CReqParse& request) {
  if (!policy.AllowsAny()) {
    for (const std::string& origin : request.HeaderValues("Origin")) {
      if (!policy.Allows(origin)) {
        LogDebug("refused a request from origin \"" + origin.substr(0, 200) + "\"");
        return std::string(kForbiddenAnswer);
      }
    }
  }
  if (request.Method() != "OPTIONS") {
    return std::nullopt;
  }
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

}  // namespace qb
