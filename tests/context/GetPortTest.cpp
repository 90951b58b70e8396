#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "context/CAppData.h"

namespace qb {
namespace {

class GetPortTest : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& content) {
    qbtest::WriteFile(m_config.Path() + "/Tavrim/Quillbox.conf", content);
  }
  qbtest::TempDir m_config;
  qbtest::ScopedEnv m_env{"XDG_CONFIG_HOME", m_config.Path()};
};

TEST_F(GetPortTest, ReadsPlainThirtyTwoBitValuesAndKeepsTheLow16Bits) {
  struct Row {
    const char* name;
    std::optional<std::string> config;  // nullopt: no file at all
    uint16_t port;
  };
  const Row rows[] = {
      {"no file", std::nullopt, 3210},
      {"no group", "[Other]\nport=4000\n", 3210},
      {"no key", "[Server]\nhost=x\n", 3210},
      {"plain value", "[Server]\nport=4000\n", 4000},
      {"blanks around key and value", "[Server]\n  port = 4001  \n", 4001},
      {"CRLF line ends", "[Server]\r\nport=4002\r\n", 4002},
      {"other groups around", "[A]\nport=1\n[Server]\nport=4003\n[B]\nport=2\n", 4003},
      {"first key wins", "[Server]\nport=4004\nport=4005\n", 4004},
      {"above 16 bits", "[Server]\nport=70000\n", 4464},
      {"largest 32-bit value", "[Server]\nport=4294967295\n", 65535},
      {"above 32 bits", "[Server]\nport=4294967296\n", 3210},
      {"far above 32 bits", "[Server]\nport=99999999999999999999\n", 3210},
      {"text", "[Server]\nport=abc\n", 3210},
      {"quoted text", "[Server]\nport=\"4000\"\n", 3210},
      {"sign", "[Server]\nport=+4000\n", 3210},
      {"negative", "[Server]\nport=-1\n", 3210},
      {"hexadecimal", "[Server]\nport=0x10\n", 3210},
      {"trailing text", "[Server]\nport=4000x\n", 3210},
      {"empty value", "[Server]\nport=\n", 3210},
      {"commented out", "[Server]\n;port=4000\n#port=4001\n", 3210},
      {"group and key names match without case", "[server]\nPORT=4000\n", 4000},
      {"key outside any group", "port=4000\n[Server]\n", 3210},
      {"broken group line ends the group", "[Server]\n[Other\nport=4000\n", 3210},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(m_config.Path() + "/Tavrim");
    if (row.config) {
      WriteConfig(*row.config);
    }
    CAppData app;
    EXPECT_EQ(app.GetPort(), row.port);
  }
}

TEST_F(GetPortTest, EmptyOrMissingKeyGivesTheDefault) {
  WriteConfig("[Server]\nport=4000\n");
  CAppData app;
  EXPECT_EQ(app.GetPort(), 4000);
  EXPECT_FALSE(app.Settings().SetKey(""));
  EXPECT_EQ(app.GetPort(), 3210);
  EXPECT_TRUE(app.Settings().SetKey(SettingsStore::kServerKey));
  EXPECT_EQ(app.GetPort(), 4000);
}

}  // namespace
}  // namespace qb
