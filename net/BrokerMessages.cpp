#include "net/BrokerMessages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qb {
namespace {

constexpr size_t kMaxMessage = 256;
constexpr size_t kMaxFds = 4;

}  // namespace

std::string BrokerSocketPath() {
  const char* path = std::getenv(kBrokerSocketVariable);
  return path != nullptr && *path != '\0' ? path : kBrokerSocketPath;
}

int SendMessage(int socket, std::string_view text, int fd) {
  iovec part{const_cast<char*>(text.data()), text.size()};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  }
  for (;;) {
    if (::sendmsg(socket, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
      return 0;
    }
    if (errno != EINTR) {
      return errno;
    }
  }
}

BrokerMessage ReceiveMessage(int socket) {
  char text[kMaxMessage];
  iovec part{text, sizeof text};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(kMaxFds * sizeof(int))];
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  BrokerMessage received;
  const ssize_t n = ::recvmsg(socket, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  if (n < 0) {
    received.kind = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR
                        ? BrokerMessage::Kind::kNone
                        : BrokerMessage::Kind::kClosed;
    return received;
  }
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
      continue;
    }
    const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; ++i) {
      int fd = -1;
      std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
      if (!received.fd.Valid()) {
        received.fd.Reset(fd);
      } else {
        ::close(fd);
      }
    }
  }
  if (n == 0 && !received.fd.Valid()) {
    received.kind = BrokerMessage::Kind::kClosed;  // an empty packet is never sent
    return received;
  }
  received.kind = BrokerMessage::Kind::kMessage;
  received.text.assign(text, static_cast<size_t>(n));
  return received;
}

}  // namespace qb
