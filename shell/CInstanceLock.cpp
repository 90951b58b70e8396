#include "shell/CInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/Log.h"

namespace qb {

CInstanceLock::Result CInstanceLock::Acquire(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!file.Valid()) {
    LogError("cannot open the instance lock " + path + ": " + std::strerror(errno));
    return kUnavailable;
  }
  while (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      return kHeldElsewhere;
    }
    if (errno != EINTR) {
      LogError("cannot lock " + path + ": " + std::strerror(errno));
      return kUnavailable;
    }
  }
  // The owner's process id, for a second start to name.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(file.Get(), 0) != 0 ||
      ::pwrite(file.Get(), pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    LogDebug("cannot write the process id into " + path);
  }
  m_file = std::move(file);
  return kOwned;
}

long CInstanceLock::OwnerPid(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  char text[32] = {};
  if (!file.Valid() || ::read(file.Get(), text, sizeof text - 1) <= 0) {
    return 0;
  }
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 ? pid : 0;
}

}  // namespace qb
