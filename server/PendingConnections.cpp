#include "server/PendingConnections.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>

#include "server/RefusalLog.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// Reads of one connection per wake-up, so that one fast sender does not keep
// the others waiting; what is left is read at the next wake-up.
constexpr int kReadsPerWake = 16;
constexpr int kEventsPerWait = 256;

// Adds `fd` to the `epoll` set for `events`; false on failure.
bool Watch(int epoll, int fd, uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

// What `receiver` may hold after its next read: up to kSmallRequestBytes
// freely; past that, the size its request announces, or without one the next
// doubling step (the receiver's buffer grows by doubling too), up to the
// largest request.
size_t MayHold(const RequestReceiver& receiver) {
  if (receiver.Announced() > 0) {
    return std::max(receiver.Announced(), receiver.Size() + 1);
  }
  if (receiver.Size() < kSmallRequestBytes) {
    return kSmallRequestBytes;
  }
  if (receiver.Size() >= kMaxRequestBytes / 2) {
    return kMaxRequestBytes + 1;
  }
  return std::bit_ceil(receiver.Size() + kReadChunk);
}

}  // namespace

PendingConnections::PendingConnections(DoneFn done)
    : m_done(std::move(done)), m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_chunk(kReadChunk) {}

PendingConnections::~PendingConnections() { CloseAll(); }

void PendingConnections::Add(int socket, ConnectionLimits::Ticket ticket, Clock::time_point now,
                             std::string peer) {
  const auto [it, inserted] =
      m_connections.try_emplace(socket, UniqueFd(socket), std::move(ticket), now, std::move(peer));
  Connection& conn = it->second;
  // Most clients send their request right after connecting, so it is often
  // complete by the time the connection is taken: read before watching, and a
  // complete request never costs a watch.
  const Outcome outcome = Read(conn, now);
  if (outcome != Outcome::kWaiting) {
    Finish(socket, outcome);
    return;
  }
  if (conn.held) {
    return;  // waits for a large share; watched again once it has one
  }
  if (!Watch(m_epoll.Get(), socket, EPOLLIN | EPOLLRDHUP)) {
    LogError(std::string("cannot watch a connection: ") + std::strerror(errno));
    m_connections.erase(it);  // closes the socket
    return;
  }
  conn.watched = true;
  m_nextDeadline = std::min(m_nextDeadline, conn.receiver.Deadline());
}

void PendingConnections::WatchListeners(const std::vector<int>& listenSockets) {
  if (listenSockets == m_watchedListeners) {
    return;
  }
  for (const int socket : m_watchedListeners) {
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, socket, nullptr);
  }
  m_watchedListeners.clear();
  for (const int socket : listenSockets) {
    if (Watch(m_epoll.Get(), socket, EPOLLIN)) {
      m_watchedListeners.push_back(socket);
    }
  }
}

bool PendingConnections::WakeOn(Notifier& notifier) {
  if (!notifier.Valid() || !Watch(m_epoll.Get(), notifier.Fd(), EPOLLIN)) {
    return false;
  }
  m_notifiers.push_back(&notifier);
  return true;
}

const std::vector<int>& PendingConnections::Poll(const std::vector<int>& listenSockets,
                                                 int timeoutMs) {
  if (!m_held.empty()) {
    ResumeHeld(Clock::now());
  }
  WatchListeners(listenSockets);
  int timeout = timeoutMs;
  if (m_nextDeadline != Clock::time_point::max()) {
    const auto untilDeadline = std::chrono::ceil<std::chrono::milliseconds>(m_nextDeadline -
                                                                             Clock::now());
    const int64_t bound = timeoutMs < 0 ? INT_MAX : timeoutMs;
    timeout = static_cast<int>(std::clamp<int64_t>(untilDeadline.count(), 0, bound));
  }
  epoll_event events[kEventsPerWait];
  const int n = ::epoll_wait(m_epoll.Get(), events, kEventsPerWait, timeout);
  const Clock::time_point now = Clock::now();
  m_readyListeners.clear();
  for (int i = 0; i < n; ++i) {
    const int socket = events[i].data.fd;
    if (std::find(m_watchedListeners.begin(), m_watchedListeners.end(), socket) !=
        m_watchedListeners.end()) {
      m_readyListeners.push_back(socket);
      continue;
    }
    const auto notifier = std::find_if(m_notifiers.begin(), m_notifiers.end(),
                                       [socket](const Notifier* n) { return n->Fd() == socket; });
    if (notifier != m_notifiers.end()) {
      (*notifier)->Clear();
      continue;
    }
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->second.held) {
      continue;
    }
    const Outcome outcome = Read(it->second, now);
    if (outcome != Outcome::kWaiting) {
      Finish(socket, outcome);
    } else {
      m_nextDeadline = std::min(m_nextDeadline, it->second.receiver.Deadline());
    }
  }
  if (now >= m_nextDeadline) {
    CheckDeadlines(now);
  }
  return m_readyListeners;
}

