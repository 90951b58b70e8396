#include "util/FileHelpers.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "util/Log.h"
#include "util/Text.h"

namespace qb {

bool DirectoryExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateDirectories(const std::string& path) {
  if (path.empty() || DirectoryExists(path)) {
    return false;
  }
  std::string prefix = path.starts_with('/') ? "" : ".";
  for (const std::string& component : Split(path, "/")) {
    if (component.empty()) {
      continue;  // runs of "/" count as one
    }
    prefix += "/" + component;
    if (DirectoryExists(prefix)) {
      continue;
    }
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
      LogError("cannot create folder " + prefix + ": " + std::strerror(errno));
      return false;
    }
  }
  return true;
}

std::string DirectoryPart(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

}  // namespace qb
