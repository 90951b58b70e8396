#include "server/ConnectionLimits.h"

#include <sys/resource.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "util/EnvNumber.h"
#include "util/MutexLock.h"

namespace qb {

ConnectionLimits::Ticket::Ticket(Ticket&& other) noexcept
    : m_limits(std::exchange(other.m_limits, nullptr)),
      m_large(std::exchange(other.m_large, false)),
      m_body(std::exchange(other.m_body, 0)),
      m_peer(std::move(other.m_peer)) {
  other.m_peer.clear();
}

ConnectionLimits::Ticket& ConnectionLimits::Ticket::operator=(Ticket&& other) noexcept {
  if (this != &other) {
    Reset();
    m_limits = std::exchange(other.m_limits, nullptr);
    m_large = std::exchange(other.m_large, false);
    m_body = std::exchange(other.m_body, 0);
    m_peer = std::move(other.m_peer);
    other.m_peer.clear();
  }
  return *this;
}

bool ConnectionLimits::Ticket::TakeLarge() {
  if (m_large || m_limits == nullptr) {
    return m_large;
  }
  MutexLock lock(m_limits->m_mutex);
  if (m_limits->m_large >= m_limits->m_maxLarge) {
    return false;
  }
  ++m_limits->m_large;
  m_large = true;
  return true;
}

bool ConnectionLimits::Ticket::SetPeer(const std::string& peer) {
  // A grant already taken stays with the peer it was taken for.
  if (m_limits == nullptr || !m_peer.empty() || peer.empty() || m_body > 0) {
    return m_limits != nullptr;
  }
  MutexLock lock(m_limits->m_mutex);
  size_t& count = m_limits->m_perPeer[peer];
  if (count >= m_limits->m_maxPerPeer) {
    if (count == 0) {
      m_limits->m_perPeer.erase(peer);
    }
    return false;
  }
  ++count;
  m_peer = peer;
  return true;
}

bool ConnectionLimits::Ticket::CoverBody(size_t bytes) {
  if (m_limits == nullptr || bytes <= m_body) {
    return m_limits != nullptr;
  }
  MutexLock lock(m_limits->m_mutex);
  if (!m_limits->m_bodies.Take(m_peer, bytes - m_body)) {
    return false;
  }
  m_body = bytes;
  return true;
}

void ConnectionLimits::Ticket::Reset() {
  if (m_limits == nullptr) {
    return;
  }
  bool wasBound = false;
  {
    MutexLock lock(m_limits->m_mutex);
    wasBound = m_limits->m_open-- == m_limits->m_maxOpen;
    if (m_large) {
      wasBound = m_limits->m_large-- == m_limits->m_maxLarge || wasBound;
    }
    m_limits->m_bodies.Give(m_peer, m_body);
    if (!m_peer.empty()) {
      const auto it = m_limits->m_perPeer.find(m_peer);
      if (it != m_limits->m_perPeer.end() && --it->second == 0) {
        m_limits->m_perPeer.erase(it);
      }
      m_peer.clear();
    }
  }
  if (wasBound) {
    m_limits->m_freed.Notify();
  }
  m_limits = nullptr;
  m_large = false;
  m_body = 0;
}

ConnectionLimits::Ticket ConnectionLimits::TryOpen() {
  MutexLock lock(m_mutex);
  if (m_open >= m_maxOpen) {
    return Ticket();
  }
  ++m_open;
  return Ticket(this);
}

bool ConnectionLimits::CanOpen() const {
  MutexLock lock(m_mutex);
  return m_open < m_maxOpen;
}

bool ConnectionLimits::LargeFree() const {
  MutexLock lock(m_mutex);
  return m_large < m_maxLarge;
}

size_t ConnectionLimits::BodiesHeld() const {
  MutexLock lock(m_mutex);
  return m_bodies.Held();
}

size_t ConnectionsPerPeerBound() {
  const std::optional<uint64_t> bound = EnvNumber("QUILLBOX_CONNECTIONS_PER_PEER");
  return bound && *bound > 0 ? static_cast<size_t>(*bound) : kMaxConnectionsPerPeer;
}

size_t OpenConnectionBound() {
  constexpr rlim_t kWanted = kMaxOpenConnections + kReservedDescriptors;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return kMaxOpenConnections;
  }
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWanted) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
    }
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kWanted) {
    return kMaxOpenConnections;
  }
  // A small limit still leaves room for a few connections.
  const rlim_t room = limit.rlim_cur > 2 * kReservedDescriptors ? limit.rlim_cur - kReservedDescriptors
                                                                : limit.rlim_cur / 2;
  return std::max<size_t>(static_cast<size_t>(room), 1);
}

}  // namespace qb
