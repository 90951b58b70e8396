#include "server/BrokerLink.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "net/BrokerMessages.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr int kReplyWaitMs = 2000;

}  // namespace

BrokerLink::BrokerLink(std::string path) : m_path(std::move(path)) {}

void BrokerLink::Close() {
  m_socket.Reset();
  m_state = State::kNone;
}

BrokerLink::State BrokerLink::Register(uint16_t port, int stopFd) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (m_path.empty() || m_path.size() >= sizeof address.sun_path) {
    return m_state;
  }
  std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
  UniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!socket.Valid() ||
      ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return m_state;  // no broker there
  }
  if (SendMessage(socket.Get(), std::string(kRegisterMessage) + std::to_string(port)) != 0) {
    return m_state;
  }
  pollfd watched[] = {{socket.Get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
  if (::poll(watched, 2, kReplyWaitMs) <= 0 || (watched[0].revents & POLLIN) == 0) {
    LogInfo("the port broker at " + m_path + " did not answer; listening without it");
    return m_state;
  }
  const BrokerMessage reply = ReceiveMessage(socket.Get());
  const std::string_view text = reply.text;
  if (reply.kind == BrokerMessage::Kind::kMessage && text == kRegisteredMessage) {
    m_state = State::kRegistered;
  } else if (reply.kind == BrokerMessage::Kind::kMessage && text == kWaitingMessage) {
    m_state = State::kWaiting;
  } else if (text.starts_with(kOtherPortMessage)) {
    if (m_otherPortReported != port) {
      m_otherPortReported = port;
      LogInfo("the port broker at " + m_path + " serves port " +
              std::string(text.substr(kOtherPortMessage.size())) + ", not port " +
              std::to_string(port) + " of this server; listening without it");
    }
    return m_state;
  } else {
    return m_state;
  }
  m_socket = std::move(socket);
  return m_state;
}

BrokerLink::Taken BrokerLink::Take(size_t most, std::vector<UniqueFd>* connections) {
  Taken taken;
  if (!m_socket.Valid()) {
    taken.gone = true;
    return taken;
  }
  for (BrokerMessage& message : ReceiveMessages(m_socket.Get(), most)) {
    if (message.kind == BrokerMessage::Kind::kClosed) {
      Close();
      taken.gone = true;
      break;
    }
    ++taken.packets;
    if (message.text == kConnectionMessage && message.fd.Valid()) {
      connections->push_back(std::move(message.fd));
    } else if (message.text == kRegisteredMessage && m_state == State::kWaiting) {
      m_state = State::kRegistered;
      taken.registered = true;
    }
    // Anything else is not for this side: dropped.
  }
  return taken;
}

int BrokerLink::AppearFd() {
  if (!m_inotify.Valid()) {
    m_inotify.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  }
  if (m_inotify.Valid() && m_watch < 0) {
    const size_t slash = m_path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
    m_watch = ::inotify_add_watch(m_inotify.Get(), folder.c_str(),
                                  IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
  }
  return m_watch >= 0 ? m_inotify.Get() : -1;
}

bool BrokerLink::Appeared() {
  const size_t slash = m_path.rfind('/');
  const std::string_view name =
      slash == std::string::npos ? std::string_view(m_path) : std::string_view(m_path).substr(slash + 1);
  bool appeared = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(m_inotify.Get(), buffer, sizeof buffer);
    if (n <= 0) {
      return appeared;
    }
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_IGNORED) != 0) {
        m_watch = -1;  // the folder went: watched again at the next cycle
      }
      if (event->len > 0 && std::string_view(event->name) == name) {
        appeared = true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

}  // namespace qb
