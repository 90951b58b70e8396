#include "server/RequestTokens.h"

#include <gtest/gtest.h>

#include <vector>

namespace qb {
namespace {

std::vector<std::string> AllLines(std::string_view text) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  bool last = false;
  while (!last) {
    pieces.emplace_back(SplitLine(text, "\r\n", &pos, &last));
  }
  return pieces;
}

std::vector<std::string> AllTokens(std::string_view text, std::string_view separators) {
  std::vector<std::string> tokens;
  size_t pos = 0;
  for (std::string_view t = Tokenize(text, separators, &pos); !t.empty();
       t = Tokenize(text, separators, &pos)) {
    tokens.emplace_back(t);
  }
  return tokens;
}

// The same inputs through both tokenisers show their one difference: SplitLine
// keeps empty pieces, Tokenize folds runs of separators and drops the ends.
TEST(Tokenisers, SplitLineKeepsEmptyPiecesTokenizeNever) {
  struct Row {
    const char* name;
    std::string text;
    std::vector<std::string> lines;   // SplitLine at "\r\n"
    std::vector<std::string> tokens;  // Tokenize at "\r\n" (as a character set)
  };
  const Row rows[] = {
      {"request", "GET / HTTP/1.1\r\nHost: x\r\n\r\nbody",
       {"GET / HTTP/1.1", "Host: x", "", "body"},
       {"GET / HTTP/1.1", "Host: x", "body"}},
      {"empty text", "", {""}, {}},
      {"only separators", "\r\n\r\n", {"", "", ""}, {}},
      {"no separator", "abc", {"abc"}, {"abc"}},
      {"lone CR is not a separator for SplitLine", "a\rb", {"a\rb"}, {"a", "b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AllLines(row.text), row.lines);
    EXPECT_EQ(AllTokens(row.text, "\r\n"), row.tokens);
  }
}

TEST(Tokenize, FoldsRunsAndDropsPadding) {
  struct Row {
    const char* name;
    std::string text;
    std::string separators;
    std::vector<std::string> tokens;
  };
  const Row rows[] = {
      {"two blanks", "Content-Length:  120", " ", {"Content-Length:", "120"}},
      {"leading and trailing", "  a b  ", " ", {"a", "b"}},
      {"pairs", "a==b&&c", "&", {"a==b", "c"}},
      {"key and value", "a==b", "=", {"a", "b"}},
      {"base64 padding", "img=data:image/png;base64,AAA=", "=",
       {"img", "data:image/png;base64,AAA"}},
      {"only separators", "&&&", "&", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AllTokens(row.text, row.separators), row.tokens);
  }
}

TEST(UrlDecode, DecodesPercentPlusAndUtf8) {
  struct Row {
    const char* name;
    std::string token;
    std::string text;
  };
  const Row rows[] = {
      {"plain", "/dbAccess/LIST&P", "/dbAccess/LIST&P"},
      {"three-byte character", "%E3%81%82", "\xE3\x81\x82"},
      {"plus and encoded plus", "a+b%2Bc", "a b+c"},
      {"lowercase hex", "%2f%3a", "/:"},
      {"lone percent at end", "abc%", "abc%"},
      {"percent without hex", "%zz", "%zz"},
      {"one hex digit then non-hex", "%4z", "\x04"},
      {"one hex digit at end", "a%4", "a\x04"},
      {"encoded zero ends the text", "ab%00cd", "ab"},
      {"invalid UTF-8 becomes U+FFFD", "a%FFb", "a\xEF\xBF\xBD" "b"},
      {"raw UTF-8 passes", "\xE3\x81\x82", "\xE3\x81\x82"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(UrlDecode(row.token), row.text);
  }
}

}  // namespace
}  // namespace qb
