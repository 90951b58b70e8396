#include "net/SocketTable.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstring>

namespace qb {
namespace {

Endpoint V4(const char* address, uint16_t port) {
  sockaddr_storage storage{};
  auto* in = reinterpret_cast<sockaddr_in*>(&storage);
  in->sin_family = AF_INET;
  in->sin_port = htons(port);
  ::inet_pton(AF_INET, address, &in->sin_addr);
  return *Endpoint::From(storage);
}

Endpoint V6(const char* address, uint16_t port) {
  sockaddr_storage storage{};
  auto* in = reinterpret_cast<sockaddr_in6*>(&storage);
  in->sin6_family = AF_INET6;
  in->sin6_port = htons(port);
  ::inet_pton(AF_INET6, address, &in->sin6_addr);
  return *Endpoint::From(storage);
}

// The way the kernel prints an address word: the bytes as one host-order
// number. These tables are written for a little-endian host.
bool LittleEndian() {
  const uint16_t one = 1;
  uint8_t first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

const char* kHeading4 =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n";

TEST(SocketTable, PrintsEndpointsAsTheKernelDoes) {
  if (!LittleEndian()) {
    GTEST_SKIP() << "tables written for a little-endian host";
  }
  EXPECT_EQ(V4("127.0.0.1", 3210).TableText(), "0100007F:0C8A");
  EXPECT_EQ(V4("192.168.1.20", 80).TableText(), "1401A8C0:0050");
  EXPECT_EQ(V6("::1", 3210).TableText(), "00000000000000000000000001000000:0C8A");
  EXPECT_EQ(V4("127.0.0.1", 1).Mapped().TableText(), "0000000000000000FFFF00000100007F:0001");
  EXPECT_EQ(V6("::ffff:127.0.0.1", 5).family, AF_INET);  // mapped addresses read as IPv4
  EXPECT_TRUE(V4("127.1.2.3", 1).IsLoopback());
  EXPECT_TRUE(V6("::1", 1).IsLoopback());
  EXPECT_FALSE(V4("192.168.1.20", 1).IsLoopback());
  EXPECT_FALSE(V6("::2", 1).IsLoopback());
}

TEST(SocketTable, FindsTheSocketAtTheOtherEnd) {
  if (!LittleEndian()) {
    GTEST_SKIP() << "tables written for a little-endian host";
  }
  // Our listener on 127.0.0.1:3210, a connection from port 40000 as seen from
  // both ends, and other rows around them.
  const std::string table4 = std::string(kHeading4) +
      "   0: 0100007F:0C8A 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 "
      "111 1 0000000000000000 100 0 0 10 0\n"
      "   1: 0100007F:0C8A 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 "
      "222 1 0000000000000000 20 4 30 10 -1\n"
      "   2: 0100007F:9C40 0100007F:0C8A 01 00000000:00000000 00:00000000 00000000  1000        0 "
      "333 1 0000000000000000 20 4 30 10 -1\n"
      "   3: 0100007F:9C41 0100007F:0C8A 06 00000000:00000000 03:00000F9F 00000000     0        0 "
      "0 3 0000000000000000\n"
      "   4: 0100007f:9c42 0100007f:0c8a 01 00000000:00000000 00:00000000 00000000  65534  0 "
      "444 1\n"
      "   5: 0100007F:9C43 0100007F:0C8A 01 short row\n"
      "   6: 0100007F:9C44 0100007F:0C8A 01 00000000:00000000 00:00000000 00000000  12x     0 "
      "555 1\n";
  const std::string table6 = std::string(kHeading4) +
      "   0: 00000000000000000000000001000000:9C40 00000000000000000000000001000000:0C8A 01 "
      "00000000:00000000 00:00000000 00000000  1001        0 666 1 0000000000000000 20 4 1 10 -1\n"
      "   1: 0000000000000000FFFF00000100007F:9C45 0000000000000000FFFF00000100007F:0C8A 01 "
      "00000000:00000000 00:00000000 00000000  1002        0 777 1 0000000000000000 20 4 1 10 -1\n";
  const Endpoint server = V4("127.0.0.1", 3210);
  struct Row {
    const char* name;
    const std::string* table;
    Endpoint peer;
    Endpoint local;
    std::optional<uid_t> uid;
    uint64_t inode;
  };
  const Row rows[] = {
      {"the client's socket, not our accepted one", &table4, V4("127.0.0.1", 40000), server, 1000,
       333},
      {"a closing socket has no inode", &table4, V4("127.0.0.1", 40001), server, 0, 0},
      {"lower-case hex", &table4, V4("127.0.0.1", 40002), server, 65534, 444},
      {"a short row is skipped", &table4, V4("127.0.0.1", 40003), server, std::nullopt, 0},
      {"a bad uid is skipped", &table4, V4("127.0.0.1", 40004), server, std::nullopt, 0},
      {"no such connection", &table4, V4("127.0.0.1", 40009), server, std::nullopt, 0},
      {"the listener is not a connection", &table4, V4("0.0.0.0", 0), server, std::nullopt, 0},
      {"IPv6", &table6, V6("::1", 40000), V6("::1", 3210), 1001, 666},
      {"IPv4 end of an IPv6 socket", &table6, V4("127.0.0.1", 40005).Mapped(), server.Mapped(),
       1002, 777},
      {"IPv4 ends are not looked up unmapped in the IPv6 table", &table6, V4("127.0.0.1", 40005),
       server, std::nullopt, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<SocketRow> found = FindConnection(*row.table, row.peer, row.local);
    ASSERT_EQ(found.has_value(), row.uid.has_value());
    if (found) {
      EXPECT_EQ(found->uid, *row.uid);
      EXPECT_EQ(found->inode, row.inode);
    }
  }
  EXPECT_FALSE(FindConnection("", V4("127.0.0.1", 40000), server));
  // The heading is never a row, even when it looks like one.
  EXPECT_FALSE(FindConnection(
      "0: 0100007F:9C40 0100007F:0C8A 01 0:0 0:0 0 7 0 9\n", V4("127.0.0.1", 40000), server));

  const std::optional<SocketRow> listener = FindListener(table4, server);
  ASSERT_TRUE(listener);
  EXPECT_EQ(listener->inode, 111u);
  const std::string wildcard = std::string(kHeading4) +
      "   0: 00000000:0C8A 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000  0 "
      "888 1\n";
  EXPECT_EQ(FindListener(wildcard, server)->uid, 1000u);
  EXPECT_FALSE(FindListener(wildcard, V4("127.0.0.1", 3211)));
  EXPECT_FALSE(FindListener(table6, V6("::1", 40000)));  // a connection, not a listener
}

}  // namespace
}  // namespace qb
