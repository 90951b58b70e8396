#include "server/BindAddress.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "TempDir.h"
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

TEST(BindAddress, ReadsTheConfiguredValue) {
  struct Row {
    const char* name;
    std::optional<std::string> value;
    Bound bound;
    std::string text;
    bool valid;
  };
  const Row rows[] = {
      {"unset: every IPv4 interface", std::nullopt, {AF_INET, "0.0.0.0", 3210}, "", true},
      {"blank", "  ", {AF_INET, "0.0.0.0", 3210}, "", true},
      {"IPv4 any", "0.0.0.0", {AF_INET, "0.0.0.0", 3210}, "0.0.0.0", true},
      {"IPv4 loopback", "127.0.0.1", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", true},
      {"blanks around", " \t192.168.1.20 ", {AF_INET, "192.168.1.20", 3210}, "192.168.1.20", true},
      {"IPv6 loopback", "::1", {AF_INET6, "::1", 3210}, "::1", true},
      {"IPv6 in brackets", "[::1]", {AF_INET6, "::1", 3210}, "::1", true},
      {"IPv6 any", "::", {AF_INET6, "::", 3210}, "::", true},
      {"localhost is loopback", "localhost", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", true},
      {"other host name", "my-laptop", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"octet out of range", "300.1.1.1", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"short IPv4 form", "127.1", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"with a port", "127.0.0.1:80", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"IPv6 with a zone", "fe80::1%eth0", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"star", "*", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
      {"list", "127.0.0.1 ::1", {AF_INET, "127.0.0.1", 3210}, "127.0.0.1", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const BindAddress bind = ParseBindAddress(row.value, 3210);
    EXPECT_EQ(BoundOf(bind), row.bound);
    EXPECT_EQ(bind.text, row.text);
    EXPECT_EQ(bind.valid, row.valid);
  }
  EXPECT_EQ(BoundOf(ParseBindAddress("::1", 65535)).port, 65535);
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
    const UniqueFd listener = OpenListener(ParseBindAddress(row.value, 0), 5);
    if (!listener.Valid() && row.family == AF_INET6 && errno == EADDRNOTAVAIL) {
      continue;  // no IPv6 loopback on this machine
    }
    ASSERT_TRUE(listener.Valid()) << std::strerror(errno);
    BindAddress bound;
    bound.length = sizeof bound.address;
    ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&bound.address),
                            &bound.length), 0);
    const Bound where = BoundOf(bound);
    EXPECT_EQ(where.family, row.family);
    EXPECT_EQ(where.address, row.address);
    EXPECT_NE(where.port, 0);

    // The same address and port a second time: refused, errno says why.
    const UniqueFd second = OpenListener(ParseBindAddress(row.value, where.port), 5);
    EXPECT_FALSE(second.Valid());
    EXPECT_EQ(errno, EADDRINUSE);
  }
}

TEST(ListenConfig, EachCycleReadsBothSettingsAfresh) {
  qbtest::TempDir config;
  qbtest::ScopedEnv env("XDG_CONFIG_HOME", config.Path());
  const std::string file = config.Path() + "/Tavrim/Quillbox.conf";
  CAppData app;
  ListenConfig cycle;

  BindAddress bind = cycle.Apply(app, 4000);
  EXPECT_EQ(BoundOf(bind), (Bound{AF_INET, "0.0.0.0", 4000}));
  EXPECT_TRUE(app.GetOriginPolicy()->AllowsAny());

  qbtest::WriteFile(file,
                    "[Server]\nbindAddress=127.0.0.1\nallowedOrigins=https://a.example null\n");
  bind = cycle.Apply(app, 4001);
  EXPECT_EQ(BoundOf(bind), (Bound{AF_INET, "127.0.0.1", 4001}));
  EXPECT_EQ(app.GetOriginPolicy()->Origins(),
            (std::vector<std::string>{"https://a.example", "null"}));

  qbtest::WriteFile(file, "[Server]\nbindAddress=nonsense\nallowedOrigins=*\n");
  bind = cycle.Apply(app, 4002);
  EXPECT_EQ(BoundOf(bind), (Bound{AF_INET, "127.0.0.1", 4002}));
  EXPECT_FALSE(bind.valid);
  EXPECT_TRUE(app.GetOriginPolicy()->AllowsAny());
}

}  // namespace
}  // namespace qb
