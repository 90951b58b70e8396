#include "server/SendData.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qb {
namespace {

// The wait step when a stop can only be seen by looking at the flag.
constexpr int kStopLookMs = 10;

}  // namespace

ssize_t SendData(int socket, std::string_view data, const std::atomic<int>* stop, int stopFd) {
  size_t sent = 0;
  while (sent < data.size()) {
    if (stop != nullptr && stop->load() != 0) {
      return -1;
    }
    const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Until the socket takes more or the server stops: a watched stop
      // descriptor (poll ignores a negative one) ends the wait at once.
      pollfd watched[] = {{socket, POLLOUT, 0}, {stopFd, POLLIN, 0}};
      ::poll(watched, 2, stop != nullptr && stopFd < 0 ? kStopLookMs : -1);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(sent);
}

void CloseConnection(int socket, int lingerMs) {
  ::shutdown(socket, SHUT_WR);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
  char scratch[16384];
  for (;;) {
    const ssize_t n = ::recv(socket, scratch, sizeof scratch, MSG_DONTWAIT);
    if (n > 0) {
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
