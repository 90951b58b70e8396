#include "server/SendData.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "util/Log.h"

namespace qb {
namespace {

// The wait step when a stop can only be seen by looking at the flag.
constexpr int kStopLookMs = 10;

// The most unread input dropped before closing.
constexpr size_t kMaxDrainBytes = 256 * 1024;

}  // namespace

ssize_t SendData(int socket, std::string_view data, const std::atomic<bool>* stop, int stopFd,
                 std::chrono::milliseconds stallLimit) {
  size_t sent = 0;
  auto giveUpAt = std::chrono::steady_clock::now() + stallLimit;
  while (sent < data.size()) {
    if (stop != nullptr && stop->load()) {
      return -1;
    }
    const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      giveUpAt = std::chrono::steady_clock::now() + stallLimit;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Until the socket takes more, the server stops (a watched stop
      // descriptor ends the wait at once; poll ignores a negative one) or the
      // peer has stalled too long.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(
          giveUpAt - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        LogInfo("a client took none of its answer for " + std::to_string(stallLimit.count()) +
                " ms: connection dropped");
        return -1;
      }
      int waitMs = left.count() > INT32_MAX ? INT32_MAX : static_cast<int>(left.count());
      if (stop != nullptr && stopFd < 0) {
        waitMs = std::min(waitMs, kStopLookMs);
      }
      pollfd watched[] = {{socket, POLLOUT, 0}, {stopFd, POLLIN, 0}};
      ::poll(watched, 2, waitMs);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(sent);
}

void CloseConnection(int socket, int lingerMs) {
  if (lingerMs <= 0) {
    // With nothing unread (or the peer's side closed) closing sends the FIN
    // at once, as ending our side first would.
    char next = 0;
    const ssize_t n = ::recv(socket, &next, 1, MSG_DONTWAIT | MSG_PEEK);
    if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
      ::close(socket);
      return;
    }
  }
  ::shutdown(socket, SHUT_WR);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
  char scratch[16384];
  size_t drained = 0;
  for (;;) {
    const ssize_t n = ::recv(socket, scratch, sizeof scratch, MSG_DONTWAIT);
    if (n > 0) {
      // A peer that keeps sending is not waited for past the deadline.
      drained += static_cast<size_t>(n);
      if (drained > kMaxDrainBytes || std::chrono::steady_clock::now() >= deadline) {
        break;
      }
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      break;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    pollfd pfd{socket, POLLIN, 0};
    ::poll(&pfd, 1, static_cast<int>(left.count()));
  }
  ::close(socket);
}

}  // namespace qb
