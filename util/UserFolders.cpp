#include "util/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

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

std::string GetStateFolder() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

std::string GetConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string GetConfigFile() { return GetConfigFolder() + "/Tavrim/Quillbox.conf"; }

std::vector<std::string> GetSystemConfigFolders() {
  std::vector<std::string> folders;
  const char* value = std::getenv("XDG_CONFIG_DIRS");
  std::string_view rest = value != nullptr ? value : "";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (entry.starts_with('/')) {
      folders.push_back(WithoutTrailingSlash(std::string(entry)));
    }
  }
  if (folders.empty()) {
    folders.emplace_back("/etc/xdg");
  }
  return folders;
}

}  // namespace qb
