#include "context/ConfiguredSites.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ConfigFolders.h"
#include "TempDir.h"
#include "context/CAppData.h"

namespace qb {
namespace {

// The user's file and one system-wide file.
class ConfiguredSitesTest : public ::testing::Test {
 protected:
  std::string UserFile() const { return m_folders.UserFile(); }
  std::string SystemFile() const { return m_folders.SystemFile(); }
  qbtest::ConfigFolders m_folders;
};

// The window's changes are SiteList's: the user's file is rewritten (an
// answer loses its mark), an origin only the system file lists is refused,
// and the running server is asked to read the lists again.
TEST_F(ConfiguredSitesTest, ChangesGoThroughTheSiteListAndReachTheRunningServer) {
  struct Row {
    const char* name;
    const char* user;    // the user's [Server] lines
    const char* system;  // the system file's [Server] lines
    bool remove;         // else switch
    bool allow;          // the switch's target
    bool succeeds;
    const char* userAfter;
  };
  const Row rows[] = {
      {"remove an answer", "allowedOrigins=https://a.example https://b.example\n"
                           "answeredOrigins=https://a.example\n",
       "", true, false, true,
       "[Server]\nallowedOrigins=https://b.example\nansweredOrigins=\n"},
      {"remove a denied site", "deniedOrigins=https://a.example:443\n", "", true, false, true,
       "[Server]\ndeniedOrigins=\n"},
      {"switch an answer to denied", "allowedOrigins=https://a.example\n"
                                     "answeredOrigins=https://a.example\n",
       "", false, false, true,
       "[Server]\nallowedOrigins=\nansweredOrigins=\ndeniedOrigins=https://a.example\n"},
      {"a system entry stays", "", "allowedOrigins=https://a.example\n", true, false, false, ""},
      {"nothing to remove", "allowedOrigins=https://b.example\n", "", true, false, false,
       "[Server]\nallowedOrigins=https://b.example\n"},
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
    EXPECT_EQ(std::filesystem::exists(UserFile()) ? qbtest::ReadAll(UserFile()) : "",
              row.userAfter);
    EXPECT_EQ(app.SitesReloadPending(), row.succeeds);
    EXPECT_EQ(sites.Sites(), SiteList::List());
  }
}

}  // namespace
}  // namespace qb
