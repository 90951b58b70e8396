#include "util/ConfigFiles.h"


#include <algorithm>
#include <filesystem>
#include <fstream>

#include "util/StagedFile.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// A line without the blanks around it and the carriage return of a file
// written on another system.
std::string_view TrimLine(std::string_view line) { return Trim(line, " \t\r"); }

}  // namespace

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
    const std::string_view line = TrimLine(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
      continue;
    }
    if (line.front() == '[') {
      // A broken group line leaves the keys below it outside any group.
      group.reset();
      if (line.back() == ']' && line.size() >= 2) {
        group = std::string(TrimLine(line.substr(1, line.size() - 2)));
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
    m_entries.push_back({*group, std::string(TrimLine(line.substr(0, eq))),
                         std::string(TrimLine(line.substr(eq + 1))), path, number, groupLine});
  }
}

std::optional<ConfigEntry> ConfigFiles::Find(std::string_view group, std::string_view key) const {
  // Entries are stored file by file, most important file first.
  for (const ConfigEntry& entry : m_entries) {
    if (EqualsIgnoreCase(entry.group, group) && EqualsIgnoreCase(entry.key, key)) {
      return entry;
    }
  }
  return std::nullopt;
}

namespace {

// Sets `key` of `group` in `lines` as WriteConfigValues describes.
void SetLine(std::vector<std::string>& lines, const std::string& group, const std::string& key,
             const std::string& value) {
  const std::string entry = key + "=" + value;
  // The key the reader finds: the first in any group of that name. Missing,
  // it goes at the end of the first such group.
  bool inGroup = false;
  bool inFirstGroup = false;
  size_t groupEnd = std::string::npos;  // the line after the first group's last non-blank line
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = TrimLine(lines[i]);
    if (!line.empty() && line.front() == '[') {
      inGroup = line.size() >= 2 && line.back() == ']' &&
                EqualsIgnoreCase(TrimLine(line.substr(1, line.size() - 2)), group);
      inFirstGroup = inGroup && groupEnd == std::string::npos;
      if (inFirstGroup) {
        groupEnd = i + 1;
      }
      continue;
    }
    if (!inGroup || line.empty()) {
      continue;
    }
    if (inFirstGroup) {
      groupEnd = i + 1;
    }
    const auto eq = line.find('=');
    if (line.front() != ';' && line.front() != '#' && eq != std::string_view::npos &&
        EqualsIgnoreCase(TrimLine(line.substr(0, eq)), key)) {
      lines[i] = entry;
      return;
    }
  }
  if (groupEnd == std::string::npos) {
    if (!lines.empty() && !TrimLine(lines.back()).empty()) {
      lines.emplace_back();
    }
    lines.push_back("[" + group + "]");
    lines.push_back(entry);
  } else {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(groupEnd), entry);
  }
}

}  // namespace

Result<> WriteConfigValue(const std::string& path, const std::string& group,
                          const std::string& key, const std::string& value) {
  return WriteConfigValues(path, group, {{key, value}});
}

Result<> WriteConfigValues(const std::string& path, const std::string& group,
                           const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values) {
    if (value.find_first_of("\r\n") != std::string::npos) {
      return Failure{"the value holds a line break"};
    }
  }
  std::vector<std::string> lines;
  {
    std::ifstream in(path);
    std::string raw;
    while (std::getline(in, raw)) {
      lines.push_back(raw);
    }
  }
  for (const auto& [key, value] : values) {
    SetLine(lines, group, key, value);
  }

  // A linked file (dotfiles kept elsewhere) is replaced at its target, so
  // that the link stays.
  std::error_code ec;
  const bool linked = std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec));
  const std::filesystem::path target =
      linked ? std::filesystem::canonical(path, ec) : std::filesystem::path(path);
  if (linked && ec) {
    return Failure{"cannot follow " + path + ": " + ec.message()};
  }
  std::filesystem::create_directories(target.parent_path(), ec);
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += '\n';
  }
  Result<StagedFile> staged =
      StagedFile::Write(target.parent_path().string(), content.data(), content.size());
  if (!staged) {
    return Failure{"cannot write " + path + ": " + staged.Error()};
  }
  if (Result<> published = staged->PublishReplacing(target.string()); !published) {
    return published;
  }
  return {};
}

std::string ListValue(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

std::optional<std::string> ReadConfigValue(std::string_view group, std::string_view key) {
  std::optional<ConfigEntry> entry = ConfigFiles::Read().Find(group, key);
  if (!entry) {
    return std::nullopt;
  }
  return std::move(entry->value);
}

}  // namespace qb
