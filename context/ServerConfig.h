// The checked configuration: every key the server reads from its
// configuration files (ConfigFiles), the value in effect, where that value
// came from, and one warning for each thing in the files that is not used as
// written. Start-up and every listening cycle load it and log the warnings
// not logged before; --status shows all of it.
//
// Rules: the most important file holding a key decides its text; a text that
// cannot be used gives the key's default (never a less important file's
// value), with a warning saying what is used instead. Group and key names
// match without regard to case; a spelling other than the documented one is
// used and warned about. Unknown groups and keys (naming the known one a
// misspelt name is closest to), lines that are not understood and repeated
// keys are warned about and ignored.
//
// Thread contract: a loaded ServerConfig is immutable; LogNewWarnings may be
// called from any thread (it remembers what was logged under a mutex).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/ConfigFiles.h"

namespace qb {

inline constexpr std::string_view kSourceDefault = "default";
inline constexpr std::string_view kSourceBuiltIn = "built in";
inline constexpr std::string_view kSourceCommandLine = "--catalogue-url";

// How --status shows an empty list, an empty origin list (allowed origins)
// and the origin list of any origin.
inline constexpr std::string_view kNoneListedText = "none listed";
inline constexpr std::string_view kNoOriginsListedText =
    "none listed (with a display, the user is asked about each origin)";
inline constexpr std::string_view kAnyOriginText = "* (any origin)";

template <typename T>
struct ConfigKeyRule;

struct ConfigSetting {
  std::string name;    // "[Server] port"
  std::string value;   // the value in effect, as text
  std::string source;  // the file that set it, kSourceDefault, kSourceBuiltIn or kSourceCommandLine
};

class ServerConfig {
 public:
  // Reads the configuration files now. `catalogueUrlFlag` is the
  // --catalogue-url of this run, already checked, if one was given.
  static ServerConfig Load(const std::optional<std::string>& catalogueUrlFlag = std::nullopt);
  static ServerConfig FromFiles(ConfigFiles files,
                                const std::optional<std::string>& catalogueUrlFlag);

  // [Server] port: low 16 bits of a plain decimal 32-bit value, else
  // kDefaultPort.
  uint16_t Port() const { return m_port; }
  // The text of a [Server] key in effect (bindAddress, allowedHosts); nullopt
  // when unset or not usable. The site lists are read by SiteList.
  std::optional<std::string> ServerText(std::string_view key) const;
  // [Server] askForNewSites: whether the user is asked about origins on
  // neither list (true unless the value is a false one).
  bool AsksForNewSites() const { return m_asksForNewSites; }
  // The catalogue server's base URL in effect; empty when there is none.
  const std::string& CatalogueUrl() const { return m_catalogueUrl; }
  const std::string& CatalogueUrlSource() const { return m_catalogueUrlSource; }
  // [Catalogue] proxy; empty for libcurl's default.
  const std::string& Proxy() const { return m_proxy; }
  // [Catalogue] caFile: a readable file of PEM certificates of further
  // authorities for https; empty for none.
  const std::string& CaFile() const { return m_caFile; }
  // The cap of one file download in bytes per second; 0: none.
  int64_t MaxDownloadRate() const { return m_maxDownloadRate; }
  // [Server] trayIcon: whether the tray icon is shown where the desktop has
  // a tray (default true).
  bool TrayIcon() const { return m_trayIcon; }

  const ConfigFiles& Files() const { return m_files; }
  const std::vector<ConfigSetting>& Settings() const { return m_settings; }
  // "FILE:LINE: what is wrong; what is used instead", one per problem.
  const std::vector<std::string>& Warnings() const { return m_warnings; }

  // Logs every warning this process has not logged before: a value is
  // reported once, again only when its text changes.
  void LogNewWarnings() const;

 private:
  // A key's value in effect and where it came from (as ConfigSetting::source).
  template <typename T>
  struct InEffect {
    T value;
    std::string source;
  };

  // Sets every checked key from its rule (ServerConfig.cpp), in order.
  void Check(const std::optional<std::string>& catalogueUrlFlag);
  // The value `rule` gives from the files; warns about its text.
  template <typename T>
  InEffect<T> Read(const ConfigKeyRule<T>& rule);
  // Read, and adds the setting shown.
  template <typename T>
  T Apply(const ConfigKeyRule<T>& rule);
  void CheckNames();
  void Add(std::string name, std::string value, std::string source);
  void Warn(const ConfigEntry& entry, const std::string& text);

  ConfigFiles m_files;
  // Set by Check from the key rules, which hold the defaults.
  uint16_t m_port = 0;
  std::optional<std::string> m_bindAddress;
  std::optional<std::string> m_allowedHosts;
  bool m_asksForNewSites = false;
  std::string m_catalogueUrl;
  std::string m_catalogueUrlSource;
  std::string m_proxy;
  std::string m_caFile;
  int64_t m_maxDownloadRate = 0;
  bool m_trayIcon = false;
  std::vector<ConfigSetting> m_settings;
  std::vector<std::string> m_warnings;
  struct Found {
    std::pair<size_t, int> where;  // rank of the file in Files(), line
    std::string text;
  };
  std::vector<Found> m_found;  // warnings while checking, before they are ordered
};

// A switch value: true, yes, on or 1, false, no, off or 0 (any case, blanks
// around ignored); nullopt for anything else.
std::optional<bool> ParseSwitch(std::string_view text);

// How the listener's default reach is shown.
inline constexpr std::string_view kThisComputerOnly = "this computer only (127.0.0.1 and ::1)";

// The address a [Server] bindAddress text asks for: "" for this computer only
// (unset, blank or "localhost": 127.0.0.1 and ::1), an IPv4 literal, or an
// IPv6 literal without brackets in its shortest form; nullopt when the text is
// none of these.
std::optional<std::string> NormalizeBindAddress(const std::optional<std::string>& value);

}  // namespace qb
