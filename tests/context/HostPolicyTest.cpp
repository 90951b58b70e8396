#include "context/HostPolicy.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(HostPolicy, AcceptsThisComputersNamesAndTheListedOnes) {
  const HostPolicy own;
  const HostPolicy configured =
      HostPolicy::FromConfig({"192.168.1.20"}, "Label.LAN  [fe80::1]\t10.0.0.5", nullptr);
  const HostPolicy wildcard = HostPolicy::FromConfig({"::"}, std::nullopt, nullptr);
  struct Row {
    const char* name;
    const char* host;
    bool own;
    bool configured;
  };
  const Row rows[] = {
      {"localhost", "localhost", true, true},
      {"localhost with a port", "localhost:3210", true, true},
      {"case", "LocalHost:80", true, true},
      {"blanks around", " localhost:3210 ", true, true},
      {"IPv4 loopback", "127.0.0.1:3210", true, true},
      {"IPv6 loopback", "[::1]:3210", true, true},
      {"IPv6 loopback, long form", "[0:0:0:0:0:0:0:1]", true, true},
      {"IPv6 without brackets", "::1", false, false},
      {"empty port", "localhost:", true, true},
      {"port too long", "localhost:123456", false, false},
      {"port not a number", "localhost:80x", false, false},
      {"two ports", "localhost:80:80", false, false},
      {"other name", "evil.example", false, false},
      {"rebound name with our port", "evil.example:3210", false, false},
      {"localhost as a prefix", "localhost.evil.example", false, false},
      {"localhost as a suffix", "evil-localhost", false, false},
      {"other loopback address", "127.0.0.2", false, false},
      {"bind address", "192.168.1.20:3210", false, true},
      {"listed name", "label.lan:3210", false, true},
      {"listed IPv6", "[FE80::1]:3210", false, true},
      {"listed IPv4", "10.0.0.5", false, true},
      {"user info", "user@localhost", false, false},
      {"path", "localhost/x", false, false},
      {"unclosed bracket", "[::1", false, false},
      {"text after the bracket", "[::1]x", false, false},
      {"empty", "", false, false},
      {"line break", "localhost\r\nX: y", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(own.Allows(row.host), row.own);
    EXPECT_EQ(configured.Allows(row.host), row.configured);
  }
  EXPECT_TRUE(wildcard.Allows("[::]:3210"));
  EXPECT_FALSE(wildcard.Allows("192.168.1.20"));
}

TEST(HostPolicy, ReportsEntriesThatAreNoHost) {
  std::vector<std::string> rejected;
  const HostPolicy policy =
      HostPolicy::FromConfig({}, "good.lan http://x.lan a.lan:80 [zz] ok-2.lan", &rejected);
  EXPECT_EQ(rejected, (std::vector<std::string>{"http://x.lan", "a.lan:80", "[zz]"}));
  EXPECT_EQ(policy.Hosts(),
            (std::vector<std::string>{"localhost", "127.0.0.1", "[::1]", "good.lan", "ok-2.lan"}));
}

}  // namespace
}  // namespace qb
