#include "util/Log.h"

#include <gtest/gtest.h>

#include <string>

namespace qb {
namespace {

TEST(Log, EveryMessageStaysOnOneLine) {
  struct Row {
    const char* name;
    std::string message;
    std::string line;
  };
  const Row rows[] = {
      {"plain text is kept", "listening on port 3210", "quillbox-server: listening on port 3210\n"},
      {"UTF-8 is kept", "saved to /home/me/\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB.qx3",
       "quillbox-server: saved to /home/me/\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB.qx3\n"},
      {"a line break cannot forge a line", "bad value x\nquillbox-server: forged",
       "quillbox-server: bad value x\\x0aquillbox-server: forged\n"},
      {"other control bytes", std::string("a\r\tb\x1b[2J\x7f\0c", 11),
       "quillbox-server: a\\x0d\\x09b\\x1b[2J\\x7f\\x00c\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FormatLogLine("", row.message), row.line);
  }
  EXPECT_EQ(FormatLogLine("error: ", "x"), "quillbox-server: error: x\n");
}

}  // namespace
}  // namespace qb
