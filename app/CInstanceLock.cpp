#include "app/CInstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
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
  m_file = std::move(file);
  return kOwned;
}

}  // namespace qb
