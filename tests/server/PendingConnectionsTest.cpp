#include "server/PendingConnections.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qb {
namespace {

using Outcome = RequestReceiver::Outcome;

struct Done {
  UniqueFd socket;
  Outcome outcome;
  std::string request;
  ConnectionLimits::Ticket ticket;
};

// A watched connection: the server's end goes to PendingConnections, the test
// writes on the peer end.
struct Peer {
  UniqueFd fd;
  std::string toSend;
  size_t sent = 0;

  // Writes what the socket takes now.
  void Feed() {
    while (sent < toSend.size()) {
      const ssize_t n = ::send(fd.Get(), toSend.data() + sent, toSend.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        return;
      }
      sent += static_cast<size_t>(n);
    }
  }
};

class PendingConnectionsTest : public ::testing::Test {
 protected:
  PendingConnectionsTest()
      : pending([this](int socket, Outcome outcome, std::string request,
                       ConnectionLimits::Ticket ticket) {
          done.push_back(std::make_unique<Done>(
              Done{UniqueFd(socket), outcome, std::move(request), std::move(ticket)}));
        }) {}

  Peer Connect(std::string toSend, std::string address = {},
               RequestReceiver::Clock::time_point at = RequestReceiver::Clock::now()) {
    int ends[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends), 0);
    ConnectionLimits::Ticket ticket = limits.TryOpen();
    EXPECT_TRUE(ticket.Valid());
    pending.Add(ends[0], std::move(ticket), at, std::move(address));
    return Peer{UniqueFd(ends[1]), std::move(toSend)};
  }

  // Feeds the peers and polls until `until` holds (or a generous number of
  // rounds has passed, which the caller's expectations then report).
  void Pump(std::vector<Peer*> peers, const std::function<bool()>& until, int rounds = 2000) {
    for (int i = 0; i < rounds && !until(); ++i) {
      for (Peer* peer : peers) peer->Feed();
      pending.Poll({}, 5);
    }
  }

  // Bodies budget: 1 MiB in all (one peer may hold all of it).
  ConnectionLimits limits{8, 1, 8, 1024 * 1024};
  PendingConnections pending;
  std::vector<std::unique_ptr<Done>> done;
};

TEST_F(PendingConnectionsTest, HandsEachConnectionOnWhenItsRequestIsDone) {
  const std::string get = "GET /x HTTP/1.1\r\n\r\n";
  const std::string body(100 * 1024, 'b');
  const std::string post = "POST /x HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\n\r\n" + body;
  struct Row {
    const char* name;
    std::string sent;
    bool peerCloses;
    Outcome outcome;
    std::string request;
    size_t covered = 0;  // granted of the bodies budget: what a large request announces
  };
  const Row rows[] = {
      {"complete GET", get, false, Outcome::kComplete, get},
      {"body larger than a small share", post, false, Outcome::kComplete, post, post.size()},
      {"head then close", "GET /x HTTP/1.1\r\n", true, Outcome::kComplete, "GET /x HTTP/1.1\r\n"},
      {"close with nothing sent", "", true, Outcome::kNothing, ""},
      {"close inside an announced body", post.substr(0, 200), true, Outcome::kNothing, "",
       post.size()},
      {"announced beyond the limit", "POST /x HTTP/1.1\r\nContent-Length: 268435457\r\n\r\n",
       false, Outcome::kTooLarge, ""},
      {"announced beyond the bodies budget",
       "POST /x HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n" + body, false, Outcome::kNoRoom,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    done.clear();
    Peer peer = Connect(row.sent);
    Pump({&peer}, [&] { return peer.sent == row.sent.size(); });
    if (row.peerCloses) {
      ::shutdown(peer.fd.Get(), SHUT_WR);
    }
    Pump({&peer}, [&] { return !done.empty(); });
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(pending.Size(), 0u);
    EXPECT_EQ(done[0]->outcome, row.outcome);
    EXPECT_EQ(done[0]->request, row.request);
    EXPECT_TRUE(done[0]->ticket.Valid());
    EXPECT_EQ(done[0]->ticket.BodyCovered(), row.covered);
    // The socket is handed over open: an answer reaches the peer.
    ASSERT_EQ(::send(done[0]->socket.Get(), "A", 1, MSG_NOSIGNAL), 1);
    char answer = 0;
    Pump({}, [&] { return ::recv(peer.fd.Get(), &answer, 1, 0) == 1; });
    EXPECT_EQ(answer, 'A');
  }
}

// A request that is complete when its connection is taken is handed on by
// Add itself; a partial one waits and is finished by a later Poll.
TEST_F(PendingConnectionsTest, RequestAlreadyThereIsHandedOnWithoutWaiting) {
  int ends[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends), 0);
  UniqueFd peer(ends[1]);
  const std::string get = "GET /ready HTTP/1.1\r\nHost: localhost\r\n\r\n";
  ASSERT_EQ(::send(peer.Get(), get.data(), get.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(get.size()));
  pending.Add(ends[0], limits.TryOpen(), RequestReceiver::Clock::now(), "peer");
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0]->outcome, Outcome::kComplete);
  EXPECT_EQ(done[0]->request, get);
  EXPECT_EQ(pending.Size(), 0u);

  Peer partial = Connect("GET /later HTTP/1.1\r\n\r\n");
  EXPECT_EQ(done.size(), 1u);
  EXPECT_EQ(pending.Size(), 1u);
  Pump({&partial}, [&] { return done.size() == 2; });
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[1]->request, "GET /later HTTP/1.1\r\n\r\n");
}

