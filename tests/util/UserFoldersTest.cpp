#include "util/UserFolders.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace qb {
namespace {

TEST(UserFolders, FollowTheXdgVariablesAndTheirDefaults) {
  qbtest::ScopedEnv home("HOME", "/home/tester");
  {
    qbtest::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    qbtest::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(GetAppDataFolder(), "/home/tester/.local/share");
    EXPECT_EQ(GetDataFolder(), "/home/tester/.local/share/jp.co.tavrim.Pelloran.V3/data");
    EXPECT_EQ(GetConfigFile(), "/home/tester/.config/Tavrim/Quillbox.conf");
  }
  {
    qbtest::ScopedEnv data("XDG_DATA_HOME", "/srv/data/");
    qbtest::ScopedEnv config("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(GetAppDataFolder(), "/srv/data");
    EXPECT_EQ(GetConfigFile(), "/srv/conf/Tavrim/Quillbox.conf");
  }
  {
    // Relative values are not valid XDG folders and fall back to the default.
    qbtest::ScopedEnv data("XDG_DATA_HOME", "relative/data");
    qbtest::ScopedEnv config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(GetAppDataFolder(), "/home/tester/.local/share");
    EXPECT_EQ(GetConfigFolder(), "/home/tester/.config");
  }
}

TEST(UserFolders, StateFolderAndSystemConfigurationFolders) {
  qbtest::ScopedEnv home("HOME", "/home/tester");
  struct Row {
    std::optional<std::string> dirs;
    std::vector<std::string> folders;
  };
  const Row rows[] = {
      {std::nullopt, {"/etc/xdg"}},
      {"", {"/etc/xdg"}},
      {"/opt/xdg/:/etc/xdg", {"/opt/xdg", "/etc/xdg"}},
      {"relative:/srv/xdg::", {"/srv/xdg"}},
      {"relative", {"/etc/xdg"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dirs.value_or("(unset)"));
    qbtest::ScopedEnv dirs("XDG_CONFIG_DIRS", row.dirs);
    EXPECT_EQ(GetSystemConfigFolders(), row.folders);
  }
  qbtest::ScopedEnv state("XDG_STATE_HOME", std::nullopt);
  EXPECT_EQ(GetStateFolder(), "/home/tester/.local/state");
}

}  // namespace
}  // namespace qb
