#include "broker/PortBroker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "net/BrokerMessages.h"
#include "net/ListeningSocket.h"
#include "util/Log.h"

namespace qb {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAcceptsPerWake = 64;
constexpr int kEventsPerWait = 64;
constexpr int kRegistrationBacklog = 128;
// Connections kept for a registered server whose queue is full; beyond it
// they are refused.
constexpr size_t kMaxQueued = 1024;
// Registration connections of one user that have not said what they want
// yet; beyond it the oldest is closed.
constexpr size_t kMaxNewPerUser = 4;
constexpr std::chrono::seconds kRefusalLogInterval{60};

constexpr std::string_view kUnknownUserAnswer =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 55\r\n"
    "Connection: close\r\n"
    "\r\n"
    "the port broker cannot tell which user connected to it\n";

// Answers `answer` on `client` without waiting and closes it. What the client
// sent is never read.
void Answer(UniqueFd client, std::string_view answer) {
  ::send(client.Get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  ::shutdown(client.Get(), SHUT_WR);
}

// True while the peer of `fd` is still there.
bool Alive(int fd) {
  pollfd watched{fd, POLLIN, 0};
  if (::poll(&watched, 1, 0) < 0) {
    return true;
  }
  return (watched.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL)) == 0;
}

int SocketOption(int fd, int option) {
  int value = -1;
  socklen_t length = sizeof value;
  return ::getsockopt(fd, SOL_SOCKET, option, &value, &length) == 0 ? value : -1;
}

}  // namespace

PortBroker::PortBroker(Options options)
    : m_port(options.port),
      m_socketPath(std::move(options.socketPath)),
      m_passed(std::move(options.passed)),
      m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {}

PortBroker::~PortBroker() {
  // The socket file goes with this broker, unless another has replaced it.
  struct stat info {};
  if (m_socketInode != 0 && ::stat(m_socketPath.c_str(), &info) == 0 &&
      info.st_ino == m_socketInode) {
    ::unlink(m_socketPath.c_str());
  }
}

bool PortBroker::Start() {
  if (!m_epoll.Valid()) {
    LogError(std::string("cannot wait for events: ") + std::strerror(errno));
    return false;
  }
  for (UniqueFd& fd : m_passed) {
    const int domain = SocketOption(fd.Get(), SO_DOMAIN);
    const int type = SocketOption(fd.Get(), SO_TYPE);
    if (domain == AF_UNIX && type == SOCK_SEQPACKET && !m_registrar.Valid()) {
      m_registrar = std::move(fd);
    } else if ((domain == AF_INET || domain == AF_INET6) && type == SOCK_STREAM) {
      const std::optional<Endpoint> end = Endpoint::LocalOf(fd.Get());
      if (end) {
        m_ports.push_back(end->port);
      }
      m_listenerEnds.push_back(end && !end->IsWildcard() ? end : std::nullopt);
      m_listeners.push_back(std::move(fd));
    } else {
      LogWarning("ignoring a passed socket that is neither a TCP listener nor the registration "
                 "socket");
    }
  }
  m_passed.clear();
  if (!SetUpRegistration()) {
    return false;
  }
  if (m_listeners.empty()) {
    BindPort();  // retried by Run while the port is taken
  } else {
    for (const UniqueFd& listener : m_listeners) {
      ::fcntl(listener.Get(), F_SETFL, ::fcntl(listener.Get(), F_GETFL) | O_NONBLOCK);
      Watch(listener.Get(), EPOLLIN);
    }
    LogInfo("taking connections on the " + std::to_string(m_listeners.size()) +
            " socket(s) passed by the service manager");
  }
  return true;
}

