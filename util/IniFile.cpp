#include "util/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

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

bool WriteIniValue(const std::string& path, const std::string& group, const std::string& key,
                   const std::string& value, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error != nullptr) {
      *error = why;
    }
    return false;
  };
  if (value.find_first_of("\r\n") != std::string::npos) {
    return fail("the value holds a line break");
  }
  std::vector<std::string> lines;
  {
    std::ifstream in(path);
    std::string raw;
    while (std::getline(in, raw)) {
      lines.push_back(raw);
    }
  }
  const std::string entry = key + "=" + value;
  bool inGroup = false;
  bool replaced = false;
  size_t groupEnd = std::string::npos;  // the line after the group's last non-blank line
  for (size_t i = 0; i < lines.size() && !replaced; ++i) {
    const std::string_view line = Trim(lines[i]);
    if (!line.empty() && line.front() == '[') {
      inGroup = line.size() >= 2 && line.back() == ']' && line.substr(1, line.size() - 2) == group;
      if (inGroup) {
        groupEnd = i + 1;
      }
      continue;
    }
    if (!inGroup || line.empty()) {
      continue;
    }
    groupEnd = i + 1;
    const auto eq = line.find('=');
    if (line.front() != ';' && line.front() != '#' && eq != std::string_view::npos &&
        Trim(line.substr(0, eq)) == key) {
      lines[i] = entry;
      replaced = true;
    }
  }
  if (!replaced) {
    if (groupEnd == std::string::npos) {
      if (!lines.empty() && !Trim(lines.back()).empty()) {
        lines.emplace_back();
      }
      lines.push_back("[" + group + "]");
      lines.push_back(entry);
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(groupEnd), entry);
    }
  }

  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const std::string& line : lines) {
      out << line << '\n';
    }
    out.flush();
    if (!out) {
      const std::string why = std::strerror(errno);
      std::remove(temporary.c_str());
      return fail("cannot write " + temporary + ": " + why);
    }
  }
  struct stat existing{};
  if (::stat(path.c_str(), &existing) == 0) {
    ::chmod(temporary.c_str(), existing.st_mode & 07777);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return fail("cannot replace " + path + ": " + why);
  }
  return true;
}

}  // namespace qb
