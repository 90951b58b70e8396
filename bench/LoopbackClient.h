// What the load clients share: the loopback address of a port, one blocking
// request/answer exchange, and percentiles of sorted latencies.
//
// Thread contract: free functions without shared state; any thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qb::bench {

inline sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Connects to `port`, sends `request` whole and appends everything the server
// sends to `answer` until it closes. False when connecting, sending or reading
// fails; a server that closes at once leaves `answer` as it was and gives true.
inline bool Exchange(uint16_t port, const std::string& request, std::string* answer) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    return false;
  }
  const sockaddr_in address = Loopback(port);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  for (size_t sent = 0; ok && sent < request.size();) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    ok = n > 0;
    sent += ok ? static_cast<size_t>(n) : 0;
  }
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    answer->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// The value below which a share `q` of `sorted` lies; 0 for no values.
inline double Percentile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) {
    return 0;
  }
  return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size()))];
}

}  // namespace qb::bench
