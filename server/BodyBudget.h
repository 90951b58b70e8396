// The accounting of the request bodies in flight across all connections: a
// request that may come to hold more than kSmallRequestBytes must first be
// granted what it may hold here (its announced size, or, without one, a
// doubling step at a time), so that what all connections hold stays within
// one total however many clients send at once. The total is shared fairly:
// one peer address may hold at most half of it (and always room for one
// largest request), so that one client cannot take it all from the others.
// A grant that does not fit is refused, not queued: the caller answers
// kBodyBudgetAnswer before reading the body.
//
// Thread contract: not synchronised; its owner (ConnectionLimits) serialises
// every call with its own mutex.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qb {

inline constexpr size_t kBodyBudgetBytes = size_t{512} * 1024 * 1024;

// The answer to a request refused because the bodies budget is spent.
inline constexpr std::string_view kBodyBudgetAnswer =
    "HTTP/1.1 503 Service Unavailable\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 72\r\n"
    "Retry-After: 5\r\n"
    "Connection: close\r\n"
    "\r\n"
    "the server is receiving too much at once; send this request again later\n";

class BodyBudget {
 public:
  // `total` bytes for all connections; one peer holds at most
  // PeerShare(total).
  explicit BodyBudget(size_t total = kBodyBudgetBytes);

  // Grants `peer` `bytes` more; false, with nothing granted, when that would
  // pass the total or the peer's share.
  bool Take(const std::string& peer, size_t bytes);
  // Gives back `bytes` that `peer` was granted.
  void Give(const std::string& peer, size_t bytes);

  size_t Held() const { return m_held; }
  size_t HeldBy(const std::string& peer) const;
  size_t PeerShare() const { return m_peerShare; }

 private:
  const size_t m_total;
  const size_t m_peerShare;
  size_t m_held = 0;
  std::unordered_map<std::string, size_t> m_perPeer;  // peers holding grants
};

}  // namespace qb
