#include "broker/ListenFds.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace qb {
namespace {

constexpr int kFirstPassedFd = 3;

// The whole of `text` as a number, or -1.
long Number(const char* text) {
  if (text == nullptr) {
    return -1;
  }
  const std::string_view view(text);
  long value = -1;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  return error == std::errc() && end == view.data() + view.size() ? value : -1;
}

}  // namespace

std::vector<UniqueFd> TakeListenFds() {
  const long pid = Number(std::getenv("LISTEN_PID"));
  const long count = Number(std::getenv("LISTEN_FDS"));
  ::unsetenv("LISTEN_PID");
  ::unsetenv("LISTEN_FDS");
  ::unsetenv("LISTEN_FDNAMES");
  std::vector<UniqueFd> fds;
  if (pid != static_cast<long>(::getpid()) || count <= 0 || count > 64) {
    return fds;
  }
  for (int fd = kFirstPassedFd; fd < kFirstPassedFd + count; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0) {
      continue;  // not open after all
    }
    ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    fds.emplace_back(fd);
  }
  return fds;
}

}  // namespace qb
