#include "util/MacAddress.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace qb {
namespace {

TEST(MacAddress, FormatsWithoutLeadingZerosInUpperCase) {
  EXPECT_EQ(FormatMacAddress({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "0-1A-2B-3C-4D-5E");
  EXPECT_EQ(FormatMacAddress({0xff, 0x0f, 0xa0, 0x01, 0x00, 0x10}), "FF-F-A0-1-0-10");
}

TEST(MacAddress, TakesFirstNonLoopbackInterfaceWithAnAddress) {
  qbtest::TempDir net;
  auto add = [&](const std::string& name, const std::string& type, const std::string& address) {
    qbtest::WriteFile(net.Path() + "/" + name + "/type", type + "\n");
    qbtest::WriteFile(net.Path() + "/" + name + "/address", address + "\n");
  };
  add("lo", "772", "00:00:00:00:00:00");
  add("tun0", "65534", "");
  add("dummy0", "1", "00:00:00:00:00:00");
  add("eth0", "1", "00:1a:2b:3c:4d:5e");
  add("eth1", "1", "aa:bb:cc:dd:ee:ff");

  EXPECT_EQ(GetMacAddressFrom(net.Path(), {"lo", "tun0", "dummy0", "eth0", "eth1"}),
            "0-1A-2B-3C-4D-5E");
  EXPECT_EQ(GetMacAddressFrom(net.Path(), {"eth1", "eth0"}), "AA-BB-CC-DD-EE-FF");
  EXPECT_EQ(GetMacAddressFrom(net.Path(), {"lo", "tun0", "missing"}), "");
  EXPECT_EQ(GetMacAddressFrom(net.Path(), {}), "");
}

}  // namespace
}  // namespace qb
