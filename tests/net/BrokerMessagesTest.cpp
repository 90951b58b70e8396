#include "net/BrokerMessages.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace qb {
namespace {

struct Pair {
  UniqueFd broker;
  UniqueFd server;
};

Pair Connected() {
  int ends[2];
  EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
  return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

TEST(BrokerMessages, EachPacketIsOneMessageWithItsDescriptor) {
  Pair pair = Connected();
  int passed[2];
  ASSERT_EQ(::pipe(passed), 0);
  UniqueFd reading(passed[0]);
  UniqueFd writing(passed[1]);
  ASSERT_EQ(SendMessage(pair.broker.Get(), kRegisteredMessage), 0);
  ASSERT_EQ(SendMessage(pair.broker.Get(), kConnectionMessage, writing.Get()), 0);
  writing.Reset();  // the receiver's copy keeps the pipe open

  BrokerMessage first = ReceiveMessage(pair.server.Get());
  EXPECT_EQ(first.kind, BrokerMessage::Kind::kMessage);
  EXPECT_EQ(first.text, kRegisteredMessage);
  EXPECT_FALSE(first.fd.Valid());
  BrokerMessage second = ReceiveMessage(pair.server.Get());
  EXPECT_EQ(second.text, kConnectionMessage);
  ASSERT_TRUE(second.fd.Valid());
  ASSERT_EQ(::write(second.fd.Get(), "x", 1), 1);  // the same pipe
  char byte = 0;
  ASSERT_EQ(::read(reading.Get(), &byte, 1), 1);
  EXPECT_EQ(byte, 'x');

  EXPECT_EQ(ReceiveMessage(pair.server.Get()).kind, BrokerMessage::Kind::kNone);
  pair.broker.Reset();
  EXPECT_EQ(ReceiveMessage(pair.server.Get()).kind, BrokerMessage::Kind::kClosed);
}

TEST(BrokerMessages, TheSocketPathCanBeMovedForTests) {
  ::unsetenv(kBrokerSocketVariable);
  EXPECT_EQ(BrokerSocketPath(), "/run/quillbox/broker");
  ::setenv(kBrokerSocketVariable, "", 1);
  EXPECT_EQ(BrokerSocketPath(), "/run/quillbox/broker");
  ::setenv(kBrokerSocketVariable, "/tmp/b/registration", 1);
  EXPECT_EQ(BrokerSocketPath(), "/tmp/b/registration");
  ::unsetenv(kBrokerSocketVariable);
}

}  // namespace
}  // namespace qb
