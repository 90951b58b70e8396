#include "net/BrokerMessages.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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
  if (fd < 0) {
    iovec part{const_cast<char*>(text.data()), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    for (;;) {
      if (::sendmsg(socket, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
        return 0;
      }
      if (errno != EINTR) {
        return errno;
      }
    }
  }
  const int one[] = {fd};
  return SendMessages(socket, text, one).error;
}

SentMessages SendMessages(int socket, std::string_view text, std::span<const int> fds) {
  constexpr size_t kPerCall = 64;
  SentMessages sent;
  iovec part{const_cast<char*>(text.data()), text.size()};
  struct Control {
    alignas(cmsghdr) char bytes[CMSG_SPACE(sizeof(int))];
  };
  std::vector<mmsghdr> messages(std::min(fds.size(), kPerCall));
  std::vector<Control> controls(messages.size());
  while (sent.count < fds.size()) {
    const size_t batch = std::min(fds.size() - sent.count, kPerCall);
    for (size_t i = 0; i < batch; ++i) {
      msghdr& message = messages[i].msg_hdr;
      message = {};
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      controls[i] = {};
      message.msg_control = controls[i].bytes;
      message.msg_controllen = sizeof controls[i].bytes;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &fds[sent.count + i], sizeof(int));
    }
    const int n = ::sendmmsg(socket, messages.data(), static_cast<unsigned>(batch),
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      sent.error = errno;
      return sent;
    }
    sent.count += static_cast<size_t>(n);
    if (static_cast<size_t>(n) < batch) {
      // The rest did not fit: ask again, which tells why.
      continue;
    }
  }
  return sent;
}

std::vector<BrokerMessage> ReceiveMessages(int socket, size_t most) {
  struct Room {
    char text[kMaxMessage];
    alignas(cmsghdr) char control[CMSG_SPACE(kMaxFds * sizeof(int))];
    iovec part;
  };
  std::vector<Room> rooms(most);
  std::vector<mmsghdr> messages(most);
  for (size_t i = 0; i < most; ++i) {
    rooms[i].part = {rooms[i].text, sizeof rooms[i].text};
    msghdr& message = messages[i].msg_hdr;
    message.msg_iov = &rooms[i].part;
    message.msg_iovlen = 1;
    message.msg_control = rooms[i].control;
    message.msg_controllen = sizeof rooms[i].control;
  }
  std::vector<BrokerMessage> received;
  int n = -1;
  do {
    n = ::recvmmsg(socket, messages.data(), static_cast<unsigned>(most),
                   MSG_DONTWAIT | MSG_CMSG_CLOEXEC, nullptr);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      received.push_back({BrokerMessage::Kind::kClosed, {}, {}});
    }
    return received;
  }
  for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
    msghdr& message = messages[i].msg_hdr;
    BrokerMessage one;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
        continue;
      }
      const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t k = 0; k < count; ++k) {
        int fd = -1;
        std::memcpy(&fd, CMSG_DATA(header) + k * sizeof(int), sizeof fd);
        if (!one.fd.Valid()) {
          one.fd.Reset(fd);
        } else {
          ::close(fd);
        }
      }
    }
    const size_t length = messages[i].msg_len;
    if (length == 0 && !one.fd.Valid()) {
      received.push_back({BrokerMessage::Kind::kClosed, {}, {}});  // an empty packet is never sent
      return received;
    }
    one.kind = BrokerMessage::Kind::kMessage;
    one.text.assign(rooms[i].text, length);
    received.push_back(std::move(one));
  }
  return received;
}

BrokerMessage ReceiveMessage(int socket) {
  std::vector<BrokerMessage> received = ReceiveMessages(socket, 1);
  return received.empty() ? BrokerMessage{} : std::move(received.front());
}

}  // namespace qb
