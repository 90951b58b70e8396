#include <gtest/gtest.h>

#include "TempDir.h"
#include "context/ServerConfig.h"
#include "util/CatalogueUrl.h"

namespace qb {
namespace {

// The user's file and two system-wide folders ($XDG_CONFIG_DIRS, the first
// more important).
class ServerConfigTest : public ::testing::Test {
 protected:
  std::string File(const std::string& folder) { return folder + "/Tavrim/Quillbox.conf"; }
  qbtest::TempDir m_user;
  qbtest::TempDir m_first;
  qbtest::TempDir m_second;
  qbtest::ScopedEnv m_home{"XDG_CONFIG_HOME", m_user.Path()};
  qbtest::ScopedEnv m_dirs{"XDG_CONFIG_DIRS",
                           m_first.Path() + ":relative/ignored:" + m_second.Path()};
};

TEST_F(ServerConfigTest, MostImportantFileHoldingAKeyGivesItsValue) {
  qbtest::WriteFile(File(m_user.Path()), "[Server]\nport=4001\n");
  qbtest::WriteFile(File(m_first.Path()), "[Catalogue]\nurl=http://first.example/\n");
  qbtest::WriteFile(File(m_second.Path()),
                    "[Catalogue]\nurl=http://second.example\nproxy=socks5h://proxy:1080\n"
                    "[Server]\nport=4002\n");
  const ServerConfig config = ServerConfig::Load();
  ASSERT_EQ(config.Files().Files().size(), 3u);
  EXPECT_EQ(config.Port(), 4001);
  EXPECT_EQ(config.CatalogueUrl(), "http://first.example");
  EXPECT_EQ(config.CatalogueUrlSource(), File(m_first.Path()));
  EXPECT_EQ(config.Proxy(), "socks5h://proxy:1080");
  EXPECT_TRUE(config.Warnings().empty());

  EXPECT_EQ(ServerConfig::Load("http://flag.example").CatalogueUrl(), "http://flag.example");
  EXPECT_EQ(ServerConfig::Load("http://flag.example").CatalogueUrlSource(), kSourceCommandLine);
}

TEST_F(ServerConfigTest, UnusableValueGivesTheDefaultNotALessImportantFile) {
  qbtest::WriteFile(File(m_user.Path()), "[Catalogue]\nurl=catalogue.example\n");
  qbtest::WriteFile(File(m_first.Path()), "[Catalogue]\nurl=http://first.example\n");
  const ServerConfig config = ServerConfig::Load();
  EXPECT_EQ(config.CatalogueUrl(), BuiltInCatalogueUrl());
  ASSERT_EQ(config.Warnings().size(), 1u);
  EXPECT_EQ(config.Warnings()[0].substr(0, File(m_user.Path()).size() + 3),
            File(m_user.Path()) + ":2:");
}

TEST_F(ServerConfigTest, TrayIconSwitch) {
  struct Row {
    const char* file;  // the user's file
    bool shown;
    size_t warnings;
  };
  const Row rows[] = {
      {"", true, 0},
      {"[Server]\ntrayIcon=false\n", false, 0},
      {"[Server]\ntrayIcon=No\n", false, 0},
      {"[Server]\ntrayIcon=0\n", false, 0},
      {"[Server]\ntrayIcon=true\n", true, 0},
      {"[Server]\ntrayIcon=maybe\n", true, 1},
  };
  for (const Row& row : rows) {
    qbtest::WriteFile(File(m_user.Path()), row.file);
    const ServerConfig config = ServerConfig::Load();
    EXPECT_EQ(config.TrayIcon(), row.shown) << row.file;
    EXPECT_EQ(config.Warnings().size(), row.warnings) << row.file;
  }
}

TEST_F(ServerConfigTest, BindAddressTexts) {
  struct Row {
    std::optional<std::string> value;
    std::optional<std::string> address;
  };
  const Row rows[] = {
      {std::nullopt, ""},
      {"  ", ""},
      {"localhost", ""},
      {"LocalHost", ""},
      {"10.0.0.1", "10.0.0.1"},
      {"[::1]", "::1"},
      {"::1", "::1"},
      {"0:0:0::1", "::1"},
      {"my-laptop", std::nullopt},
      {"127.0.0.1 ::1", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value.value_or("(unset)"));
    EXPECT_EQ(NormalizeBindAddress(row.value), row.address);
  }
}

}  // namespace
}  // namespace qb