PendingConnections::Outcome PendingConnections::Read(Connection& conn, Clock::time_point now) {
  RequestReceiver& receiver = conn.receiver;
  for (int i = 0; i < kReadsPerWake; ++i) {
    const size_t may = MayHold(receiver);
    if (may > kSmallRequestBytes) {
      if (!conn.ticket.HoldsLarge() && !conn.ticket.TakeLarge()) {
        // No large share free: stop reading this one until there is.
        if (conn.watched) {
          ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, conn.socket.Get(), nullptr);
          conn.watched = false;
        }
        conn.held = true;
        m_held.push_back(conn.socket.Get());
        return Outcome::kWaiting;
      }
      if (!conn.ticket.CoverBody(may)) {
        Refusals().Log("bodies budget",
                       "refused a request of " + std::to_string(may) + " bytes from " +
                           (conn.peer.empty() ? std::string("a local peer") : conn.peer) +
                           " unread: the requests being received hold as much as the server "
                           "takes at once (or this peer its share of it); answered 503");
        return Outcome::kNoRoom;
      }
    }
    const size_t room = std::min({m_chunk.size(), receiver.Room(), may - receiver.Size()});
    const ssize_t n = ::recv(conn.socket.Get(), m_chunk.data(), room, 0);
    if (n > 0) {
      const Outcome outcome =
          receiver.OnBytes(std::string_view(m_chunk.data(), static_cast<size_t>(n)), now);
      if (outcome != Outcome::kWaiting) {
        return outcome;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return Outcome::kWaiting;
    }
    return receiver.OnClosed();  // the sender closed its side, or the connection failed
  }
  return Outcome::kWaiting;
}

void PendingConnections::Finish(int socket, Outcome outcome) {
  auto node = m_connections.extract(socket);
  if (node.empty()) {
    return;
  }
  if (m_connections.empty()) {
    m_nextDeadline = Clock::time_point::max();  // no wake-up for a deadline that left
  }
  Connection& conn = node.mapped();
  if (conn.watched) {
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, socket, nullptr);
  }
  if (conn.held) {
    m_held.erase(std::find(m_held.begin(), m_held.end(), socket));
  }
  std::string request = outcome == Outcome::kComplete ? conn.receiver.TakeRequest() : std::string();
  m_done(conn.socket.Release(), outcome, std::move(request), std::move(conn.ticket));
}

void PendingConnections::CheckDeadlines(Clock::time_point now) {
  std::vector<std::pair<int, Outcome>> done;
  Clock::time_point next = Clock::time_point::max();
  for (auto& [socket, conn] : m_connections) {
    if (conn.held) {
      continue;
    }
    const Outcome outcome = conn.receiver.OnTimer(now);
    if (outcome != Outcome::kWaiting) {
      if (outcome == Outcome::kNothing && conn.receiver.DropReason() != nullptr) {
        m_refusals.Note(conn.receiver.DropReason(), now);
      }
      done.emplace_back(socket, outcome);
    } else {
      next = std::min(next, conn.receiver.Deadline());
    }
  }
  m_nextDeadline = next;
  for (const auto& [socket, outcome] : done) {
    Finish(socket, outcome);
  }
}

bool PendingConnections::EvictIdlest(const std::string* peer, Clock::time_point idleSince) {
  int idlest = -1;
  Clock::time_point idlestActivity = idleSince;
  for (const auto& [socket, conn] : m_connections) {
    if (conn.receiver.LastActivity() < idlestActivity && (peer == nullptr || conn.peer == *peer)) {
      idlest = socket;
      idlestActivity = conn.receiver.LastActivity();
    }
  }
  if (idlest < 0) {
    return false;
  }
  m_refusals.Note("an idle waiting request gave way to a new connection", Clock::now());
  Finish(idlest, Outcome::kNothing);
  return true;
}

void PendingConnections::ResumeHeld(Clock::time_point now) {
  while (!m_held.empty()) {
    const auto it = m_connections.find(m_held.front());
    if (it != m_connections.end()) {
      Connection& conn = it->second;
      if (!conn.ticket.TakeLarge()) {
        return;  // the oldest waits first
      }
      conn.watched = Watch(m_epoll.Get(), conn.socket.Get(), EPOLLIN | EPOLLRDHUP);
      conn.held = false;
      conn.receiver.Restart(now);
      m_nextDeadline = std::min(m_nextDeadline, conn.receiver.Deadline());
    }
    m_held.erase(m_held.begin());
  }
}

PendingConnections::Clock::time_point PendingConnections::IdlestSince() const {
  Clock::time_point idlest = Clock::time_point::max();
  for (const auto& [socket, conn] : m_connections) {
    idlest = std::min(idlest, conn.receiver.LastActivity());
  }
  return idlest;
}

void PendingConnections::CloseAll() {
  WatchListeners({});
  m_connections.clear();  // closes every socket, which also ends its watch
  m_held.clear();
  m_nextDeadline = Clock::time_point::max();
}

}  // namespace qb
