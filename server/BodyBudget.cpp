#include "server/BodyBudget.h"

#include <algorithm>

#include "server/RequestFramer.h"

namespace qb {

BodyBudget::BodyBudget(size_t total)
    : m_total(total), m_peerShare(std::min(total, std::max(total / 2, kMaxRequestBytes + 1))) {}

bool BodyBudget::Take(const std::string& peer, size_t bytes) {
  if (bytes == 0) {
    return true;
  }
  size_t& byPeer = m_perPeer[peer];
  if (bytes > m_total - m_held || bytes > m_peerShare - byPeer) {
    if (byPeer == 0) {
      m_perPeer.erase(peer);
    }
    return false;
  }
  byPeer += bytes;
  m_held += bytes;
  return true;
}

void BodyBudget::Give(const std::string& peer, size_t bytes) {
  if (bytes == 0) {
    return;
  }
  const auto it = m_perPeer.find(peer);
  if (it == m_perPeer.end()) {
    return;
  }
  const size_t given = std::min(bytes, it->second);
  m_held -= given;
  it->second -= given;
  if (it->second == 0) {
    m_perPeer.erase(it);
  }
}

size_t BodyBudget::HeldBy(const std::string& peer) const {
  const auto it = m_perPeer.find(peer);
  return it == m_perPeer.end() ? 0 : it->second;
}

}  // namespace qb
