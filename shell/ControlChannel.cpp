#include "shell/ControlChannel.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "util/Text.h"
#include "util/UniqueFd.h"

namespace qb {
namespace {

constexpr int kIoTimeoutSeconds = 5;
constexpr size_t kMaxReplyBytes = 4096;

std::optional<int> ParseNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

sigset_t ControlSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  return signals;
}

ControlAction ActionFor(int code, int param) {
  switch (code) {
    case kMsgRelisten:
      return ControlAction::kRelisten;
    case kMsgNotify:
      return param == kNotifyQuitParam ? ControlAction::kQuit : ControlAction::kNone;
    case kMsgQuit:
      return ControlAction::kQuit;
    default:
      return ControlAction::kUnknown;
  }
}

std::optional<ControlMessage> ParseControlLine(std::string_view line) {
  line = TrimEnd(line, "\r\n");
  const size_t blank = line.find(' ');
  const std::optional<int> code = ParseNumber(line.substr(0, blank));
  if (!code) {
    return std::nullopt;
  }
  if (blank == std::string_view::npos) {
    return ControlMessage{*code, 0};
  }
  const std::optional<int> param = ParseNumber(line.substr(blank + 1));
  if (!param) {
    return std::nullopt;
  }
  return ControlMessage{*code, *param};
}

std::optional<std::string> SendControlMessage(const std::string& socketPath,
                                              const std::string& line) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    return std::nullopt;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) {
    return std::nullopt;
  }
  const timeval timeout{kIoTimeoutSeconds, 0};
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }
  const std::string message = line + "\n";
  if (::send(socket.Get(), message.data(), message.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(message.size())) {
    return std::nullopt;
  }
  std::string reply;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::recv(socket.Get(), buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    reply.append(buffer, static_cast<size_t>(got));
    if (reply.size() > kMaxReplyBytes) {
      reply.resize(kMaxReplyBytes);
      break;
    }
  }
  reply.resize(TrimEnd(reply, "\r\n").size());
  if (reply.empty()) {
    return std::nullopt;
  }
  return reply;
}

std::string StatusValue(std::string_view reply, std::string_view key) {
  while (!reply.empty()) {
    const size_t end = reply.find('\n');
    const std::string_view line = reply.substr(0, end);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
      return std::string(line.substr(key.size() + 1));
    }
    reply = end == std::string_view::npos ? std::string_view() : reply.substr(end + 1);
  }
  return {};
}

}  // namespace qb
