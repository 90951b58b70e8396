#include "util/StagedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"
#include "util/WriteBytesToFile.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) {
    ++count;
  }
  return count;
}

TEST(StagedFile, PublishesWholeUnderAFreeNameOnly) {
  qbtest::TempDir dir;
  const std::string taken = dir.Path() + "/taken.pdf";
  const std::string free = dir.Path() + "/free.pdf";
  qbtest::WriteFile(taken, "old");
  {
    Result<StagedFile> staged = StagedFile::Write(dir.Path(), "new", 3);
    ASSERT_TRUE(staged) << staged.Error();
    EXPECT_EQ(EntriesIn(dir.Path()), 2u);  // the hidden file waits beside the other
    EXPECT_EQ(staged->PublishNew(taken), NewFileResult::kExists);
    EXPECT_EQ(qbtest::ReadAll(taken), "old");
    EXPECT_EQ(staged->PublishNew(free), NewFileResult::kWritten);
  }
  EXPECT_EQ(qbtest::ReadAll(free), "new");
  EXPECT_EQ(EntriesIn(dir.Path()), 2u);  // nothing hidden is left behind
}

TEST(StagedFile, AnUnpublishedFileIsRemoved) {
  qbtest::TempDir dir;
  {
    Result<StagedFile> staged = StagedFile::Write(dir.Path(), "abc", 3);
    ASSERT_TRUE(staged);
    StagedFile moved(std::move(*staged));
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  }
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
  EXPECT_FALSE(StagedFile::Write(dir.Path() + "/missing", "abc", 3));
}

TEST(WriteBytesToFile, ReplacesWithoutLosingWhatTheOldFileHad) {
  qbtest::TempDir dir;
  const std::string plain = dir.Path() + "/plain.qx3";
  qbtest::WriteFile(plain, "old content");
  ASSERT_EQ(::chmod(plain.c_str(), 0600), 0);
  const std::string target = dir.Path() + "/target.qx3";
  const std::string link = dir.Path() + "/link.qx3";
  qbtest::WriteFile(target, "old target");
  fs::create_symlink(target, link);
  struct Row {
    const char* name;
    std::string path;
    std::string readBack;
  };
  const Row rows[] = {
      {"new file", dir.Path() + "/new.qx3", dir.Path() + "/new.qx3"},
      {"plain file keeps its permissions", plain, plain},
      {"a link is written through", link, target},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(WriteBytesToFile(row.path, "fresh", 5));
    EXPECT_EQ(qbtest::ReadAll(row.readBack), "fresh");
  }
  struct stat after {};
  ASSERT_EQ(::stat(plain.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 0777, 0600u);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(EntriesIn(dir.Path()), 4u);
  EXPECT_FALSE(WriteBytesToFile(dir.Path() + "/missing/x.qx3", "fresh", 5));
}

}  // namespace
}  // namespace qb
