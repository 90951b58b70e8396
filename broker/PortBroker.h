// The port broker: one process for all users of this computer that listens on
// the label server's port on the loopback addresses, traces each connection
// to the user who owns the client socket (SocketOwner, the lookup the servers
// make themselves) and passes it, unread, to the server that user registered
// (BrokerMessages); a user without one gets kNoServerAnswer. Servers register
// on a Unix socket, and the broker knows their user from that socket
// (SO_PEERCRED), never from what they say. One server per user takes the
// connections; another of the same user waits and follows once the first has
// gone.
//
// Everything happens on one thread in one epoll wait, which ends only for an
// event (a connection, a registration, a server gone, a server's queue
// drained, the stop): idle, the broker never wakes. Only while its port
// cannot be bound does it retry every kBindRetry.
//
// Thread contract: one thread. Start() then Run(); Run() returns once
// `stopFd` is readable.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/SocketOwner.h"
#include "util/UniqueFd.h"

namespace qb {

inline constexpr std::chrono::milliseconds kBindRetry{100};

inline constexpr std::string_view kNoServerAnswer =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 41\r\n"
    "Connection: close\r\n"
    "\r\n"
    "no label server is running for this user\n";

class PortBroker {
 public:
  struct Options {
    uint16_t port = 3210;     // when no listening socket is passed
    std::string socketPath;   // the registration socket, when none is passed
    std::vector<UniqueFd> passed;  // sockets from the service manager
  };

  explicit PortBroker(Options options);
  ~PortBroker();
  PortBroker(const PortBroker&) = delete;
  PortBroker& operator=(const PortBroker&) = delete;

  // Sets up the registration socket and the listening sockets (or the first
  // attempt to bind them). False, with the reason logged, when the broker
  // cannot run.
  bool Start();
  void Run(int stopFd);

 private:
  // A connection on the registration socket.
  struct Server {
    enum class State { kNew, kWaiting, kRegistered };
    UniqueFd socket;
    uid_t uid = 0;
    pid_t pid = 0;
    State state = State::kNew;
    std::deque<UniqueFd> queued;  // connections not passed yet
    bool sending = false;  // its queue was full: watched until it drains
  };

  bool SetUpRegistration();
  // Binds the port on the loopback addresses; false while it is taken.
  bool BindPort();
  void Watch(int fd, uint32_t events);
  void AcceptClients(size_t listener);
  // Queues `client` for the server of its owner, noting in `handedTo` a
  // server whose queue was empty; refuses it when there is none.
  void Route(UniqueFd client, const SocketOwner::Result& owner, std::vector<int>* handedTo);
  void RefuseUnknown(UniqueFd client);
  // Passes the server's queued connections; false when the server failed
  // and was dropped.
  bool SendQueued(Server& server);
  void AcceptServers();
  void OnServerEvent(int fd, uint32_t events);
  void Register(Server& server, std::string_view message);
  void Activate(Server& server);
  // Forgets the server on `fd`; the next waiting server of its user takes
  // its place.
  void Drop(int fd);
  // Logs a refused connection of `uid`, at most once a minute per user.
  void NoteRefusal(uid_t uid, const std::string& message);
  std::string Who(const Server& server) const;

  const uint16_t m_port;
  const std::string m_socketPath;
  std::vector<UniqueFd> m_passed;
  UniqueFd m_epoll;
  UniqueFd m_registrar;
  ino_t m_socketInode = 0;  // of the socket file this broker made; 0: none
  std::vector<UniqueFd> m_listeners;
  std::vector<std::optional<Endpoint>> m_listenerEnds;  // nullopt: a wildcard address
  std::vector<uint16_t> m_ports;                       // served
  bool m_bindFailureReported = false;
  std::unordered_map<int, Server> m_servers;         // by socket
  std::unordered_map<uid_t, int> m_registered;       // uid -> socket
  std::unordered_map<uid_t, std::deque<int>> m_waiting;  // uid -> sockets, oldest first
  std::unordered_map<uid_t, std::deque<int>> m_new;      // not yet registered, oldest first
  std::unordered_map<uid_t, std::chrono::steady_clock::time_point> m_refusalLogged;
  SocketOwner m_owner;
};

}  // namespace qb
