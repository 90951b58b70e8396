#include "context/SiteList.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "ConfigFolders.h"
#include "TempDir.h"
#include "context/OriginPolicy.h"
#include "util/ConfigFiles.h"

namespace qb {
namespace {

class SiteListTest : public ::testing::Test {
 protected:
  std::string UserFile() const { return m_folders.UserFile(); }
  std::string SystemFile() const { return m_folders.SystemFile(); }
  std::string Value(const char* key) const {
    return ConfigFiles::ReadPaths({UserFile()}).Find("Server", key).value_or(ConfigEntry{}).value;
  }
  qbtest::ConfigFolders m_folders;
};

TEST_F(SiteListTest, AnswersMoveBetweenTheListsAndAreMarked) {
  qbtest::WriteFile(UserFile(), "[Server]\nport=1\nallowedOrigins=https://hand.example\n");
  struct Row {
    const char* name;
    const char* origin;
    bool allowed;
    const char* allowedList;
    const char* deniedList;
    const char* answers;
  };
  const Row rows[] = {
      {"allowed", "https://a.example", true, "https://hand.example https://a.example", "",
       "https://a.example"},
      {"denied", "https://d.example:8443", false, "https://hand.example https://a.example",
       "https://d.example:8443", "https://a.example https://d.example:8443"},
      {"changed to denied: off the allowed list", "https://a.example", false,
       "https://hand.example", "https://d.example:8443 https://a.example",
       "https://a.example https://d.example:8443"},
      {"a hand entry answered becomes an answer", "https://hand.example", true,
       "https://hand.example", "https://d.example:8443 https://a.example",
       "https://a.example https://d.example:8443 https://hand.example"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(SiteList::Remember(row.origin, row.allowed));
    EXPECT_EQ(Value("allowedOrigins"), row.allowedList);
    EXPECT_EQ(Value("deniedOrigins"), row.deniedList);
    EXPECT_EQ(Value("answeredOrigins"), row.answers);
  }
  EXPECT_EQ(Value("port"), "1");  // other keys stay
}

TEST_F(SiteListTest, RememberedDenialsAreBoundedOldestFirst) {
  // Two entries written by hand among answers at the bound.
  std::string denied = "https://hand1.example";
  std::string answers;
  for (size_t i = 0; i < kMaxRememberedDenials; ++i) {
    const std::string origin = "https://o" + std::to_string(i) + ".example";
    denied += " " + origin;
    answers += (answers.empty() ? "" : " ") + origin;
  }
  denied += " https://hand2.example";
  qbtest::WriteFile(UserFile(), "[Server]\ndeniedOrigins=" + denied + "\nansweredOrigins=" +
                                    answers + "\n");
  const size_t size = qbtest::ReadAll(UserFile()).size();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(SiteList::Remember("https://n" + std::to_string(i) + ".example", false));
  }
  const std::string list = Value("deniedOrigins");
  EXPECT_EQ(list.find("https://o0.example "), std::string::npos);
  EXPECT_EQ(list.find("https://o2.example "), std::string::npos);
  EXPECT_EQ(list.substr(0, 41), "https://hand1.example https://o3.example ");
  EXPECT_NE(list.find(" https://hand2.example https://n0.example https://n1.example "
                      "https://n2.example"),
            std::string::npos);
  // The file keeps its size: each new answer took the place of an old one.
  EXPECT_LE(qbtest::ReadAll(UserFile()).size(), size + 3);
}

TEST_F(SiteListTest, BothFilesApplyTheUsersFirst) {
  qbtest::WriteFile(UserFile(),
                    "[Server]\nallowedOrigins=https://a.example HTTP://Hand.example:80 bogus\n"
                    "deniedOrigins=https://d.example https://corp.example\n"
                    "answeredOrigins=https://a.example https://d.example\n");
  qbtest::WriteFile(SystemFile(), "[server]\nallowedOrigins=https://corp.example https://x.example "
                                  "https://a.example\ndeniedOrigins=https://evil.example "
                                  "https://x.example\n");
  const std::vector<SiteEntry> sites = SiteList::List();
  const std::vector<SiteEntry> expected = {
      {"https://a.example", true, SiteSource::kAnswer, UserFile()},
      {"http://hand.example", true, SiteSource::kUserFile, UserFile()},
      {"https://d.example", false, SiteSource::kAnswer, UserFile()},
      {"https://corp.example", false, SiteSource::kUserFile, UserFile()},
      // a.example and corp.example are the user's; in one file a denial wins.
      {"https://evil.example", false, SiteSource::kSystemFile, SystemFile()},
      {"https://x.example", false, SiteSource::kSystemFile, SystemFile()},
  };
  EXPECT_EQ(sites, expected);
  const OriginPolicy policy = SiteList::Policy(sites, true);
  struct Row {
    const char* origin;
    OriginStanding standing;
  };
  const Row rows[] = {
      {"https://a.example", OriginStanding::kAllowed},
      {"http://hand.example", OriginStanding::kAllowed},
      {"https://corp.example", OriginStanding::kDenied},  // the user's denial wins
      {"https://evil.example", OriginStanding::kDenied},  // the system's applies
      {"https://x.example", OriginStanding::kDenied},
      {"https://other.example", OriginStanding::kUnlisted},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.origin);
    EXPECT_EQ(policy.Standing(row.origin), row.standing);
  }
  EXPECT_TRUE(policy.AsksAboutNew());
  EXPECT_FALSE(SiteList::Policy(sites, false).AsksAboutNew());
}

TEST_F(SiteListTest, ForgetAndSetChangeOnlyTheUsersFile) {
  qbtest::WriteFile(UserFile(), "[Server]\nport=1\nallowedOrigins=https://a.example\n"
                                "deniedOrigins=https://d.example\n"
                                "answeredOrigins=https://a.example\n");
  qbtest::WriteFile(SystemFile(), "[Server]\nallowedOrigins=https://corp.example\n");
  const std::string system = qbtest::ReadAll(SystemFile());
  struct Row {
    const char* name;
    const char* origin;
    std::optional<SiteEntry> forgotten;
    const char* file;  // the user's file afterwards
  };
  const Row rows[] = {
      {"an answer", "https://a.example",
       SiteEntry{"https://a.example", true, SiteSource::kAnswer, UserFile()},
       "[Server]\nport=1\nallowedOrigins=\ndeniedOrigins=https://d.example\nansweredOrigins=\n"},
      {"an entry written by hand", "https://d.example",
       SiteEntry{"https://d.example", false, SiteSource::kUserFile, UserFile()},
       "[Server]\nport=1\nallowedOrigins=\ndeniedOrigins=\nansweredOrigins=\n"},
      {"listed by the system file only", "https://corp.example", std::nullopt,
       "[Server]\nport=1\nallowedOrigins=\ndeniedOrigins=\nansweredOrigins=\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result<std::optional<SiteEntry>> forgotten = SiteList::Forget(row.origin);
    ASSERT_TRUE(forgotten) << forgotten.Error();
    EXPECT_EQ(*forgotten, row.forgotten);
    EXPECT_EQ(qbtest::ReadAll(UserFile()), row.file);
  }
  // Switched by the user: the user's own entry, not an answer.
  ASSERT_TRUE(SiteList::Remember("https://b.example", false));
  ASSERT_TRUE(SiteList::Set("https://b.example", true));
  EXPECT_EQ(qbtest::ReadAll(UserFile()),
            "[Server]\nport=1\nallowedOrigins=https://b.example\ndeniedOrigins=\n"
            "answeredOrigins=\n");
  EXPECT_EQ(qbtest::ReadAll(SystemFile()), system);
}

TEST_F(SiteListTest, AskingIsASwitchInTheUsersFile) {
  qbtest::WriteFile(UserFile(), "[Server]\nport=1\n");
  ASSERT_TRUE(SiteList::SetAsking(false));
  EXPECT_EQ(qbtest::ReadAll(UserFile()), "[Server]\nport=1\naskForNewSites=false\n");
  ASSERT_TRUE(SiteList::SetAsking(true));
  EXPECT_EQ(qbtest::ReadAll(UserFile()), "[Server]\nport=1\naskForNewSites=true\n");
}

}  // namespace
}  // namespace qb
