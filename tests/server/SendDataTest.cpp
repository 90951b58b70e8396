#include "server/SendData.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <thread>

#include "util/UniqueFd.h"

namespace qb {
namespace {

using std::chrono::milliseconds;

struct SocketPair {
  SocketPair() {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    server.Reset(fds[0]);
    client.Reset(fds[1]);
    const int small = 4096;
    ::setsockopt(server.Get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(client.Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ::fcntl(server.Get(), F_SETFL, O_NONBLOCK);
  }
  UniqueFd server;
  UniqueFd client;
};

TEST(SendData, AClientThatStopsReadingIsGivenUp) {
  SocketPair pair;
  const std::string answer(4 << 20, 'x');
  std::atomic<bool> stop{false};
  EXPECT_EQ(SendData(pair.server.Get(), answer, &stop, -1, milliseconds(100)), -1);
}

TEST(SendData, ASlowReaderThatKeepsReadingGetsEverything) {
  SocketPair pair;
  const std::string answer(1 << 20, 'y');
  size_t received = 0;
  std::thread reader([&] {
    char buffer[65536];
    for (;;) {
      std::this_thread::sleep_for(milliseconds(5));
      const ssize_t n = ::read(pair.client.Get(), buffer, sizeof buffer);
      if (n <= 0) {
        return;
      }
      received += static_cast<size_t>(n);
    }
  });
  // Each pause is shorter than the limit, the whole answer takes longer.
  const ssize_t sent = SendData(pair.server.Get(), answer, nullptr, -1, milliseconds(200));
  ::shutdown(pair.server.Get(), SHUT_WR);
  reader.join();
  EXPECT_EQ(sent, static_cast<ssize_t>(answer.size()));
  EXPECT_EQ(received, answer.size());
}

TEST(CloseConnection, APeerThatKeepsSendingDoesNotHoldTheClose) {
  SocketPair pair;
  // The server's receive buffer is full before the close begins.
  const std::string flood(4096, 'z');
  while (::send(pair.client.Get(), flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT) > 0) {
  }
  ASSERT_EQ(errno, EAGAIN);
  std::atomic<bool> giveUp{false};
  std::promise<int> peerSaw;  // the error the peer's send met
  std::thread sender([&] {
    while (!giveUp.load()) {
      if (::send(pair.client.Get(), flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <
              0 &&
          errno != EAGAIN) {
        peerSaw.set_value(errno);
        return;
      }
    }
    peerSaw.set_value(0);
  });
  CloseConnection(pair.server.Release(), 50);  // returns although the peer never stops
  std::future<int> seen = peerSaw.get_future();
  // Generous: only a close that never happens reaches it.
  if (seen.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    giveUp.store(true);
  }
  sender.join();
  const int error = seen.get();
  EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
}

}  // namespace
}  // namespace qb
