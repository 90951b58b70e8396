#include "server/BrowserGuard.h"

#include <gtest/gtest.h>

#include "app/CAppData.h"
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

TEST(BrowserGuard, DecidesBeforeTheRoute) {
  const OriginPolicy any;
  const OriginPolicy listed = OriginPolicy::FromConfig("https://a.example", nullptr);
  const std::string forbidden(kForbiddenAnswer);
  const std::string preflight = kPreflightHead + kPreflightTail;
  const std::string preflightEcho =
      kPreflightHead + "Access-Control-Allow-Headers: content-type, x-a\r\n" + kPreflightTail;
  struct Row {
    const char* name;
    std::string request;
    std::optional<std::string> withAny;     // nullopt: the route runs
    std::optional<std::string> withListed;
  };
  const Row rows[] = {
      {"no Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\n\r\n", std::nullopt, std::nullopt},
      {"allowed Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://A.example\r\n\r\n",
       std::nullopt, std::nullopt},
      {"other Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n",
       std::nullopt, forbidden},
      {"empty Origin", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin:\r\n\r\n", std::nullopt, forbidden},
      {"null Origin not listed", "GET /dbAccess/LOG@1 HTTP/1.1\r\nOrigin: null\r\n\r\n",
       std::nullopt, forbidden},
      {"one of two Origin fields not allowed",
       "GET /x HTTP/1.1\r\nOrigin: https://a.example\r\nOrigin: https://b.example\r\n\r\n",
       std::nullopt, forbidden},
      {"Origin in the body is no header",
       "POST /dbAccess/LOG@1 HTTP/1.1\r\nContent-Length: 25\r\n\r\nOrigin: https://b.example",
       std::nullopt, std::nullopt},
      {"preflight", "OPTIONS /dbAccess/LOG@1 HTTP/1.1\r\n\r\n", preflight, preflight},
      {"preflight from the allowed origin",
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://a.example\r\n"
       "Access-Control-Request-Method: POST\r\n"
       "Access-Control-Request-Headers: content-type, x-a\r\n\r\n",
       preflightEcho, preflightEcho},
      {"preflight from another origin",
       "OPTIONS /x HTTP/1.1\r\nOrigin: https://b.example\r\n"
       "Access-Control-Request-Headers: content-type\r\n\r\n",
       kPreflightHead + "Access-Control-Allow-Headers: content-type\r\n" + kPreflightTail,
       forbidden},
      {"requested headers in two fields",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers: content-type\r\n"
       "access-control-request-headers: x-a\r\n\r\n",
       preflightEcho, preflightEcho},
      {"empty requested headers",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers:  \r\n\r\n", preflight, preflight},
      {"requested headers with a lone line feed",
       "OPTIONS /x HTTP/1.1\r\nAccess-Control-Request-Headers: a\nSet-Cookie: x\r\n\r\n",
       preflight, preflight},
      {"method case matters", "options /x HTTP/1.1\r\n\r\n", std::nullopt, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse request;
    request.Parse(row.request);
    EXPECT_EQ(GuardAnswer(any, request), row.withAny);
    EXPECT_EQ(GuardAnswer(listed, request), row.withListed);
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
  EXPECT_EQ(answer("Host: x\r\n\r\n"), kNotFoundAnswer);
  // Stopping keeps its answer whatever the origin.
  app.m_bStop.store(1);
  EXPECT_EQ(answer("GET /dbAccess/IMG_URL HTTP/1.1\r\nOrigin: https://b.example\r\n\r\n"),
            kNotFoundAnswer);
}

}  // namespace
}  // namespace qb
