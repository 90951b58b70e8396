#include "server/BrowserGuard.h"

#include <gtest/gtest.h>

#include <utility>

#include "context/CAppData.h"
#include "server/Dispatcher.h"

namespace qb {
namespace {

const std::string kPreflightHead =
    "HTTP/1.1 204 No Content\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n";
const std::string kPreflightTail =
    "Access-Control-Allow-Private-Network: true\r\n"
    "Connection: close\r\n"
    "\r\n";

TEST(BrowserGuard, AnswerBytesAreExact) {
  // The reason is readable by the page.
  for (const auto& [answer, reason] :
       {std::pair{kForbiddenAnswer, "not-allowed"}, std::pair{kDeniedAnswer, "denied"},
        std::pair{kWaitingAnswer, "waiting-for-user"}}) {
    EXPECT_EQ(answer, "HTTP/1.1 403 Forbidden\r\nAccess-Control-Allow-Origin: *\r\n"
                      "Access-Control-Expose-Headers: X-Quillbox-Refused\r\n"
                      "X-Quillbox-Refused: " + std::string(reason) +
                          "\r\nConnection: close\r\n\r\n");
  }
  struct Row {
    const char* name;
    std::string requested;
    std::string answer;
  };
  const Row rows[] = {
      {"no requested headers", "", kPreflightHead + kPreflightTail},
      {"one header", "content-type",
       kPreflightHead + "Access-Control-Allow-Headers: content-type\r\n" + kPreflightTail},
      {"a list as sent", "Content-Type, X-Requested-With",
       kPreflightHead + "Access-Control-Allow-Headers: Content-Type, X-Requested-With\r\n" +
           kPreflightTail},
      {"line break", "content-type\r\nSet-Cookie: a=b", kPreflightHead + kPreflightTail},
      {"lone line feed", "content-type\nX: y", kPreflightHead + kPreflightTail},
      {"lone carriage return", "content-type\rX: y", kPreflightHead + kPreflightTail},
      {"control byte", std::string("a\0b", 3), kPreflightHead + kPreflightTail},
      {"colon", "x:y", kPreflightHead + kPreflightTail},
      {"non-ASCII", "x-\xC3\xA9", kPreflightHead + kPreflightTail},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(PreflightAnswer(row.requested), row.answer);
  }
}

// The verdict as one comparable text: "pass", "ask <origin>", or the answer
// bytes.
std::string VerdictText(const GuardVerdict& verdict) {
  switch (verdict.kind) {
    case GuardVerdict::Kind::kPass:
      return "pass";
    case GuardVerdict::Kind::kAsk:
      return "ask " + verdict.origin;
    case GuardVerdict::Kind::kAnswer:
      break;
  }
  return verdict.answer;
}

TEST(BrowserGuard, DecidesBeforeTheRoute) {
  const auto any = std::make_shared<const OriginPolicy>(OriginPolicy::Any());
  const auto listed = std::make_shared<const OriginPolicy>(
      OriginPolicy::FromConfig("https://a.example", "https://d.example", nullptr));
  const auto hosts = std::make_shared<const HostPolicy>();
  const auto notAsking = std::make_shared<const OriginPolicy>(listed->WithAsking(false));
  const GuardContext withAny{any, hosts, false};
  const GuardContext headless{listed, hosts, false};
  const GuardContext asking{listed, hosts, true};
  const GuardContext askingOff{notAsking, hosts, true};
  const std::string forbidden(kForbiddenAnswer);
  const std::string denied(kDeniedAnswer);
  const std::string preflight = kPreflightHead + kPreflightTail;
  const std::string preflightEcho =
      kPreflightHead + "Access-Control-Allow-Headers: content-type, x-a\r\n" + kPreflightTail;
  const std::string preflightCt =
      kPreflightHead + "Access-Control-Allow-Headers: content-type\r\n" + kPreflightTail;
  struct Row {
    const char* name;
    std::string request;
    std::string withAny;
    std::string headless;
    std::string asking;
  };
  const Row rows[] = {
      {"no Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\n\r\n", "pass", "pass", "pass"},
      {"allowed Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://A.example\r\n\r\n",
       "pass", "pass", "pass"},
      {"unlisted Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://B.example:443\r\n\r\n",
       "pass", forbidden, "ask https://b.example"},
      {"denied Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://d.example\r\n\r\n",
       "pass", denied, denied},
      {"empty Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin:\r\n\r\n", "pass", forbidden,
       forbidden},
      {"null Origin is never asked about", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: null\r\n\r\n",
       "pass", forbidden, forbidden},
      {"one of two Origin fields denied",
       "GET /x HTTP/1.1\r\nOrigin: https://a.example\r\nOrigin: https://d.example\r\n\r\n",
       "pass", denied, denied},
      {"two unlisted origins",
       "GET /x HTTP/1.1\r\nOrigin: https://b.example\r\nOrigin: https://c.example\r\n\r\n",
       "pass", forbidden, forbidden},
      {"Origin in the body is no header",
       "POST /dbAccess/LOG@1 HTTP/1.1\r\nContent-Length: 25\r\n\r\nOrigin: https://b.example",
       "pass", "pass", "pass"},
      {"Host localhost with a port", "GET /x HTTP/1.1\r\nHost: localhost:3210\r\n\r\n", "pass",
       "pass", "pass"},
      {"Host of a rebound name",
       "GET /x HTTP/1.1\r\nHost: evil.example:3210\r\nOrigin: https://a.example\r\n\r\n",
       forbidden, forbidden, forbidden},
      {"two Host fields", "GET /x HTTP/1.1\r\nHost: localhost\r\nHost: localhost\r\n\r\n",
       forbidden, forbidden, forbidden},
      {"empty Host", "GET /x HTTP/1.1\r\nHost:\r\n\r\n", "pass", "pass", "pass"},
      {"Host in the body is no header",
       "POST /x HTTP/1.1\r\nContent-Length: 18\r\n\r\nHost: evil.example", "pass", "pass",
       "pass"},
      {"preflight", "OPTIONS /dbAccess/LOG@1 HTTP/1.1\r\n\r\n", preflight, preflight, preflight},
      {"preflight from the allowed origin",
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://a.example\r\n"
       "Access-Control-Request-Method: POST\r\n"
       "Access-Control-Request-Headers: content-type, x-a\r\n\r\n",
       preflightEcho, preflightEcho, preflightEcho},
      {"preflight from an unlisted origin asks nothing",
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://b.example\r\n"
       "Access-Control-Request-Headers: content-type\r\n\r\n",
       preflightCt, preflightCt, preflightCt},
      {"preflight from a denied origin",
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://d.example\r\n\r\n", preflight, denied,
       denied},
      {"requested headers in two fields",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers: content-type\r\n"
       "access-control-request-headers: x-a\r\n\r\n",
       preflightEcho, preflightEcho, preflightEcho},
      {"empty requested headers",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers:  \r\n\r\n", preflight, preflight,
       preflight},
      {"requested headers with a lone line feed",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers: a\nSet-Cookie: x\r\n\r\n",
       preflight, preflight, preflight},
      {"method case matters", "options /x HTTP/1.1\r\n\r\n", "pass", "pass", "pass"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse request;
    request.Parse(row.request);
    EXPECT_EQ(VerdictText(CheckRequest(withAny, request)), row.withAny);
    EXPECT_EQ(VerdictText(CheckRequest(headless, request)), row.headless);
    EXPECT_EQ(VerdictText(CheckRequest(asking, request)), row.asking);
    // With asking turned off, what would be asked is refused.
    EXPECT_EQ(VerdictText(CheckRequest(askingOff, request)),
              row.asking.starts_with("ask ") ? forbidden : row.asking);
  }
}

TEST(BrowserGuard, RefusedRequestsDoNoWork) {
  CAppData app;
  app.SetOriginPolicy(
      std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig("https://a.example", nullptr)));
  const auto answer = [&](const std::string& bytes) {
    CReqParse request;
    request.Parse(bytes);
    return BuildAnswer(&app, &request);
  };
  // A print/init that ran would take a session identifier and register a
  // session.
  const unsigned long long before = std::stoull(NextSessionId());
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\nOrigin: https://b.example\r\n\r\nwidth=1"),
            kForbiddenAnswer);
  EXPECT_EQ(app.PrintSessions().Lookup(std::to_string(before + 1)), nullptr);
  const std::string id = std::to_string(before + 1);
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\nOrigin: https://a.example\r\n\r\nwidth=1"),
            SuccessAnswer(id));
  EXPECT_NE(app.PrintSessions().Lookup(id), nullptr);
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\n\r\nwidth=1"),
            SuccessAnswer(std::to_string(before + 2)));
  // Other answers keep their bytes.
  EXPECT_EQ(answer("GET / HTTP/1.1\r\nOrigin: https://a.example\r\n\r\n"), kServerErrorAnswer);
  EXPECT_EQ(answer("Host: localhost\r\n\r\n"), kNotFoundAnswer);
  // A Host that is not this computer: nothing runs.
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\nHost: evil.example\r\n\r\nwidth=1"),
            kForbiddenAnswer);
  EXPECT_EQ(app.PrintSessions().Lookup(std::to_string(before + 3)), nullptr);
  // Stopping keeps its answer whatever the origin.
  app.RequestStop();
  EXPECT_EQ(answer("GET /dbAccess/IMG_URL HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n"),
            kNotFoundAnswer);
}

// Without a display, an origin the user has not allowed gets nothing: every
// route is refused and none of their work is done.
TEST(BrowserGuard, UnlistedOriginsGetNothingWithoutADisplay) {
  CAppData app;
  const unsigned long long before = std::stoull(NextSessionId());
  for (const std::string_view text : RouteTexts()) {
    SCOPED_TRACE(text);
    CReqParse request;
    request.Parse("GET /" + std::string(text) + "@a=1 HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n");
    EXPECT_EQ(BuildAnswer(&app, &request), kForbiddenAnswer);
  }
  EXPECT_EQ(app.PrintSessions().Lookup(std::to_string(before + 1)), nullptr);
  // Listed, it may use them.
  app.SetOriginPolicy(
      std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig("https://b.example", nullptr)));
  CReqParse request;
  request.Parse("GET /print/init HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n");
  EXPECT_EQ(BuildAnswer(&app, &request), SuccessAnswer(std::to_string(before + 1)));
}

}  // namespace
}  // namespace qb
