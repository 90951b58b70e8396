// What finding the owner of a connecting socket costs the listener per
// connection: the socket diagnostics lookup it uses, the /proc/net/tcp
// fallback, and for scale the accept/connect/close of one loopback
// connection without any lookup.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "net/SocketOwner.h"
#include "util/UniqueFd.h"

namespace {

// A listener on 127.0.0.1 and one connection to it, seen from the server.
struct Connection {
  qb::UniqueFd listener;
  qb::UniqueFd client;
  qb::UniqueFd accepted;
  qb::Endpoint peer;
  qb::Endpoint local;

  Connection() {
    listener.Reset(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.Get(), 16) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    client.Reset(::socket(AF_INET, SOCK_STREAM, 0));
    if (::connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      std::abort();
    }
    sockaddr_storage peerAddress{};
    socklen_t peerLength = sizeof peerAddress;
    accepted.Reset(::accept(listener.Get(), reinterpret_cast<sockaddr*>(&peerAddress), &peerLength));
    sockaddr_storage localAddress{};
    socklen_t localLength = sizeof localAddress;
    ::getsockname(accepted.Get(), reinterpret_cast<sockaddr*>(&localAddress), &localLength);
    peer = *qb::Endpoint::From(peerAddress);
    local = *qb::Endpoint::From(localAddress);
  }
};

// Times `lookup(connection)`, which must find this process's user.
template <typename Lookup>
void TimeLookup(benchmark::State& state, Lookup lookup) {
  Connection connection;
  for (auto _ : state) {
    const qb::SocketOwner::Result result = lookup(connection);
    if (result.status != qb::SocketOwner::Status::kFound || result.uid != ::geteuid()) {
      state.SkipWithError("lookup failed");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
}

void BM_OwnerBySocketDiagnostics(benchmark::State& state) {
  qb::SocketOwner owner;
  TimeLookup(state, [&](const Connection& c) { return owner.PeerOf(c.peer, c.local); });
}
BENCHMARK(BM_OwnerBySocketDiagnostics);

// Reads every row of the tables: its cost grows with the sockets of the
// whole system (time-wait ones included).
void BM_OwnerByProcTables(benchmark::State& state) {
  TimeLookup(state,
             [](const Connection& c) { return qb::SocketOwner::ReadTables(c.peer, c.local); });
}
BENCHMARK(BM_OwnerByProcTables);

// For scale: one loopback connection made, accepted and closed.
void BM_LoopbackConnection(benchmark::State& state) {
  Connection connection;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(connection.listener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  for (auto _ : state) {
    qb::UniqueFd client(::socket(AF_INET, SOCK_STREAM, 0));
    ::connect(client.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    qb::UniqueFd accepted(::accept(connection.listener.Get(), nullptr, nullptr));
    benchmark::DoNotOptimize(accepted.Get());
  }
}
BENCHMARK(BM_LoopbackConnection);

}  // namespace
