#include "util/ConfigFiles.h"

#include <algorithm>
#include <fstream>

#include "util/UserFolders.h"

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

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

ConfigFiles ConfigFiles::Read(std::string_view relativePath) {
  std::vector<std::string> paths{GetConfigFolder() + "/" + std::string(relativePath)};
  for (const std::string& folder : GetSystemConfigFolders()) {
    paths.push_back(folder + "/" + std::string(relativePath));
  }
  return ReadPaths(paths);
}

ConfigFiles ConfigFiles::ReadPaths(const std::vector<std::string>& paths) {
  ConfigFiles files;
  for (const std::string& path : paths) {
    files.ReadFile(path);
  }
  return files;
}

void ConfigFiles::ReadFile(const std::string& path) {
  std::ifstream in(path);
  m_files.push_back({path, static_cast<bool>(in)});
  if (!in) {
    return;
  }
  std::optional<std::string> group;  // none before the first group line
  int groupLine = 0;
  std::string raw;
  int number = 0;
  while (std::getline(in, raw)) {
    ++number;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
      continue;
    }
    if (line.front() == '[') {
      // A broken group line leaves the keys below it outside any group.
      group.reset();
      if (line.back() == ']' && line.size() >= 2) {
        group = std::string(Trim(line.substr(1, line.size() - 2)));
        groupLine = number;
      } else {
        m_unreadable.push_back({path, number, std::string(line)});
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0 || !group) {
      m_unreadable.push_back({path, number, std::string(line)});
      continue;
    }
    m_entries.push_back({*group, std::string(Trim(line.substr(0, eq))),
                         std::string(Trim(line.substr(eq + 1))), path, number, groupLine});
  }
}

std::optional<ConfigEntry> ConfigFiles::Find(std::string_view group, std::string_view key) const {
  // Entries are stored file by file, most important file first.
  for (const ConfigEntry& entry : m_entries) {
    if (SameName(entry.group, group) && SameName(entry.key, key)) {
      return entry;
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReadConfigValue(std::string_view group, std::string_view key) {
  std::optional<ConfigEntry> entry = ConfigFiles::Read().Find(group, key);
  if (!entry) {
    return std::nullopt;
  }
  return std::move(entry->value);
}

}  // namespace qb