bool PortBroker::SetUpRegistration() {
  if (m_registrar.Valid()) {
    ::fcntl(m_registrar.Get(), F_SETFL, ::fcntl(m_registrar.Get(), F_GETFL) | O_NONBLOCK);
    Watch(m_registrar.Get(), EPOLLIN);
    LogInfo("servers register on the socket passed by the service manager");
    return true;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (m_socketPath.empty() || m_socketPath.size() >= sizeof address.sun_path) {
    LogError("the registration socket path \"" + m_socketPath + "\" is empty or too long");
    return false;
  }
  std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
  // A socket file left by a broker that ended is replaced; one a broker
  // still answers on is not.
  {
    UniqueFd probe(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (probe.Valid() &&
        ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      LogError("another port broker is running on " + m_socketPath);
      return false;
    }
  }
  // Made under another name and moved into place once it listens, so that a
  // server that sees it appear can register at once.
  const std::string staged = m_socketPath + ".new";
  sockaddr_un stagedAddress{};
  stagedAddress.sun_family = AF_UNIX;
  if (staged.size() >= sizeof stagedAddress.sun_path) {
    LogError("the registration socket path \"" + m_socketPath + "\" is too long");
    return false;
  }
  std::memcpy(stagedAddress.sun_path, staged.c_str(), staged.size() + 1);
  ::unlink(staged.c_str());
  m_registrar.Reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!m_registrar.Valid() ||
      ::bind(m_registrar.Get(), reinterpret_cast<const sockaddr*>(&stagedAddress),
             sizeof stagedAddress) != 0 ||
      ::chmod(staged.c_str(), 0666) != 0 ||
      ::listen(m_registrar.Get(), kRegistrationBacklog) != 0 ||
      ::rename(staged.c_str(), m_socketPath.c_str()) != 0) {
    LogError("cannot make the registration socket " + m_socketPath + ": " + std::strerror(errno));
    ::unlink(staged.c_str());
    return false;
  }
  struct stat info {};
  if (::stat(m_socketPath.c_str(), &info) == 0) {
    m_socketInode = info.st_ino;
  }
  Watch(m_registrar.Get(), EPOLLIN);
  LogInfo("servers register on " + m_socketPath);
  return true;
}

bool PortBroker::BindPort() {
  struct Address {
    const char* text;
    int family;
    bool optional;  // a system without it is served on the others
  };
  static constexpr Address kLoopback[] = {{"127.0.0.1", AF_INET, false}, {"::1", AF_INET6, true}};
  std::vector<UniqueFd> bound;
  std::vector<std::string> texts;
  for (const Address& one : kLoopback) {
    sockaddr_storage address{};
    socklen_t length = 0;
    if (one.family == AF_INET) {
      auto& v4 = reinterpret_cast<sockaddr_in&>(address);
      v4.sin_family = AF_INET;
      v4.sin_port = htons(m_port);
      ::inet_pton(AF_INET, one.text, &v4.sin_addr);
      length = sizeof v4;
    } else {
      auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(m_port);
      ::inet_pton(AF_INET6, one.text, &v6.sin6_addr);
      length = sizeof v6;
    }
    Result<UniqueFd> listener = OpenListeningSocket(address, length, {.ipv6Only = true});
    if (listener) {
      bound.push_back(std::move(*listener));
      texts.push_back(one.text);
      continue;
    }
    const int error = listener.Code();
    if (one.optional && (error == EADDRNOTAVAIL || error == EAFNOSUPPORT)) {
      continue;
    }
    if (!m_bindFailureReported) {
      m_bindFailureReported = true;
      std::string holder;
      if (error == EADDRINUSE) {
        const std::optional<Endpoint> end = Endpoint::From(address);
        const std::optional<uid_t> owner = end ? SocketOwner::ListenerOwner(*end) : std::nullopt;
        holder = owner ? ", held by a program of " + SocketOwner::Describe(*owner) : "";
      }
      LogInfo(std::string("cannot listen on ") + one.text + " port " + std::to_string(m_port) +
              " (" + std::strerror(error) + holder + "); retrying every " +
              std::to_string(kBindRetry.count()) + " ms");
    }
    return false;
  }
  m_bindFailureReported = false;
  for (UniqueFd& listener : bound) {
    Watch(listener.Get(), EPOLLIN);
    m_listenerEnds.push_back(Endpoint::LocalOf(listener.Get()));
    m_listeners.push_back(std::move(listener));
  }
  m_ports = {m_port};
  std::string where;
  for (const std::string& text : texts) {
    where += (where.empty() ? "" : " and ") + text;
  }
  LogInfo("listening on " + where + " port " + std::to_string(m_port));
  return true;
}

void PortBroker::Watch(int fd, uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  if (::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd, &event) != 0 &&
      ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, fd, &event) != 0) {
    LogError(std::string("cannot watch a socket: ") + std::strerror(errno));
  }
}

void PortBroker::Run(int stopFd) {
  Watch(stopFd, EPOLLIN);
  auto nextBind = Clock::now() + kBindRetry;
  for (;;) {
    int timeout = -1;
    if (m_listeners.empty()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextBind - Clock::now());
      timeout = static_cast<int>(std::max<int64_t>(left.count(), 0));
    }
    epoll_event events[kEventsPerWait];
    const int n = ::epoll_wait(m_epoll.Get(), events, kEventsPerWait, timeout);
    if (n < 0 && errno != EINTR) {
      LogError(std::string("waiting for events failed: ") + std::strerror(errno));
      return;
    }
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == stopFd) {
        return;
      }
      if (fd == m_registrar.Get()) {
        AcceptServers();
        continue;
      }
      const auto listener = std::find_if(m_listeners.begin(), m_listeners.end(),
                                         [fd](const UniqueFd& one) { return one.Get() == fd; });
      if (listener != m_listeners.end()) {
        AcceptClients(static_cast<size_t>(listener - m_listeners.begin()));
        continue;
      }
      OnServerEvent(fd, events[i].events);
    }
    if (m_listeners.empty() && Clock::now() >= nextBind) {
      BindPort();
      nextBind = Clock::now() + kBindRetry;
    }
  }
}

