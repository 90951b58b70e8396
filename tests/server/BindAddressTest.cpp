#include "server/BindAddress.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "TempDir.h"
#include "net/ListeningSocket.h"
#include "server/ListenConfig.h"

namespace qb {
namespace {

// The address family, address text and port that `address` binds.
struct Bound {
  int family;
  std::string address;
  uint16_t port;
  bool operator==(const Bound&) const = default;
};

void PrintTo(const Bound& bound, std::ostream* os) {
  *os << bound.family << " " << bound.address << " " << bound.port;
}

Bound BoundOf(const BindAddress& bind) {
  char text[INET6_ADDRSTRLEN] = {};
  if (bind.address.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&bind.address);
    EXPECT_EQ(bind.length, sizeof(sockaddr_in6));
    ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    return {AF_INET6, text, ntohs(in->sin6_port)};
  }
  const auto* in = reinterpret_cast<const sockaddr_in*>(&bind.address);
  EXPECT_EQ(bind.length, sizeof(sockaddr_in));
  ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  return {bind.address.ss_family, text, ntohs(in->sin_port)};
}

std::vector<Bound> BoundOf(const BindPlan& plan) {
  std::vector<Bound> bound;
  for (const BindAddress& address : plan.addresses) {
    bound.push_back(BoundOf(address));
  }
  return bound;
}

TEST(BindAddress, ReadsTheConfiguredValue) {
  const std::vector<Bound> loopback{{AF_INET, "127.0.0.1", 3210}, {AF_INET6, "::1", 3210}};
  struct Row {
    const char* name;
    std::optional<std::string> value;
    std::vector<Bound> bound;
    std::string text;
    bool valid;
    bool exposed;
  };
  const Row rows[] = {
      {"unset: this computer only", std::nullopt, loopback, "127.0.0.1 and ::1", true, false},
      {"blank", "  ", loopback, "127.0.0.1 and ::1", true, false},
      {"localhost", "localhost", loopback, "127.0.0.1 and ::1", true, false},
      {"localhost in capitals", "LocalHost", loopback, "127.0.0.1 and ::1", true, false},
      {"IPv4 any", "0.0.0.0", {{AF_INET, "0.0.0.0", 3210}}, "0.0.0.0", true, true},
      {"IPv4 loopback", "127.0.0.1", {{AF_INET, "127.0.0.1", 3210}}, "127.0.0.1", true, false},
      {"other loopback address", "127.0.0.2", {{AF_INET, "127.0.0.2", 3210}}, "127.0.0.2", true,
       false},
      {"blanks around", " \t192.168.1.20 ", {{AF_INET, "192.168.1.20", 3210}}, "192.168.1.20",
       true, true},
      {"IPv6 loopback", "::1", {{AF_INET6, "::1", 3210}}, "::1", true, false},
      {"IPv6 in brackets", "[::1]", {{AF_INET6, "::1", 3210}}, "::1", true, false},
      {"IPv6 long form", "0:0:0::1", {{AF_INET6, "::1", 3210}}, "::1", true, false},
      {"IPv6 any", "::", {{AF_INET6, "::", 3210}}, "::", true, true},
      {"other host name", "my-laptop", loopback, "127.0.0.1 and ::1", false, false},
      {"octet out of range", "300.1.1.1", loopback, "127.0.0.1 and ::1", false, false},
      {"short IPv4 form", "127.1", loopback, "127.0.0.1 and ::1", false, false},
      {"with a port", "127.0.0.1:80", loopback, "127.0.0.1 and ::1", false, false},
      {"IPv6 with a zone", "fe80::1%eth0", loopback, "127.0.0.1 and ::1", false, false},
      {"star", "*", loopback, "127.0.0.1 and ::1", false, false},
      {"list", "127.0.0.1 ::1", loopback, "127.0.0.1 and ::1", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const BindPlan plan = ParseBindAddress(row.value, 3210);
    EXPECT_EQ(BoundOf(plan), row.bound);
    EXPECT_EQ(plan.Text(), row.text);
    EXPECT_EQ(plan.valid, row.valid);
    EXPECT_EQ(plan.Exposed(), row.exposed);
  }
  // Only the IPv6 loopback of the default may be left out.
  const BindPlan plan = ParseBindAddress(std::nullopt, 65535);
  ASSERT_EQ(plan.addresses.size(), 2u);
  EXPECT_FALSE(plan.addresses[0].optional);
  EXPECT_TRUE(plan.addresses[1].optional);
  EXPECT_FALSE(ParseBindAddress("::1", 1).addresses[0].optional);
  EXPECT_EQ(BoundOf(plan.addresses[1]).port, 65535);
}

TEST(BindAddress, OpensAListenerOnTheAddress) {
  struct Row {
    const char* name;
    std::string value;
    int family;
    std::string address;
  };
  const Row rows[] = {
      {"IPv4 loopback", "127.0.0.1", AF_INET, "127.0.0.1"},
      {"IPv6 loopback", "::1", AF_INET6, "::1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const BindAddress any = ParseBindAddress(row.value, 0).addresses[0];
    const Result<UniqueFd> listener =
        OpenListeningSocket(any.address, any.length, {.backlog = 5});
    if (!listener && row.family == AF_INET6 && listener.Code() == EADDRNOTAVAIL) {
      continue;  // no IPv6 loopback on this machine
    }
    ASSERT_TRUE(listener) << listener.Error();
    BindAddress bound;
    bound.length = sizeof bound.address;
    ASSERT_EQ(::getsockname(listener->Get(), reinterpret_cast<sockaddr*>(&bound.address),
                            &bound.length), 0);
    const Bound where = BoundOf(bound);
    EXPECT_EQ(where.family, row.family);
    EXPECT_EQ(where.address, row.address);
    EXPECT_NE(where.port, 0);

    // The same address and port a second time: refused, the code says why.
    const BindAddress taken = ParseBindAddress(row.value, where.port).addresses[0];
    const Result<UniqueFd> second =
        OpenListeningSocket(taken.address, taken.length, {.backlog = 5});
    EXPECT_FALSE(second);
    EXPECT_EQ(second.Code(), EADDRINUSE);
    EXPECT_EQ(second.Error(), std::string("bind: ") + std::strerror(EADDRINUSE));
  }
}

TEST(ListenConfig, EachCycleReadsTheSettingsAfresh) {
  qbtest::TempDir config;
  qbtest::ScopedEnv env("XDG_CONFIG_HOME", config.Path());
  const std::string file = config.Path() + "/Tavrim/Quillbox.conf";
  CAppData app;
  ListenConfig cycle;

  BindPlan plan = cycle.Apply(app, 4000);
  EXPECT_EQ(BoundOf(plan), (std::vector<Bound>{{AF_INET, "127.0.0.1", 4000},
                                               {AF_INET6, "::1", 4000}}));
  EXPECT_FALSE(app.GetOriginPolicy()->AllowsAny());
  EXPECT_EQ(app.GetOriginPolicy()->Standing("https://a.example"), OriginStanding::kUnlisted);
  EXPECT_FALSE(app.GetHostPolicy()->Allows("192.168.1.20"));

  qbtest::WriteFile(file,
                    "[Server]\nbindAddress=192.168.1.20\nallowedOrigins=https://a.example null\n"
                    "deniedOrigins=https://b.example\nallowedHosts=label.lan\n");
  plan = cycle.Apply(app, 4001);
  EXPECT_EQ(BoundOf(plan), (std::vector<Bound>{{AF_INET, "192.168.1.20", 4001}}));
  EXPECT_EQ(app.GetOriginPolicy()->Origins(),
            (std::vector<std::string>{"https://a.example", "null"}));
  EXPECT_EQ(app.GetOriginPolicy()->Standing("https://b.example"), OriginStanding::kDenied);
  EXPECT_TRUE(app.GetHostPolicy()->Allows("192.168.1.20:4001"));
  EXPECT_TRUE(app.GetHostPolicy()->Allows("label.lan"));
  EXPECT_TRUE(app.GetHostPolicy()->Allows("localhost"));

  qbtest::WriteFile(file, "[Server]\nbindAddress=nonsense\nallowedOrigins=*\n");
  plan = cycle.Apply(app, 4002);
  EXPECT_EQ(BoundOf(plan), (std::vector<Bound>{{AF_INET, "127.0.0.1", 4002},
                                               {AF_INET6, "::1", 4002}}));
  EXPECT_FALSE(plan.valid);
  EXPECT_TRUE(app.GetOriginPolicy()->AllowsAny());
  EXPECT_FALSE(app.GetHostPolicy()->Allows("label.lan"));
}

}  // namespace
}  // namespace qb
