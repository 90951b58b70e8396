#include "util/Text.h"

#include <gtest/gtest.h>

#include <climits>

#include "TempDir.h"

namespace qb {
namespace {

TEST(Split, KeepsEveryPieceInOrder) {
  struct Row {
    const char* name;
    std::string text;
    std::string separator;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"no separator", "abc", "@", {"abc"}},
      {"empty text", "", "@", {""}},
      {"empty piece kept", "a@@b", "@", {"a", "", "b"}},
      {"trailing separator", "x&", "&", {"x", ""}},
      {"leading separator", "&x", "&", {"", "x"}},
      {"multi-character separator", "a\r\nb\r\n", "\r\n", {"a", "b", ""}},
      {"route path", "/dbAccess/TOP_GROUP@list&12", "@", {"/dbAccess/TOP_GROUP", "list&12"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Split(row.text, row.separator), row.pieces);
  }
}

TEST(Split, NullListOrEmptySeparatorDoesNothing) {
  std::vector<std::string> pieces{"kept"};
  Split(&pieces, "a@b", "");
  EXPECT_EQ(pieces, std::vector<std::string>{"kept"});
  Split(nullptr, "a@b", "@");  // must not crash
}

TEST(RepairedUtf8, DecodesAndReplacesInvalidSequences) {
  struct Row {
    const char* name;
    std::string bytes;
    std::string text;
  };
  const Row rows[] = {
      {"empty", "", ""},
      {"hiragana a", "\xE3\x81\x82", "\xE3\x81\x82"},
      {"stops at zero byte", std::string("ab\0cd", 5), "ab"},
      {"lone continuation", "a\x80z", "a\xEF\xBF\xBDz"},
      {"truncated sequence at end", "a\xE3\x81", "a\xEF\xBF\xBD"},
      {"truncated sequence before ASCII", "\xE3\x81z", "\xEF\xBF\xBDz"},
      {"overlong encoding", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate half", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"four-byte character", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RepairedUtf8(row.bytes), row.text);
    // Valid means: returned unchanged.
    EXPECT_EQ(IsValidUtf8(row.bytes), RepairedUtf8(row.bytes) == row.bytes);
  }
}

TEST(RepairedUtf8, LongAsciiRunsAroundAnInvalidByte) {
  // The ASCII scan goes eight bytes at a time; the bad byte sits at every
  // offset of a word once.
  for (size_t at = 0; at < 24; ++at) {
    SCOPED_TRACE(at);
    std::string bytes(24, 'a');
    bytes[at] = '\xff';
    std::string expected(24, 'a');
    expected.replace(at, 1, "\xEF\xBF\xBD");
    EXPECT_FALSE(IsValidUtf8(bytes));
    EXPECT_EQ(RepairedUtf8(bytes), expected);
  }
}

TEST(Utf16Length, CountsUnitsOfUtf8Text) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("abc"), 3u);
  EXPECT_EQ(Utf16Length("\xE3\x81\x82"), 1u);
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);
  EXPECT_EQ(Utf16Prefix("a\xF0\x9F\x98\x80", 2), "a");  // a pair is never split
  EXPECT_EQ(Utf16Prefix("a\xE3\x81\x82z", 2), "a\xE3\x81\x82");
}

TEST(LeadingInteger, ReadsSignAndLeadingDigits) {
  struct Row {
    const char* text;
    int64_t value;
    int value32;
  };
  const Row rows[] = {
      {"120", 120, 120},       {"-5", -5, -5},          {"+5", 5, 5},
      {"12abc", 12, 12},       {"abc", 0, 0},           {"", 0, 0},
      {" 5", 0, 0},            {"-", 0, 0},             {"4294967296", 4294967296, INT32_MAX},
      {"-99999999999999999999999", INT64_MIN + 1, INT32_MIN},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(LeadingInteger(row.text), row.value);
    EXPECT_EQ(LeadingInt32(row.text), row.value32);
  }
  EXPECT_EQ(LeadingInteger(SkipLeadingSpace(" \t\r\n7")), 7);
}