TEST_F(PendingConnectionsTest, LargeRequestWaitsForALargeShare) {
  const std::string body(300 * 1024, 'b');
  const std::string post = "POST /x HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\n\r\n" + body;
  // The first sender takes the only large share; the second is read up to
  // the small share and then held, however long it waits.
  Peer first = Connect(post.substr(0, 100 * 1024));
  Pump({&first}, [&] { return !limits.LargeFree(); });
  ASSERT_FALSE(limits.LargeFree());
  Peer second = Connect(post);
  Pump({&second}, [] { return false; }, 50);
  EXPECT_TRUE(done.empty());

  // The first completes and keeps its share while its answer is worked on.
  first.toSend = post;
  Pump({&first, &second}, [&] { return !done.empty(); });
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0]->request, post);
  Pump({&second}, [] { return false; }, 50);
  EXPECT_EQ(done.size(), 1u);

  // Once it is given back, the second is read to its end.
  done[0]->ticket = ConnectionLimits::Ticket();
  Pump({&second}, [&] { return done.size() == 2; });
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[1]->outcome, Outcome::kComplete);
  EXPECT_EQ(done[1]->request, post);
}

TEST_F(PendingConnectionsTest, CloseAllEndsEveryWaitingConnectionWithoutAnAnswer) {
  Peer silent = Connect("");
  Peer partial = Connect("POST /x HTTP/1.1\r\nContent-Length: 9\r\n\r\nab");
  Pump({&partial}, [&] { return partial.sent == partial.toSend.size(); });
  pending.Poll({}, 5);
  pending.CloseAll();
  EXPECT_EQ(pending.Size(), 0u);
  EXPECT_TRUE(done.empty());
  std::vector<ConnectionLimits::Ticket> tickets;  // every share is back
  for (int i = 0; i < 8; ++i) {
    tickets.push_back(limits.TryOpen());
    EXPECT_TRUE(tickets.back().Valid());
  }
  for (Peer* peer : {&silent, &partial}) {
    char byte = 0;
    EXPECT_EQ(::recv(peer->fd.Get(), &byte, 1, 0), 0);  // closed, nothing sent
  }
}

TEST_F(PendingConnectionsTest, TheIdlestSenderOfAPeerGivesWay) {
  using Clock = RequestReceiver::Clock;
  const Clock::time_point now = Clock::now();
  Peer oldest = Connect("", "a", now - std::chrono::seconds(2));
  Peer older = Connect("", "a", now - std::chrono::seconds(1));
  Peer other = Connect("", "b", now - std::chrono::seconds(3));
  Peer fresh = Connect("", "a", now);
  const std::string peer = "a";
  EXPECT_EQ(pending.IdlestSince(), now - std::chrono::seconds(3));
  // Only connections silent since before the given time count.
  EXPECT_FALSE(pending.EvictIdlest(&peer, now - std::chrono::seconds(3)));
  ASSERT_TRUE(pending.EvictIdlest(&peer, now));
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0]->outcome, Outcome::kNothing);
  EXPECT_EQ(pending.Size(), 3u);
  ASSERT_TRUE(pending.EvictIdlest(nullptr, now));  // any peer: the one of "b"
  ASSERT_TRUE(pending.EvictIdlest(&peer, now));
  EXPECT_EQ(pending.Size(), 1u);  // the fresh connection of "a" stays
  EXPECT_FALSE(pending.EvictIdlest(&peer, now));
}

// A wait without a time-out ends when a watched notifier is notified (here a
// share given back at the bound, on another thread), and Poll clears it.
TEST_F(PendingConnectionsTest, ANotifierEndsAWaitWithoutTimeOut) {
  ConnectionLimits bounded{1, 1};
  ASSERT_TRUE(pending.WakeOn(bounded.Freed()));
  ConnectionLimits::Ticket only = bounded.TryOpen();
  ASSERT_FALSE(bounded.CanOpen());
  std::thread worker([&only] { only = ConnectionLimits::Ticket(); });
  pending.Poll({}, -1);
  worker.join();
  EXPECT_TRUE(bounded.CanOpen());
  pollfd watched{bounded.Freed().Fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&watched, 1, 0), 0) << "Poll left the notifier set";
}

}  // namespace
}  // namespace qb
