#include "shell/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qb {

bool GetRuntimeFolder(bool create, std::string* folder, std::string* error) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    *folder = runtime;
    return true;
  }
  const uid_t uid = ::getuid();
  const std::string fallback = "/tmp/quillbox-" + std::to_string(uid);
  if (create && ::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot create " + fallback + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::lstat(fallback.c_str(), &info) != 0) {
    *error = "no runtime folder " + fallback + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != uid) {
    *error = "refusing the runtime folder " + fallback + ": not a folder owned by this user";
    return false;
  }
  if ((info.st_mode & 0077) != 0 && ::chmod(fallback.c_str(), 0700) != 0) {
    *error = "cannot restrict " + fallback + ": " + std::strerror(errno);
    return false;
  }
  *folder = fallback;
  return true;
}

std::string InstanceLockPath(const std::string& runtime) {
  return runtime + "/qxprintservermutex";
}

std::string ControlSocketPath(const std::string& runtime) {
  return runtime + "/qxprintserverprop";
}

}  // namespace qb