TEST(Trim, RemovesOnlyTheGivenBytesAtTheChosenEnds) {
  struct Row {
    const char* name;
    std::string_view text;
    std::string_view set;
    std::string_view both;  // Trim
    std::string_view end;   // TrimEnd
  };
  const Row rows[] = {
      {"nothing to remove", "a b", " \t", "a b", "a b"},
      {"blanks and tabs around", " \ta b\t ", " \t", "a b", " \ta b"},
      {"only the set", "\r a \n", " ", "\r a \n", "\r a \n"},
      {"line ends", "ok\r\n", "\r\n", "ok", "ok"},
      {"all of the set", " \t \t", " \t", "", ""},
      {"empty", "", " \t", "", ""},
      {"empty set", " a ", "", " a ", " a "},
      {"slashes", "//host:1//", "/", "host:1", "//host:1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Trim(row.text, row.set), row.both);
    EXPECT_EQ(TrimEnd(row.text, row.set), row.end);
  }
  EXPECT_EQ(TrimBlanks(" \t x y \t"), "x y");
  EXPECT_EQ(TrimBlanks("\rx\n"), "\rx\n");  // line breaks are no blanks
}

TEST(EqualsIgnoreCase, FoldsAsciiLettersOnly) {
  struct Row {
    const char* name;
    std::string_view a;
    std::string_view b;
    bool equal;
    bool prefix;  // StartsWithIgnoreCase(a, b)
  };
  const Row rows[] = {
      {"same", "Content-Length", "Content-Length", true, true},
      {"other case", "CONTENT-length", "content-LENGTH", true, true},
      {"empty", "", "", true, true},
      {"empty prefix", "POST", "", false, true},
      {"longer text", "POST /x", "post ", false, true},
      {"shorter text", "POS", "post", false, false},
      {"different letter", "GET", "GOT", false, false},
      // '@' and '`' sit next to the letters; only A-Z fold.
      {"neighbours of letters", "@[", "`{", false, false},
      {"non-ASCII bytes compare as they are", "\xC3\x89", "\xC3\xA9", false, false},
      {"same non-ASCII bytes", "\xC3\x89t\xC3\xA9", "\xC3\x89T\xC3\xA9", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(EqualsIgnoreCase(row.a, row.b), row.equal);
    EXPECT_EQ(EqualsIgnoreCase(row.b, row.a), row.equal);
    EXPECT_EQ(StartsWithIgnoreCase(row.a, row.b), row.prefix);
  }
}

TEST(AnsiToUtf8, KeepsAtMost260Units) {
  const std::string longPath(300, 'p');
  EXPECT_EQ(AnsiToUtf8(longPath), std::string(260, 'p'));
  EXPECT_EQ(AnsiToUtf8("/home/\xE3\x81\x82/.local/share"), "/home/\xE3\x81\x82/.local/share");
}

TEST(ReadFileAsHex, RendersEveryByteInLowercase) {
  qbtest::TempDir dir;
  const std::string path = dir.Path() + "/t.bin";
  qbtest::WriteFile(path, std::string("\x00\xAB\x10\xff", 4));
  EXPECT_EQ(ReadFileAsHex(path), "00ab10ff");
  qbtest::WriteFile(path, "");
  EXPECT_EQ(ReadFileAsHex(path), "");
  EXPECT_EQ(ReadFileAsHex(dir.Path() + "/missing"), "");
}

TEST(ReadFileAsHex, ReadsFilesLargerThanOneChunk) {
  qbtest::TempDir dir;
  const std::string path = dir.Path() + "/big.bin";
  qbtest::WriteFile(path, std::string(70000, '\x5a'));
  const std::string hex = ReadFileAsHex(path);
  ASSERT_EQ(hex.size(), 140000u);
  EXPECT_EQ(hex.find_first_not_of("5a"), std::string::npos);
}

}  // namespace
}  // namespace qb