void PortBroker::AcceptClients(size_t listener) {
  // The connections waiting are taken together, their owners asked for in
  // one lookup and each server handed its own in one call.
  std::vector<UniqueFd> clients;
  std::vector<SocketOwner::Ends> ends;
  for (int i = 0; i < kAcceptsPerWake; ++i) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int client = ::accept4(m_listeners[listener].Get(), reinterpret_cast<sockaddr*>(&address),
                                 &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        LogError(std::string("accept failed: ") + std::strerror(errno));
      }
      break;
    }
    UniqueFd accepted(client);
    const std::optional<Endpoint> peer = Endpoint::From(address);
    const std::optional<Endpoint> local =
        m_listenerEnds[listener] ? m_listenerEnds[listener] : Endpoint::LocalOf(client);
    if (!peer || !local) {
      RefuseUnknown(std::move(accepted));
      continue;
    }
    clients.push_back(std::move(accepted));
    ends.push_back({*peer, *local});
  }
  const std::vector<SocketOwner::Result> owners = m_owner.PeersOf(ends);
  std::vector<int> handedTo;  // servers given connections in this wake
  for (size_t i = 0; i < clients.size(); ++i) {
    Route(std::move(clients[i]), owners[i], &handedTo);
  }
  for (const int server : handedTo) {
    const auto it = m_servers.find(server);
    if (it != m_servers.end()) {
      SendQueued(it->second);
    }
  }
}

void PortBroker::RefuseUnknown(UniqueFd client) {
  NoteRefusal(static_cast<uid_t>(-1), "refused a connection: cannot tell which user made it");
  Answer(std::move(client), kUnknownUserAnswer);
}

void PortBroker::Route(UniqueFd client, const SocketOwner::Result& owner,
                       std::vector<int>* handedTo) {
  if (owner.status != SocketOwner::Status::kFound) {
    RefuseUnknown(std::move(client));
    return;
  }
  if (!owner.held && owner.uid == 0) {
    return;  // closed before its owner could be told: nobody reads an answer
  }
  const auto registered = m_registered.find(owner.uid);
  if (registered == m_registered.end()) {
    NoteRefusal(owner.uid, "no label server is registered for " +
                               SocketOwner::Describe(owner.uid) + ": its connections get 503");
    Answer(std::move(client), kNoServerAnswer);
    return;
  }
  Server& server = m_servers.at(registered->second);
  if (server.queued.size() >= kMaxQueued) {
    NoteRefusal(server.uid, "the label server of " + SocketOwner::Describe(server.uid) +
                                " takes no connections; refusing them");
    Answer(std::move(client), kNoServerAnswer);
    return;
  }
  if (server.queued.empty() && !server.sending) {
    handedTo->push_back(registered->second);
  }
  server.queued.push_back(std::move(client));
}

bool PortBroker::SendQueued(Server& server) {
  std::vector<int> fds;
  fds.reserve(server.queued.size());
  for (const UniqueFd& client : server.queued) {
    fds.push_back(client.Get());
  }
  const SentMessages sent = SendMessages(server.socket.Get(), kConnectionMessage, fds);
  // The server holds the ones sent now; these copies close.
  server.queued.erase(server.queued.begin(),
                      server.queued.begin() + static_cast<std::ptrdiff_t>(sent.count));
  if (sent.error != 0 && sent.error != EAGAIN && sent.error != EWOULDBLOCK) {
    LogInfo("cannot pass a connection to " + Who(server) + ": " + std::strerror(sent.error));
    Drop(server.socket.Get());  // answers the ones left
    return false;
  }
  // A full queue is watched until it drains.
  const bool sending = !server.queued.empty();
  if (sending != server.sending) {
    server.sending = sending;
    Watch(server.socket.Get(), sending ? EPOLLIN | EPOLLOUT : EPOLLIN | EPOLLRDHUP);
  }
  return true;
}

void PortBroker::AcceptServers() {
  for (int i = 0; i < kAcceptsPerWake; ++i) {
    const int fd = ::accept4(m_registrar.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        LogError(std::string("accept on the registration socket failed: ") + std::strerror(errno));
      }
      return;
    }
    UniqueFd socket(fd);
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
      continue;  // closes it
    }
    Server& server = m_servers[fd];
    server.socket = std::move(socket);
    server.uid = credentials.uid;
    server.pid = credentials.pid;
    std::deque<int>& fresh = m_new[server.uid];
    fresh.push_back(fd);
    Watch(fd, EPOLLIN | EPOLLRDHUP);
    if (fresh.size() > kMaxNewPerUser) {
      Drop(fresh.front());
    }
    if (m_servers.count(fd) != 0) {
      OnServerEvent(fd, EPOLLIN);  // its registration is most often there already
    }
  }
}

