// The server's configuration store, standing in for a per-user registry key.
// The key path "Software\Tavrim\Quillbox\Server" maps to the INI file
// Tavrim/Quillbox.conf and its group [Server]: the parts between "Software"
// and the last part name the file, the last part the group. The file is read
// as ConfigFiles reads it: the user's own in $XDG_CONFIG_HOME first, then the
// system-wide ones ($XDG_CONFIG_DIRS, default /etc/xdg).
//
// Thread contract: the key is set at construction; reads go to the file every
// time and may run on any thread; writes come from one thread (the listener).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

class SettingsStore {
 public:
  static constexpr std::string_view kServerKey = "Software\\Tavrim\\Quillbox\\Server";

  SettingsStore();
  ~SettingsStore();

  // A non-empty path replaces the key path and gives true; an empty path
  // empties it and gives false.
  bool SetKey(std::string_view path);
  const std::string& Key() const { return m_strKey; }

  // The text of value `name` under the key; nullopt when the key is empty or
  // malformed, or the file, group or value is missing.
  std::optional<std::string> ReadValue(const std::string& name) const;
  // Sets value `name` under the key; false when the key is empty or
  // malformed or the file cannot be written (logged).
  bool WriteValue(const std::string& name, const std::string& value) const;

  // Value `name` as a 32-bit unsigned number: it counts only as a plain
  // decimal integer that fits in 32 bits.
  std::optional<uint32_t> ReadDword(const std::string& name) const;

 private:
  struct KeyLocation {
    std::string file;   // relative to a configuration folder
    std::string group;
  };
  // Where the key's values are kept; nullopt when the key is empty or
  // malformed.
  std::optional<KeyLocation> Location() const;

  std::string m_strKey;
};

// "4294967295" and below in plain decimal digits; anything else is nullopt.
std::optional<uint32_t> ParseDword(std::string_view text);

}  // namespace qb
