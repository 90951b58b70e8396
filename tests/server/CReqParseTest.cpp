#include "server/CReqParse.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

struct Item {
  std::string name;
  std::vector<std::string> values;
  bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const CReqParse& parse) {
  std::vector<Item> items;
  for (size_t i = 0; i < parse.Params().Count(); ++i) {
    const ParamData& item = parse.Params().Item(i);
    items.push_back({item.m_strName, item.m_values});
  }
  return items;
}

void PrintTo(const Item& item, std::ostream* os) {
  *os << item.name << "[";
  for (const auto& v : item.values) *os << "'" << v << "'";
  *os << "]";
}

TEST(CReqParse, SplitsHeaderAndBodyIntoItems) {
  struct Row {
    const char* name;
    std::string request;
    std::vector<Item> items;
  };
  const Row rows[] = {
      {"request line", "GET /dbAccess/LIST&P HTTP/1.1\r\n\r\n",
       {{"GET", {"/dbAccess/LIST&P", "HTTP/1.1"}}}},
      {"header with two blanks", "GET / HTTP/1.1\r\nContent-Length:  120\r\n\r\n",
       {{"GET", {"/", "HTTP/1.1"}}, {"Content-Length:", {"120"}}}},
      {"form body", "POST /print/init HTTP/1.1\r\n\r\nwidth=210&height=297&orientation=0&printCopies=2",
       {{"POST", {"/print/init", "HTTP/1.1"}},
        {"width", {"210"}}, {"height", {"297"}}, {"orientation", {"0"}}, {"printCopies", {"2"}}}},
      {"base64 padding dropped", "POST /print/add HTTP/1.1\r\n\r\nimg=data:image/png;base64,AAA=",
       {{"POST", {"/print/add", "HTTP/1.1"}}, {"img", {"data:image/png;base64,AAA"}}}},
      {"runs of separators", "POST /print/end HTTP/1.1\r\n\r\na==b&&c",
       {{"POST", {"/print/end", "HTTP/1.1"}}, {"a", {"b"}}, {"c", {}}}},
      {"body tokens are not decoded", "POST /print/end HTTP/1.1\r\n\r\nk=a%20b+c",
       {{"POST", {"/print/end", "HTTP/1.1"}}, {"k", {"a%20b+c"}}}},
      {"invalid UTF-8 in a body token is cleaned", "POST /print/end HTTP/1.1\r\n\r\nk=a\xFF&z",
       {{"POST", {"/print/end", "HTTP/1.1"}}, {"k", {"a\xEF\xBF\xBD"}}, {"z", {}}}},
      {"the body of a route that reads no items is left alone",
       "POST /dbAccess/LIST&P HTTP/1.1\r\n\r\na=b&c", {{"POST", {"/dbAccess/LIST&P", "HTTP/1.1"}}}},
      {"header tokens are decoded", "GET /a%20b+c HTTP/1.1\r\n\r\n",
       {{"GET", {"/a b c", "HTTP/1.1"}}}},
      {"blank-only header line gives no item", "GET / HTTP/1.1\r\n   \r\nX: 1\r\n\r\n",
       {{"GET", {"/", "HTTP/1.1"}}, {"X:", {"1"}}}},
      {"text ends at a zero byte", std::string("GET /print/add HTTP/1.1\r\n\r\nk=v\0z=w", 34),
       {{"GET", {"/print/add", "HTTP/1.1"}}, {"k", {"v"}}}},
      {"no request line", "Host: x\r\n\r\n", {{"Host:", {"x"}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse parse;
    EXPECT_EQ(parse.Parse(row.request), !row.items.empty());
    EXPECT_EQ(Items(parse), row.items);
  }
}

TEST(CReqParse, CapsTheNumberOfFormItems) {
  struct Row {
    const char* name;
    size_t items;
    bool rejected;
  };
  const Row rows[] = {
      {"exactly the cap", kMaxFormItems, false},
      {"one over the cap", kMaxFormItems + 1, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string request = "POST /print/init HTTP/1.1\r\n\r\n";
    for (size_t i = 0; i < row.items; ++i) {
      request += "a&";
    }
    CReqParse parse;
    EXPECT_EQ(parse.Parse(request), !row.rejected);
    EXPECT_EQ(parse.IsRejected(), row.rejected);
    EXPECT_EQ(parse.Params().Count(), row.rejected ? 0 : row.items + 1);
  }
}

TEST(CReqParse, NothingToParseGivesNoItems) {
  CReqParse parse;
  EXPECT_FALSE(parse.Parse(""));
  EXPECT_FALSE(parse.Parse("\r\n\r\n"));
  EXPECT_FALSE(parse.Parse(std::string_view("\0GET / HTTP/1.1\r\n", 17)));
  EXPECT_FALSE(parse.IsRejected());
}

TEST(CReqParse, PathQueryAndQueryName) {
  struct Row {
    const char* name;
    std::string requestLine;
    std::string path;
    std::string query;
    std::string queryName;
  };
  const Row rows[] = {
      {"plain", "GET /dbAccess/LIST&P HTTP/1.1", "/dbAccess/LIST&P", "", ""},
      {"upload name", "POST /saveqx/save?name=a%20b.pdf HTTP/1.1", "/saveqx/save", "name=a b.pdf",
       "a b.pdf"},
      {"lowercase method", "get /x HTTP/1.1", "/x", "", ""},
      {"question mark at index 0", "GET ?x HTTP/1.1", "?x", "", ""},
      {"slash then question mark", "GET /?x HTTP/1.1", "/", "x", ""},
      {"last question mark counts", "GET /a?b?name=c HTTP/1.1", "/a?b", "name=c", "c"},
      {"nothing after the mark", "GET /a? HTTP/1.1", "/a", "", ""},
      {"name among other keys", "GET /s?x=1&&name=doc.qx3&y HTTP/1.1", "/s", "x=1&&name=doc.qx3&y",
       "doc.qx3"},
      {"key case matters", "GET /s?Name=a HTTP/1.1", "/s", "Name=a", ""},
      {"key without value", "GET /s?name&x=1 HTTP/1.1", "/s", "name&x=1", ""},
      {"value after doubled equals", "GET /s?name==v HTTP/1.1", "/s", "name==v", "v"},
      {"first piece with a value wins", "GET /s?name&name=b HTTP/1.1", "/s", "name&name=b", "b"},
      {"no request line", "Host: x", "", "", ""},
      {"request line without target", "GET", "", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse parse;
    // A one-byte body keeps the upload path's binary mode satisfied.
    ASSERT_TRUE(parse.Parse(row.requestLine + "\r\nContent-Length: 1\r\n\r\nx"));
    EXPECT_EQ(parse.GetPath(), row.path);
    EXPECT_EQ(parse.GetQuery(), row.query);
    EXPECT_EQ(parse.GetQueryName(), row.queryName);
  }
}

TEST(CReqParse, PathComesFromTheHeaderLinesOnly) {
  struct Row {
    const char* name;
    std::string request;
    std::string path;
  };
  const Row rows[] = {
      {"GET preferred over POST", "POST /post HTTP/1.1\r\nGET /get HTTP/1.1\r\n\r\n", "/get"},
      {"body field named get", "POST /print/add HTTP/1.1\r\n\r\nw=1&GET=/dbAccess/LIST&P", "/print/add"},
      {"body field named post without a request line", "Host: x\r\n\r\npost=/x", ""},
      {"body field longer than a target may be", "POST /a HTTP/1.1\r\n\r\nget=/" + std::string(600, 'b'),
       "/a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse parse;
    ASSERT_TRUE(parse.Parse(row.request));
    EXPECT_EQ(parse.GetPath(), row.path);
  }
}

TEST(CReqParse, ContentLength) {
  struct Row {
    const char* name;
    std::string header;
    int64_t length;
  };
  const Row rows[] = {
      {"missing", "", 0},
      {"plain", "Content-Length: 120\r\n", 120},
      {"name case ignored", "content-length: 7\r\n", 7},
      {"leading digits", "Content-Length: 12abc\r\n", 12},
      {"plus decodes to a blank", "Content-Length: +5\r\n", 0},
      {"encoded plus sign", "Content-Length: %2B5\r\n", 5},
      {"minus sign", "Content-Length: -5\r\n", -5},
      {"no digits", "Content-Length: abc\r\n", 0},
      {"no value", "Content-Length:\r\n", 0},
      {"no blank after colon", "Content-Length:120\r\n", 0},
      {"first of two", "Content-Length: 3\r\nContent-Length: 4\r\n", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse parse;
    ASSERT_TRUE(parse.Parse("GET / HTTP/1.1\r\n" + row.header + "\r\n"));
    EXPECT_EQ(parse.GetContentLength(), row.length);
  }
}

TEST(CReqParse, UploadTakesTheLastContentLengthBytes) {
  const std::string document("%PDF\0\r\n\xff", 8);
  const std::string request = "POST /saveqx/save?name=x.pdf HTTP/1.1\r\nContent-Length: 8\r\n\r\n" +
                              document;
  CReqParse parse;
  ASSERT_TRUE(parse.Parse(request));
  const ParamData* data = parse.FindItem("BinaryData");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->m_binary, document);
  EXPECT_EQ(parse.GetQueryName(), "x.pdf");
  // Body lines do not become form items in an upload.
  EXPECT_EQ(parse.FindItem("%PDF"), nullptr);
}

TEST(CReqParse, UploadTakesTheTailWhateverTheBodyLinesSay) {
  CReqParse parse;
  ASSERT_TRUE(parse.Parse("POST /saveqx/save HTTP/1.1\r\nContent-Length: 5\r\n\r\nab=cdHELLO"));
  ASSERT_NE(parse.FindItem("BinaryData"), nullptr);
  EXPECT_EQ(parse.FindItem("BinaryData")->m_binary, "HELLO");
}

TEST(CReqParse, UploadWithABadLengthGivesNoItems) {
  struct Row {
    const char* name;
    std::string lengthHeader;
  };
  const Row rows[] = {
      {"missing", ""},
      {"zero", "Content-Length: 0\r\n"},
      {"as long as the request", "Content-Length: 64\r\n"},
      {"longer than the request", "Content-Length: 9999\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string request = "POST /saveqx/save HTTP/1.1\r\n" + row.lengthHeader + "\r\nBODY";
    if (row.lengthHeader.find("64") != std::string::npos) {
      request.resize(64, 'x');
    }
    CReqParse parse;
    EXPECT_FALSE(parse.Parse(request));
    EXPECT_FALSE(parse.IsRejected());
  }
}

TEST(CReqParse, OverlongTargetIsRejectedOtherTokensAreCut) {
  const std::string fits = "/" + std::string(510, 'a');
  const std::string tooLong = "/" + std::string(511, 'a');
  {
    CReqParse parse;
    ASSERT_TRUE(parse.Parse("GET " + fits + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(parse.GetPath(), fits);
  }
  {
    CReqParse parse;
    EXPECT_FALSE(parse.Parse("GET " + tooLong + " HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(parse.IsRejected());
  }
  {
    // Counted in UTF-16 units after decoding: 300 three-byte characters fit.
    std::string encoded = "/";
    for (int i = 0; i < 300; ++i) encoded += "%E3%81%82";
    CReqParse parse;
    ASSERT_TRUE(parse.Parse("GET " + encoded + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(parse.GetPath().size(), 1u + 900u);
  }
  {
    CReqParse parse;
    ASSERT_TRUE(parse.Parse("GET /x HTTP/1.1\r\nCookie: " + std::string(600, 'c') + "\r\n\r\n"));
    EXPECT_FALSE(parse.IsRejected());
    EXPECT_EQ(parse.FindItem("Cookie:")->GetValue(), std::string(511, 'c'));
  }
}

TEST(CReqParse, KeepsTheMethodAndRawHeaderFields) {
  struct Row {
    const char* name;
    std::string request;
    std::string method;
    std::vector<std::string> origins;  // HeaderValues("Origin")
  };
  const Row rows[] = {
      {"plain field", "GET /x HTTP/1.1\r\nOrigin: https://a.example\r\n\r\n", "GET",
       {"https://a.example"}},
      {"name case and no blank after the colon",
       "OPTIONS /x HTTP/1.1\r\norigin:https://a.example\r\n\r\n", "OPTIONS",
       {"https://a.example"}},
      {"blanks and tabs around the value are dropped, inner ones kept",
       "GET /x HTTP/1.1\r\nOrigin: \t a b \t\r\n\r\n", "GET", {"a b"}},
      {"neither URL-decoded nor cut", "GET /x HTTP/1.1\r\nOrigin: %41" + std::string(600, 'o') +
       "\r\n\r\n", "GET", {"%41" + std::string(600, 'o')}},
      {"every field in order, empty values too",
       "GET /x HTTP/1.1\r\nOrigin: a\r\nHost: h\r\nORIGIN:\r\n\r\n", "GET", {"a", ""}},
      {"the request line is no field", "Origin: a\r\nOrigin: b\r\n\r\n", "Origin:", {"b"}},
      {"body lines are no fields", "POST /x HTTP/1.1\r\n\r\nOrigin: a", "POST", {}},
      {"blanks before the colon", "GET /x HTTP/1.1\r\nOrigin \t: a\r\n\r\n", "GET", {"a"}},
      {"no colon", "GET /x HTTP/1.1\r\nOrigin a\r\n\r\n", "GET", {}},
      {"leading blank line", "\r\nGET /x HTTP/1.1\r\nOrigin: a\r\n\r\n", "", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CReqParse parse;
    parse.Parse(row.request);
    EXPECT_EQ(parse.Method(), row.method);
    EXPECT_EQ(parse.HeaderValues("Origin"), row.origins);
  }
}

TEST(CReqParse, ParseReplacesEarlierItems) {
  CReqParse parse;
  ASSERT_TRUE(parse.Parse("OPTIONS /first HTTP/1.1\r\nA: 1\r\n\r\n"));
  ASSERT_TRUE(parse.Parse("GET /second HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(parse.GetPath(), "/second");
  EXPECT_EQ(parse.Find("A:"), -1);
  EXPECT_EQ(parse.Method(), "GET");
  EXPECT_TRUE(parse.HeaderValues("A").empty());
}

}  // namespace
}  // namespace qb
