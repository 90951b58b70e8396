#include "util/IniFile.h"

#include <fstream>
#include <string_view>

namespace qb {
namespace {

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> ReadIniValue(const std::string& path, const std::string& group,
                                        const std::string& key) {
  std::ifstream in(path);
  if (!in) {
    return std::nullopt;
  }
  bool inGroup = false;
  std::string raw;
  while (std::getline(in, raw)) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
      continue;
    }
    if (line.front() == '[') {
      inGroup = line.size() >= 2 && line.back() == ']' && line.substr(1, line.size() - 2) == group;
      continue;
    }
    if (!inGroup) {
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != key) {
      continue;
    }
    return std::string(Trim(line.substr(eq + 1)));
  }
  return std::nullopt;
}

}  // namespace qb