void PortBroker::OnServerEvent(int fd, uint32_t events) {
  const auto it = m_servers.find(fd);
  if (it == m_servers.end()) {
    return;
  }
  Server& server = it->second;
  if ((events & EPOLLOUT) != 0 && !SendQueued(server)) {
    return;  // dropped
  }
  for (;;) {
    BrokerMessage message = ReceiveMessage(fd);
    if (message.kind == BrokerMessage::Kind::kNone) {
      break;
    }
    if (message.kind == BrokerMessage::Kind::kClosed) {
      Drop(fd);
      return;
    }
    if (server.state == Server::State::kNew) {
      Register(server, message.text);
      return;  // it may be gone
    }
  }
  if ((events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) != 0) {
    Drop(fd);
  }
}

void PortBroker::Register(Server& server, std::string_view message) {
  const int fd = server.socket.Get();
  std::deque<int>& fresh = m_new[server.uid];
  fresh.erase(std::remove(fresh.begin(), fresh.end(), fd), fresh.end());
  if (fresh.empty()) {
    m_new.erase(server.uid);
  }
  unsigned port = 0;
  const std::string_view number = message.substr(std::min(message.size(), kRegisterMessage.size()));
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), port);
  if (!message.starts_with(kRegisterMessage) || error != std::errc() ||
      end != number.data() + number.size()) {
    LogInfo("closed a registration that was not understood, from " + Who(server));
    Drop(fd);
    return;
  }
  if (!m_ports.empty() && std::find(m_ports.begin(), m_ports.end(), port) == m_ports.end()) {
    SendMessage(fd, std::string(kOtherPortMessage) + std::to_string(m_ports.front()));
    LogInfo(Who(server) + " listens on port " + std::to_string(port) + ", not on port " +
            std::to_string(m_ports.front()) + " of this broker; it binds its own");
    Drop(fd);
    return;
  }
  const auto registered = m_registered.find(server.uid);
  if (registered != m_registered.end() && !Alive(registered->second)) {
    Drop(registered->second);  // gone: the first waiting one, if any, takes its place
  }
  if (m_registered.count(server.uid) != 0) {
    server.state = Server::State::kWaiting;
    m_waiting[server.uid].push_back(fd);
    SendMessage(fd, kWaitingMessage);
    LogInfo(Who(server) + " waits: another label server of that user is registered");
    return;
  }
  Activate(server);
}

void PortBroker::Activate(Server& server) {
  server.state = Server::State::kRegistered;
  m_registered[server.uid] = server.socket.Get();
  if (SendMessage(server.socket.Get(), kRegisteredMessage) != 0) {
    Drop(server.socket.Get());
    return;
  }
  LogInfo("registered " + Who(server) + ": its user's connections go to it");
}

void PortBroker::Drop(int fd) {
  auto node = m_servers.extract(fd);
  if (node.empty()) {
    return;
  }
  Server& server = node.mapped();
  ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, fd, nullptr);
  const auto forget = [fd](std::unordered_map<uid_t, std::deque<int>>& lists, uid_t uid) {
    const auto list = lists.find(uid);
    if (list != lists.end()) {
      list->second.erase(std::remove(list->second.begin(), list->second.end(), fd),
                         list->second.end());
      if (list->second.empty()) {
        lists.erase(list);
      }
    }
  };
  forget(m_new, server.uid);
  forget(m_waiting, server.uid);
  for (UniqueFd& client : server.queued) {
    Answer(std::move(client), kNoServerAnswer);
  }
  if (server.state != Server::State::kRegistered) {
    return;
  }
  m_registered.erase(server.uid);
  LogInfo(Who(server) + " has gone");
  // The next waiting server of the user that is still there takes over.
  for (;;) {
    const auto waiting = m_waiting.find(server.uid);
    if (waiting == m_waiting.end()) {
      return;
    }
    const int next = waiting->second.front();
    if (Alive(next)) {
      waiting->second.pop_front();
      if (waiting->second.empty()) {
        m_waiting.erase(waiting);
      }
      Activate(m_servers.at(next));
      return;
    }
    Drop(next);
  }
}

void PortBroker::NoteRefusal(uid_t uid, const std::string& message) {
  const auto now = Clock::now();
  auto [it, inserted] = m_refusalLogged.try_emplace(uid, now);
  if (!inserted) {
    if (now - it->second < kRefusalLogInterval) {
      return;
    }
    it->second = now;
  }
  if (m_refusalLogged.size() > 4096) {
    m_refusalLogged.clear();  // many users at once: at worst logged again
  }
  LogInfo(message);
}

std::string PortBroker::Who(const Server& server) const {
  return "the label server of " + SocketOwner::Describe(server.uid) + " (pid " +
         std::to_string(server.pid) + ")";
}

}  // namespace qb
