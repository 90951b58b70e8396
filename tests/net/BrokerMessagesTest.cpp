#include "net/BrokerMessages.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <span>
#include <vector>

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

ino_t Inode(int fd) {
  struct stat info {};
  EXPECT_EQ(::fstat(fd, &info), 0);
  return info.st_ino;
}

// Descriptors sent in one call arrive one per packet, in order, and are taken
// in batches; a queue that fills stops the sending at a packet boundary with
// EAGAIN, and nothing past it is lost or duplicated.
TEST(BrokerMessages, ManyDescriptorsGoInOrderAndAFullQueueStopsCleanly) {
  Pair pair = Connected();
  std::vector<UniqueFd> pipes;
  std::vector<int> fds;
  std::vector<ino_t> inodes;
  for (int i = 0; i < 100; ++i) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    pipes.emplace_back(ends[1]);
    fds.push_back(ends[1]);
    inodes.push_back(Inode(ends[1]));
  }
  const int room = 8192;  // a send buffer that holds a few packets
  ASSERT_EQ(::setsockopt(pair.broker.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room), 0);
  const SentMessages sent = SendMessages(pair.broker.Get(), kConnectionMessage, fds);
  ASSERT_LT(sent.count, fds.size());
  ASSERT_GT(sent.count, 0u);
  EXPECT_EQ(sent.error, EAGAIN);

  std::vector<ino_t> received;
  size_t resumed = sent.count;
  for (;;) {
    std::vector<BrokerMessage> batch = ReceiveMessages(pair.server.Get(), 7);
    if (batch.empty()) {
      if (resumed == fds.size()) {
        break;
      }
      const SentMessages more = SendMessages(
          pair.broker.Get(), kConnectionMessage, std::span(fds).subspan(resumed));
      ASSERT_GT(more.count, 0u);
      resumed += more.count;
      continue;
    }
    ASSERT_LE(batch.size(), 7u);
    for (BrokerMessage& message : batch) {
      ASSERT_EQ(message.kind, BrokerMessage::Kind::kMessage);
      ASSERT_EQ(message.text, kConnectionMessage);
      ASSERT_TRUE(message.fd.Valid());
      received.push_back(Inode(message.fd.Get()));
    }
  }
  EXPECT_EQ(received, inodes);

  pair.broker.Reset();
  const std::vector<BrokerMessage> last = ReceiveMessages(pair.server.Get(), 4);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last.front().kind, BrokerMessage::Kind::kClosed);
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
