#include "server/RequestLog.h"

#include <gtest/gtest.h>

#include "server/Dispatcher.h"

namespace qb {
namespace {

TEST(RequestLog, LineNamesMethodPathStatusBodyBytesAndTime) {
  struct Row {
    const char* name;
    std::string request;
    std::string answer;
    std::string line;
  };
  const std::string image(4000, 'A');
  const Row rows[] = {
      {"plain get", "GET /dbAccess/CHK_DB HTTP/1.1\r\n\r\n", SuccessAnswer("1"),
       "GET /dbAccess/CHK_DB 200 1 bytes 7 ms"},
      {"query and document left out",
       "POST /saveqx/save?name=secret.pdf HTTP/1.1\r\nContent-Length: 4\r\n\r\nAAAA",
       SuccessAnswer(""), "POST /saveqx/save 200 0 bytes 7 ms"},
      {"body left out",
       "POST /print/add HTTP/1.1\r\nContent-Length: 4021\r\n\r\nid=0&img=data:image/png;base64," +
           image,
       std::string(kServerErrorAnswer), "POST /print/add 500 0 bytes 7 ms"},
      {"not found", "GET / HTTP/1.1\r\n\r\n", std::string(kNotFoundAnswer),
       "GET / 404 0 bytes 7 ms"},
      {"control bytes and non-ASCII escaped", "GET /a%0Aquillbox-server:%20x%E3%81%82\\ HTTP/1.1\r\n\r\n",
       SuccessAnswer("xy"), "GET /a\\x0aquillbox-server: x\\xe3\\x81\\x82\\x5c 200 2 bytes 7 ms"},
      {"long path cut", "GET /dbAccess/SEARCH@usage=" + std::string(400, 'z') + " HTTP/1.1\r\n\r\n",
       SuccessAnswer(""),
       "GET /dbAccess/SEARCH@usage=" + std::string(300 - 23, 'z') + "... 200 0 bytes 7 ms"},
      {"no request line", "", std::string(kNotFoundAnswer), "- - 404 0 bytes 7 ms"},
      {"answer without a status", "GET /x HTTP/1.1\r\n\r\n", "garbage", "GET /x - 0 bytes 7 ms"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse request;
    request.Parse(row.request);
    const std::string line = FormatRequestLine(&request, row.answer, std::chrono::milliseconds(7));
    EXPECT_EQ(line, row.line);
    EXPECT_EQ(line.find("AAAA"), std::string::npos);
  }
  EXPECT_EQ(FormatRequestLine(nullptr, kNotFoundAnswer, std::chrono::milliseconds(0)),
            "- - 404 0 bytes 0 ms");
}

}  // namespace
}  // namespace qb
