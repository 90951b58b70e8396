#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "context/CAppData.h"
#include "context/ConfiguredSites.h"

namespace qb {
namespace {

// The user's file and one system-wide file.
class ConfiguredSitesTest : public ::testing::Test {
 protected:
  std::string UserFile() const { return m_user.Path() + "/Tavrim/Quillbox.conf"; }
  std::string SystemFile() const { return m_system.Path() + "/Tavrim/Quillbox.conf"; }
  qbtest::TempDir m_user;
  qbtest::TempDir m_system;
  qbtest::ScopedEnv m_home{"XDG_CONFIG_HOME", m_user.Path()};
  qbtest::ScopedEnv m_dirs{"XDG_CONFIG_DIRS", m_system.Path()};
};

TEST_F(ConfiguredSitesTest, ListsEachEntryWithItsFileAndWhetherTheUserMayChangeIt) {
  qbtest::WriteFile(UserFile(), "[Server]\nallowedOrigins=https://a.example HTTPS://B.example:443\n");
  qbtest::WriteFile(SystemFile(),
                    "[Server]\nallowedOrigins=https://ignored.example\n"
                    "deniedOrigins=https://bad.example\n");
  CAppData app;
  const std::vector<SiteEntry> sites = ConfiguredSites(&app).Sites();
  ASSERT_EQ(sites.size(), 3u);
  EXPECT_EQ(sites[0].origin, "https://a.example");
  EXPECT_EQ(sites[1].origin, "https://b.example");
  EXPECT_TRUE(sites[1].allowed && sites[1].editable);
  EXPECT_EQ(sites[1].source, UserFile());
  EXPECT_EQ(sites[2].origin, "https://bad.example");
  EXPECT_FALSE(sites[2].allowed || sites[2].editable);
  EXPECT_EQ(sites[2].source, SystemFile());
}

TEST_F(ConfiguredSitesTest, ChangesRewriteTheUserFileAndTheRunningPolicy) {
  struct Row {
    const char* name;
    const char* user;    // the user's [Server] lines
    const char* system;  // the system file's [Server] lines
    bool remove;         // else switch
    bool allow;          // the switch's target
    bool succeeds;
    const char* userAfter;
    OriginStanding standing;  // of https://a.example afterwards
  };
  const Row rows[] = {
      {"remove an allowed site", "allowedOrigins=https://a.example https://b.example\n", "",
       true, false, true, "[Server]\nallowedOrigins=https://b.example\n",
       OriginStanding::kUnlisted},
      {"remove a denied site", "deniedOrigins=https://a.example:443\n", "", true, false, true,
       "[Server]\ndeniedOrigins=\n", OriginStanding::kUnlisted},
      {"switch to denied", "allowedOrigins=https://a.example\n", "", false, false, true,
       "[Server]\nallowedOrigins=\ndeniedOrigins=https://a.example\n", OriginStanding::kDenied},
      {"switch to allowed",
       "allowedOrigins=*\ndeniedOrigins=https://a.example\n",
       "deniedOrigins=https://c.example\n", false, true, true,
       "[Server]\nallowedOrigins=* https://a.example\ndeniedOrigins=\n",
       OriginStanding::kAllowed},
      {"a system entry stays", "", "allowedOrigins=https://a.example\n", true, false, false, "",
       OriginStanding::kAllowed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(UserFile());
    if (*row.user != '\0') {
      qbtest::WriteFile(UserFile(), std::string("[Server]\n") + row.user);
    }
    qbtest::WriteFile(SystemFile(), std::string("[Server]\n") + row.system);
    CAppData app;
    ConfiguredSites sites(&app);
    const Result<> changed =
        row.remove ? sites.Remove("https://a.example") : sites.Switch("https://a.example", row.allow);
    EXPECT_EQ(static_cast<bool>(changed), row.succeeds);
    EXPECT_EQ(qbtest::ReadAll(UserFile()), row.userAfter);
    if (row.succeeds) {
      EXPECT_EQ(app.GetOriginPolicy()->Standing("https://a.example"), row.standing);
    }
  }
}

}  // namespace
}  // namespace qb
