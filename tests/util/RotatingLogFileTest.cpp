#include "util/RotatingLogFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace qb {
namespace {

// Each row appends its lines to a file bounded to `bound` bytes and expects
// what the file and the one older file beside it hold afterwards.
TEST(RotatingLogFile, KeepsTheNewestLinesWithinTwiceTheBound) {
  struct Row {
    const char* name;
    uint64_t bound;
    std::string before;  // the file's content before it is opened
    std::vector<std::string> lines;
    std::string current;
    std::string older;  // the ".1" file; empty: none
  };
  const Row rows[] = {
      {"below the bound nothing moves", 10, "", {"a\n", "b\n"}, "a\nb\n", ""},
      {"exactly the bound nothing moves", 4, "", {"ab\n", "c"}, "ab\nc", ""},
      {"past the bound the file moves aside", 6, "", {"one\n", "two\n"}, "two\n", "one\n"},
      {"the older file is replaced", 4, "", {"1\n", "2\n", "3\n", "4\n", "5\n"}, "5\n", "3\n4\n"},
      {"an existing file is appended to and counted", 8, "start\n", {"x\n", "more\n"}, "more\n",
       "start\nx\n"},
      {"a line longer than the bound is kept whole", 4, "", {"a\n", "long line\n", "b\n"},
       "b\n", "long line\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TempDir folder;
    const std::string path = folder.Path() + "/state/Tavrim/Quillbox/server.log";
    if (!row.before.empty()) {
      qbtest::WriteFile(path, row.before);
    }
    RotatingLogFile file(path, row.bound);
    ASSERT_TRUE(file.Open());
    for (const std::string& line : row.lines) {
      file.Append(line);
    }
    EXPECT_EQ(qbtest::ReadAll(path), row.current);
    EXPECT_EQ(qbtest::ReadAll(file.RotatedPath()), row.older);
  }
}

TEST(RotatingLogFile, IsPrivateToTheUserAndSaysWhyItCannotBeOpened) {
  qbtest::TempDir folder;
  RotatingLogFile file(folder.Path() + "/log/server.log", 100);
  ASSERT_TRUE(file.Open());
  struct stat info {};
  ASSERT_EQ(::stat(file.Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  qbtest::WriteFile(folder.Path() + "/plain", "a file, not a folder\n");
  RotatingLogFile blocked(folder.Path() + "/plain/server.log", 100);
  const Result<> opened = blocked.Open();
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.Error(), "cannot open " + blocked.Path() + " (Not a directory)");
  blocked.Append("dropped\n");  // a file that could not be opened takes nothing
}

}  // namespace
}  // namespace qb
