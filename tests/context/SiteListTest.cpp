#include "context/SiteList.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "util/ConfigFiles.h"

namespace qb {
namespace {

class SiteListTest : public ::testing::Test {
 protected:
  std::string UserFile() const { return m_user.Path() + "/Tavrim/Quillbox.conf"; }
  std::string Value(const char* key) const {
    return ConfigFiles::ReadPaths({UserFile()}).Find("Server", key).value_or(ConfigEntry{}).value;
  }
  qbtest::TempDir m_user;
  qbtest::TempDir m_system;
  qbtest::ScopedEnv m_home{"XDG_CONFIG_HOME", m_user.Path()};
  qbtest::ScopedEnv m_dirs{"XDG_CONFIG_DIRS", m_system.Path()};
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

TEST_F(SiteListTest, AskingIsASwitchInTheUsersFile) {
  qbtest::WriteFile(UserFile(), "[Server]\nport=1\n");
  ASSERT_TRUE(SiteList::SetAsking(false));
  EXPECT_EQ(qbtest::ReadAll(UserFile()), "[Server]\nport=1\naskForNewSites=false\n");
  ASSERT_TRUE(SiteList::SetAsking(true));
  EXPECT_EQ(qbtest::ReadAll(UserFile()), "[Server]\nport=1\naskForNewSites=true\n");
}

}  // namespace
}  // namespace qb
