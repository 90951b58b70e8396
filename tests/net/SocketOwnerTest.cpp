#include "net/SocketOwner.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace qb {
namespace {

// Connections over loopback to one listener, as the listener sees them:
// `ends` of each accepted socket, in the order they were made.
struct LoopbackConnections {
  explicit LoopbackConnections(size_t count) {
    listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener.Get(), 128), 0);
    EXPECT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    for (size_t i = 0; i < count; ++i) {
      clients.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      EXPECT_EQ(::connect(clients.back().Get(), reinterpret_cast<sockaddr*>(&address),
                          sizeof address),
                0);
      accepted.emplace_back(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      const std::optional<Endpoint> peer = Endpoint::PeerOf(accepted.back().Get());
      const std::optional<Endpoint> local = Endpoint::LocalOf(accepted.back().Get());
      EXPECT_TRUE(peer && local);
      ends.push_back({*peer, *local});
    }
  }
  UniqueFd listener;
  std::vector<UniqueFd> clients;
  std::vector<UniqueFd> accepted;
  std::vector<SocketOwner::Ends> ends;
};

// Many connections asked for together (more than one request's worth), with
// ends that are no socket of this computer among them: each answer is the one
// asked for alone, in the order asked.
TEST(SocketOwner, OwnersAskedTogetherAreTheOnesAskedAlone) {
  LoopbackConnections connections(40);
  std::vector<SocketOwner::Ends> asked = connections.ends;
  SocketOwner::Ends nobody = asked.front();
  nobody.peer.port = 1;  // no client socket has this port
  asked.insert(asked.begin() + 3, nobody);
  asked.insert(asked.begin() + 35, nobody);
  asked.push_back(nobody);

  SocketOwner together;
  const std::vector<SocketOwner::Result> owners = together.PeersOf(asked);
  ASSERT_EQ(owners.size(), asked.size());
  SocketOwner alone;
  for (size_t i = 0; i < asked.size(); ++i) {
    const SocketOwner::Result one = alone.PeerOf(asked[i].peer, asked[i].local);
    EXPECT_EQ(owners[i].status, one.status) << i;
    EXPECT_EQ(owners[i].uid, one.uid) << i;
    EXPECT_EQ(owners[i].held, one.held) << i;
    const bool isNobody = i == 3 || i == 35 || i == asked.size() - 1;
    EXPECT_EQ(owners[i].status,
              isNobody ? SocketOwner::Status::kNotLocal : SocketOwner::Status::kFound)
        << i;
    if (!isNobody) {
      EXPECT_EQ(owners[i].uid, ::getuid()) << i;
      EXPECT_TRUE(owners[i].held) << i;
    }
  }
  EXPECT_TRUE(together.PeersOf({}).empty());
  // Later lookups on the same socket are not confused by earlier answers.
  const SocketOwner::Result again = together.PeerOf(asked[5].peer, asked[5].local);
  EXPECT_EQ(again.status, SocketOwner::Status::kFound);
  EXPECT_EQ(again.uid, ::getuid());
}

}  // namespace
}  // namespace qb
