#include "util/ConfigFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "TempDir.h"

namespace qb {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(WriteConfigValue, WritesOneValueAndKeepsEverythingElse) {
  struct Row {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    std::string after;
  };
  const Row rows[] = {
      {"no file", std::nullopt, "[Server]\nallowedOrigins=https://a.example\n"},
      {"empty file", "", "[Server]\nallowedOrigins=https://a.example\n"},
      {"replaces the value, keeps comments and other keys",
       "; mine\n[Server]\nport=3210\nallowedOrigins = http://old.example\n# end\n",
       "; mine\n[Server]\nport=3210\nallowedOrigins=https://a.example\n# end\n"},
      {"adds the key at the end of its group",
       "[Server]\nport=3210\n\n[Save]\nfolder=/x\n",
       "[Server]\nport=3210\nallowedOrigins=https://a.example\n\n[Save]\nfolder=/x\n"},
      {"adds the group after the others", "[Save]\nfolder=/x\n",
       "[Save]\nfolder=/x\n\n[Server]\nallowedOrigins=https://a.example\n"},
      {"a commented-out key stays", "[Server]\n;allowedOrigins=*\n",
       "[Server]\n;allowedOrigins=*\nallowedOrigins=https://a.example\n"},
      {"the same key in another group stays", "[Other]\nallowedOrigins=*\n[Server]\n",
       "[Other]\nallowedOrigins=*\n[Server]\nallowedOrigins=https://a.example\n"},
      {"names match as the reader matches them", "[server]\nALLOWEDORIGINS=*\n",
       "[server]\nallowedOrigins=https://a.example\n"},
      {"the key the reader reads, in a repeated group",
       "[Server]\nport=1\n[Save]\nfolder=/x\n[Server]\nallowedOrigins=*\n",
       "[Server]\nport=1\n[Save]\nfolder=/x\n[Server]\nallowedOrigins=https://a.example\n"},
      {"a missing key goes to the first group of that name",
       "[Server]\nport=1\n[Save]\nfolder=/x\n[Server]\nx=y\n",
       "[Server]\nport=1\nallowedOrigins=https://a.example\n[Save]\nfolder=/x\n[Server]\nx=y\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qbtest::TempDir dir;
    const std::string path = dir.Path() + "/Tavrim/Quillbox.conf";
    if (row.before) {
      qbtest::WriteFile(path, *row.before);
    }
    const Result<> written =
        WriteConfigValue(path, "Server", "allowedOrigins", "https://a.example");
    ASSERT_TRUE(written) << written.Error();
    EXPECT_EQ(ReadAll(path), row.after);
    const std::optional<ConfigEntry> read =
        ConfigFiles::ReadPaths({path}).Find("Server", "allowedOrigins");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->value, "https://a.example");
  }
}

TEST(WriteConfigValue, RefusesWhatWouldBreakTheFile) {
  qbtest::TempDir dir;
  const std::string path = dir.Path() + "/a.conf";
  qbtest::WriteFile(path, "[Server]\nport=1\n");
  ::chmod(path.c_str(), 0600);
  const Result<> refused = WriteConfigValue(path, "Server", "allowedOrigins", "a\nport=2");
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Error(), "the value holds a line break");
  EXPECT_EQ(ReadAll(path), "[Server]\nport=1\n");
  ASSERT_TRUE(WriteConfigValue(path, "Server", "x", "y"));
  struct stat info{};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // the file keeps its mode
  // A folder in the way that is a file.
  EXPECT_FALSE(WriteConfigValue(path + "/b.conf", "Server", "x", "y"));
}

TEST(WriteConfigValue, ALinkedFileIsWrittenAtItsTargetAndStaysLinked) {
  qbtest::TempDir dir;
  const std::string target = dir.Path() + "/dotfiles/quillbox.conf";
  const std::string link = dir.Path() + "/config/Quillbox.conf";
  qbtest::WriteFile(target, "[Server]\nport=1\n");
  std::filesystem::create_directories(dir.Path() + "/config");
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(WriteConfigValue(link, "Server", "x", "y"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadAll(target), "[Server]\nport=1\nx=y\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() + "/dotfiles"),
                          std::filesystem::directory_iterator()),
            1);  // nothing staged is left beside it
}

}  // namespace
}  // namespace qb
