#include "util/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace qb {
namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') {
    return WithoutTrailingSlash(value);
  }
  return GetHomeFolder() + fallbackBelowHome;
}

}  // namespace

std::string GetHomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return WithoutTrailingSlash(home);
  }
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return WithoutTrailingSlash(pw->pw_dir);
  }
  return "/";
}

std::string GetAppDataFolder() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string GetDataFolder() { return GetAppDataFolder() + "/jp.co.tavrim.Pelloran.V3/data"; }

std::string GetConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string GetConfigFile() { return GetConfigFolder() + "/Tavrim/Quillbox.conf"; }

}  // namespace qb
