#include "shell/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qb {

Result<std::string> GetRuntimeFolder(bool create) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return std::string(runtime);
  }
  const uid_t uid = ::getuid();
  const std::string fallback = "/tmp/quillbox-" + std::to_string(uid);
  if (create && ::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
    return Failure{"cannot create " + fallback + ": " + std::strerror(errno)};
  }
  struct stat info {};
  if (::lstat(fallback.c_str(), &info) != 0) {
    return Failure{"no runtime folder " + fallback + ": " + std::strerror(errno)};
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != uid) {
    return Failure{"refusing the runtime folder " + fallback +
                   ": not a folder owned by this user"};
  }
  if ((info.st_mode & 0077) != 0 && ::chmod(fallback.c_str(), 0700) != 0) {
    return Failure{"cannot restrict " + fallback + ": " + std::strerror(errno)};
  }
  return fallback;
}

std::string InstanceLockPath(const std::string& runtime) {
  return runtime + "/qxprintservermutex";
}

std::string ControlSocketPath(const std::string& runtime) {
  return runtime + "/qxprintserverprop";
}

}  // namespace qb
