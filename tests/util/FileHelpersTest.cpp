#include "util/FileHelpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

TEST(DirectoryPart, CutsAtTheLastSlash) {
  struct Row {
    const char* path;
    const char* expected;
  };
  const Row rows[] = {
      {"/a/b/c.png", "/a/b"}, {"/a", ""}, {"c.png", ""}, {"", ""}, {"a/b/", "a/b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(DirectoryPart(row.path), row.expected);
  }
}

TEST(CreateDirectories, CreatesMissingFoldersOnly) {
  qbtest::TempDir root;
  fs::create_directories(root.Path() + "/exists");
  qbtest::WriteFile(root.Path() + "/file", "x");
  struct Row {
    const char* name;
    std::string path;
    bool result;
    bool isDirectoryAfter;
  };
  const Row rows[] = {
      {"existing folder", root.Path() + "/exists", false, true},
      {"nested new folders", root.Path() + "/new/a/b", true, true},
      {"runs of slashes", root.Path() + "//x///y", true, true},
      {"below a file", root.Path() + "/file/sub", false, false},
      {"empty", "", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CreateDirectories(row.path), row.result);
    EXPECT_EQ(DirectoryExists(row.path), row.isDirectoryAfter);
  }
  EXPECT_FALSE(DirectoryExists(root.Path() + "/file"));
}

}  // namespace
}  // namespace qb
