#include "server/SendData.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qb {

ssize_t SendData(int socket, std::string_view data, const std::atomic<int>* stop) {
  size_t sent = 0;
  while (sent < data.size()) {
    if (stop != nullptr && stop->load() != 0) {
      return -1;
    }
    const ssize_t n = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pfd{socket, POLLOUT, 0};
      ::poll(&pfd, 1, 10);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(sent);
}

bool SetNonBlocking(int socket) {
  const int flags = ::fcntl(socket, F_GETFL, 0);
  return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
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
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      break;
    }
    pollfd pfd{socket, POLLIN, 0};
    ::poll(&pfd, 1, static_cast<int>(std::min<long>(left.count(), 10)));
  }
  ::close(socket);
}

}  // namespace qb
