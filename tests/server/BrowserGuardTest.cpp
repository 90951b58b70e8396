#include "server/BrowserGuard.h"

#include <gtest/gtest.h>

#include "context/CAppData.h"
#include "server/Dispatcher.h"
#include "server/RouteTable.h"

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
  EXPECT_EQ(kForbiddenAnswer,
            "HTTP/1.1 403 Forbidden\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n");
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

// The verdict as one comparable text: "pass", "pass unlisted <origin>",
// "ask <origin>", or the answer bytes.
std::string VerdictText(const GuardVerdict& verdict) {
  switch (verdict.kind) {
    case GuardVerdict::Kind::kPass:
      return verdict.unlisted ? "pass unlisted " + verdict.origin : "pass";
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
  const GuardContext withAny{any, hosts, false};
  const GuardContext headless{listed, hosts, false};
  const GuardContext asking{listed, hosts, true};
  const std::string forbidden(kForbiddenAnswer);
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
       "pass", "pass unlisted https://b.example", "ask https://b.example"},
      {"denied Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://d.example\r\n\r\n",
       "pass", forbidden, forbidden},
      {"empty Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin:\r\n\r\n", "pass", forbidden,
       forbidden},
      {"null Origin is never asked about", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: null\r\n\r\n",
       "pass", "pass unlisted null", "pass unlisted null"},
      {"one of two Origin fields denied",
       "GET /x HTTP/1.1\r\nOrigin: https://a.example\r\nOrigin: https://d.example\r\n\r\n",
       "pass", forbidden, forbidden},
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
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://d.example\r\n\r\n", preflight, forbidden,
       forbidden},
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
  EXPECT_EQ(app.m_pPrintMgr->Lookup(std::to_string(before + 1)), nullptr);
  const std::string id = std::to_string(before + 1);
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\nOrigin: https://a.example\r\n\r\nwidth=1"),
            SuccessAnswer(id));
  EXPECT_NE(app.m_pPrintMgr->Lookup(id), nullptr);
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\n\r\nwidth=1"),
            SuccessAnswer(std::to_string(before + 2)));
  // Other answers keep their bytes.
  EXPECT_EQ(answer("GET / HTTP/1.1\r\nOrigin: https://a.example\r\n\r\n"), kServerErrorAnswer);
  EXPECT_EQ(answer("Host: localhost\r\n\r\n"), kNotFoundAnswer);
  // A Host that is not this computer: nothing runs.
  EXPECT_EQ(answer("POST /print/init HTTP/1.1\r\nHost: evil.example\r\n\r\nwidth=1"),
            kForbiddenAnswer);
  EXPECT_EQ(app.m_pPrintMgr->Lookup(std::to_string(before + 3)), nullptr);
  // Stopping keeps its answer whatever the origin.
  app.RequestStop();
  EXPECT_EQ(answer("GET /dbAccess/IMG_URL HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n"),
            kNotFoundAnswer);
}

// Without a display, an origin nobody was asked about reads the catalogue and
// nothing else.
TEST(BrowserGuard, UnlistedOriginsOnlyReadTheCatalogue) {
  CAppData app;
  std::vector<std::string> reads;
  std::vector<std::string> others;
  for (const std::string_view text : kRouteTexts) {
    (RouteReadsCatalogue(static_cast<size_t>(RouteIndex(text))) ? reads : others)
        .emplace_back(text);
  }
  EXPECT_EQ(others, (std::vector<std::string>{
                        "print/init", "print/add", "print/end", "saveqx/save",
                        "dbAccess/UPDATE_DB", "dbAccess/SOZAI_DOWNLOAD", "dbAccess/TEMPLATE_DATA",
                        "dbAccess/TEMPLATE_DOWNLOAD", "dbAccess/LOG", "dbAccess/PICT_HISTORY"}));
  const auto answer = [&](const std::string& target, const char* origin) {
    CReqParse request;
    request.Parse("GET " + target + " HTTP/1.1\r\nOrigin: " + origin + "\r\n\r\n");
    return BuildAnswer(&app, &request);
  };
  const unsigned long long before = std::stoull(NextSessionId());
  EXPECT_EQ(answer("/print/init", "https://b.example"), kForbiddenAnswer);
  EXPECT_EQ(app.m_pPrintMgr->Lookup(std::to_string(before + 1)), nullptr);
  EXPECT_EQ(answer("/dbAccess/IMG_URL", "https://b.example"), SuccessAnswer(""));
  EXPECT_EQ(answer("/dbAccess/UPDATE_STATUS_DB", "https://b.example"),
            SuccessAnswer("V=0&M=100"));
  // Listed, it may do the rest.
  app.SetOriginPolicy(
      std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig("https://b.example", nullptr)));
  EXPECT_EQ(answer("/print/init", "https://b.example"), SuccessAnswer(std::to_string(before + 1)));
}

}  // namespace
}  // namespace qb
