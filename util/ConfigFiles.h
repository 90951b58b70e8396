// The server's configuration files, read as one: the INI file
// Tavrim/Quillbox.conf in the user's configuration folder ($XDG_CONFIG_HOME)
// and in each system-wide one ($XDG_CONFIG_DIRS, default /etc/xdg). A key
// takes its value from the most important file that holds it: the user's
// own, then the system folders in the order listed. An administrator sets a
// default for every user in /etc/xdg/Tavrim/Quillbox.conf.
//
// File form: "[Group]" lines, "key=value" lines, ";" or "#" comments, blank
// lines. Blanks around keys and values are dropped. Group and key names match
// without regard to ASCII case (the spelling written is kept, so that a
// caller can point out "[server]" for "[Server]"); within one file the first
// matching key of the first matching group wins.
//
// WriteConfigValue writes one value into such a file, so that an answer the
// user gave is remembered across runs.
//
// Thread contract: a ConfigFiles is an immutable snapshot once read; the
// files are read afresh by every Read(). WriteConfigValue is stateless;
// writers are expected to take turns (the server writes from one thread).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/Result.h"

namespace qb {

// The configuration file inside each configuration folder.
inline constexpr std::string_view kConfigFileName = "Tavrim/Quillbox.conf";

struct ConfigEntry {
  std::string group;  // as written, without the brackets
  std::string key;    // as written
  std::string value;  // without surrounding blanks
  std::string file;
  int line = 0;
  int groupLine = 0;  // the line of its group
};

// A line of a file that is neither a group, a key, a comment nor blank.
struct ConfigLineNote {
  std::string file;
  int line = 0;
  std::string text;
};

class ConfigFiles {
 public:
  // Reads `relativePath` in the user's folder and in every system folder.
  static ConfigFiles Read(std::string_view relativePath = kConfigFileName);
  // Reads the files at `paths`, most important first (tests).
  static ConfigFiles ReadPaths(const std::vector<std::string>& paths);

  // The value of `key` in `group`; nullopt when no file holds it.
  std::optional<ConfigEntry> Find(std::string_view group, std::string_view key) const;

  // Every file looked for, most important first, and whether it was read.
  struct File {
    std::string path;
    bool read = false;
  };
  const std::vector<File>& Files() const { return m_files; }
  // Every entry of every file read, file by file in the order of Files().
  const std::vector<ConfigEntry>& Entries() const { return m_entries; }
  const std::vector<ConfigLineNote>& UnreadableLines() const { return m_unreadable; }

 private:
  void ReadFile(const std::string& path);

  std::vector<File> m_files;
  std::vector<ConfigEntry> m_entries;
  std::vector<ConfigLineNote> m_unreadable;
};

// Sets `key` in `[group]` of the file at `path` to `value`. Group and key
// names match as ConfigFiles matches them (without regard to ASCII case); the
// first such key of the first such group is replaced, or the key is added at
// the end of that group, or the group at the end of the file; every other line
// stays as it was. Missing folders and the file are created. The file is
// replaced whole (written and synced beside it, then renamed, keeping its
// mode; a symbolic link is followed and kept), so a reader never sees half of
// it. Fails with the reason when it cannot be written.
Result<> WriteConfigValue(const std::string& path, const std::string& group,
                          const std::string& key, const std::string& value);
// The same for several keys of `group` at once, in one replacement of the file.
Result<> WriteConfigValues(const std::string& path, const std::string& group,
                           const std::vector<std::pair<std::string, std::string>>& values);

// The value of a list key: `words` separated by single blanks.
std::string ListValue(const std::vector<std::string>& words);

// Find() on a fresh Read() of the server's configuration.
std::optional<std::string> ReadConfigValue(std::string_view group, std::string_view key);

}  // namespace qb
