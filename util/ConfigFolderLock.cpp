#include "util/ConfigFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qb {

Result<ConfigFolderLock> ConfigFolderLock::Take(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().string();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  ConfigFolderLock lock;
  lock.m_fd.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!lock.m_fd.Valid()) {
    return Failure{"cannot open " + folder + ": " + std::strerror(errno)};
  }
  while (::flock(lock.m_fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      return Failure{"cannot lock " + folder + ": " + std::strerror(errno)};
    }
  }
  return lock;
}

}  // namespace qb
