#include "context/ServerConfig.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "context/CAppData.h"
#include "context/CReg.h"
#include "context/OriginPolicy.h"
#include "output/PrinterMemory.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"
#include "util/MutexLock.h"
#include "util/Text.h"

namespace qb {
namespace {

struct KnownKey {
  std::string_view group;
  std::string_view key;
};

// Every key the server reads, spelled as documented.
constexpr KnownKey kKnownKeys[] = {
    {"Server", "port"},          {"Server", "bindAddress"},  {"Server", "allowedOrigins"},
    {"Server", "deniedOrigins"}, {"Server", "allowedHosts"}, {"Server", "askForNewSites"},
    {"Server", "answeredOrigins"}, {"Catalogue", "url"},
    {"Catalogue", "proxy"},      {"Catalogue", "maxDownloadRate"}, {"Catalogue", "caFile"},
    {"Save", "folder"},
    {"Server", "trayIcon"},
};

// Edits (insert, delete, change or swap two neighbours) between two names,
// without regard to case.
size_t SpellingDistance(std::string_view a, std::string_view b) {
  const std::string x = AsciiLower(a);
  const std::string y = AsciiLower(b);
  std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
  for (size_t i = 0; i <= x.size(); ++i) {
    d[i][0] = i;
  }
  for (size_t j = 0; j <= y.size(); ++j) {
    d[0][j] = j;
  }
  for (size_t i = 1; i <= x.size(); ++i) {
    for (size_t j = 1; j <= y.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[x.size()][y.size()];
}

// The known name `typed` is most likely a misspelling of: one edit away for
// short names, two for longer ones; empty when none is that close.
std::string_view Suggestion(std::string_view typed, const std::vector<std::string_view>& known) {
  const size_t allowed = typed.size() <= 4 ? 1 : 2;
  std::string_view best;
  size_t bestDistance = allowed + 1;
  for (const std::string_view name : known) {
    const size_t distance = SpellingDistance(typed, name);
    if (distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  return best;
}

std::string Where(const ConfigEntry& entry) {
  return entry.file + ":" + std::to_string(entry.line);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::vector<std::string> Words(const std::string& text) {
  const std::vector<std::string_view> words = BlankSeparated(text);
  return {words.begin(), words.end()};
}

// Why `path` cannot serve as a file of further certificate authorities; empty
// when it can (or is empty: none).
std::string CertificateFileProblem(const std::string& path) {
  if (path.empty()) {
    return {};
  }
  if (!path.starts_with('/')) {
    return "is not an absolute path";
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return std::string("cannot be read (") + std::strerror(errno) + ")";
  }
  // Read up to the first certificate only: the file may be a large bundle.
  for (std::string line; std::getline(file, line);) {
    if (line.find("-----BEGIN CERTIFICATE-----") != std::string::npos) {
      return {};
    }
  }
  return "holds no PEM certificate";
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

// host or host:port, the host a name or an IPv4 address, or [IPv6]:port.
bool IsHostEntry(std::string_view entry) {
  std::string_view port;
  if (entry.starts_with('[')) {
    const size_t close = entry.find(']');
    in6_addr v6{};
    if (close == std::string_view::npos ||
        ::inet_pton(AF_INET6, std::string(entry.substr(1, close - 1)).c_str(), &v6) != 1) {
      return false;
    }
    entry.remove_prefix(close + 1);
    if (entry.empty()) {
      return true;
    }
    if (entry.front() != ':') {
      return false;
    }
    port = entry.substr(1);
  } else {
    const size_t colon = entry.find(':');
    const std::string_view host = entry.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostChar)) {
      return false;
    }
    if (colon == std::string_view::npos) {
      return true;
    }
    port = entry.substr(colon + 1);
  }
  const std::optional<uint32_t> number = ParseDword(port);
  return number && *number > 0 && *number <= 65535;
}

Mutex g_loggedMutex;
std::set<std::string> g_logged GUARDED_BY(g_loggedMutex);  // warnings logged so far

}  // namespace

std::optional<bool> ParseSwitch(std::string_view text) {
  for (const std::string_view on : {"true", "yes", "on", "1"}) {
    if (EqualsIgnoreCase(TrimBlanks(text), on)) {
      return true;
    }
  }
  for (const std::string_view off : {"false", "no", "off", "0"}) {
    if (EqualsIgnoreCase(TrimBlanks(text), off)) {
      return false;
    }
  }
  return std::nullopt;
}

std::optional<std::string> NormalizeBindAddress(const std::optional<std::string>& value) {
  const std::vector<std::string> words = value ? Words(*value) : std::vector<std::string>();
  if (words.empty()) {
    return std::string();
  }
  if (words.size() > 1) {
    return std::nullopt;
  }
  std::string text = words.front();
  if (EqualsIgnoreCase(text, "localhost")) {
    return std::string();
  }
  in_addr v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    return text;
  }
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  in6_addr v6{};
  if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
    char canonical[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &v6, canonical, sizeof canonical);
    return std::string(canonical);
  }
  return std::nullopt;
}

ServerConfig ServerConfig::Load(const std::optional<std::string>& catalogueUrlFlag) {
  return FromFiles(ConfigFiles::Read(), catalogueUrlFlag);
}

ServerConfig ServerConfig::FromFiles(ConfigFiles files,
                                     const std::optional<std::string>& catalogueUrlFlag) {
  ServerConfig config;
  config.m_files = std::move(files);
  config.CheckNames();
  config.Check(catalogueUrlFlag);
  // In the order of the files and their lines.
  std::stable_sort(config.m_found.begin(), config.m_found.end(),
                   [](const Found& x, const Found& y) { return x.where < y.where; });
  for (Found& found : config.m_found) {
    config.m_warnings.push_back(std::move(found.text));
  }
  config.m_found.clear();
  return config;
}

std::optional<std::string> ServerConfig::ServerText(std::string_view key) const {
  if (key == "bindAddress") {
    return m_bindAddress;
  }
  if (key == "allowedHosts") {
    return m_allowedHosts;
  }
  return std::nullopt;
}

void ServerConfig::Add(std::string name, std::string value, std::string source) {
  m_settings.push_back({std::move(name), std::move(value), std::move(source)});
}

void ServerConfig::Warn(const ConfigEntry& entry, const std::string& text) {
  size_t rank = 0;
  while (rank < m_files.Files().size() && m_files.Files()[rank].path != entry.file) {
    ++rank;
  }
  m_found.push_back({{rank, entry.line}, Where(entry) + ": " + text});
}

void ServerConfig::CheckNames() {
  for (const ConfigLineNote& note : m_files.UnreadableLines()) {
    ConfigEntry where;
    where.file = note.file;
    where.line = note.line;
    Warn(where,
         Quoted(note.text) +
             " is neither [Group], key=value nor a comment, or is outside any group; ignored");
  }
  std::set<std::pair<std::string, int>> groupsWarned;  // file and group line
  std::set<std::string> seen;                          // file, group and key in effect
  for (const ConfigEntry& entry : m_files.Entries()) {
    const auto group =
        std::find_if(std::begin(kKnownKeys), std::end(kKnownKeys),
                     [&](const KnownKey& k) { return EqualsIgnoreCase(k.group, entry.group); });
    const bool firstOfGroup = groupsWarned.insert({entry.file, entry.groupLine}).second;
    ConfigEntry groupLine = entry;
    groupLine.line = entry.groupLine;
    // The printers remembered per sheet size: one key per size.
    if (EqualsIgnoreCase(entry.group, kPrinterMemoryGroup)) {
      if (!IsSheetKey(entry.key)) {
        Warn(entry, "unknown key " + entry.key + " in [" + std::string(kPrinterMemoryGroup) +
                        "]; ignored (its keys are sheet sizes such as 100x50mm)");
      }
      continue;
    }
    if (group == std::end(kKnownKeys)) {
      if (firstOfGroup) {
        std::vector<std::string_view> groups;
        for (const KnownKey& known : kKnownKeys) {
          groups.push_back(known.group);
        }
        const std::string_view close = Suggestion(entry.group, groups);
        Warn(groupLine, "unknown group [" + entry.group + "]; " +
                            (close.empty() ? std::string("its keys are ignored")
                                           : "did you mean [" + std::string(close) + "]?"));
      }
      continue;
    }
    if (firstOfGroup && entry.group != group->group) {
      Warn(groupLine, "group [" + entry.group + "] is read as [" + std::string(group->group) + "]");
    }
    const auto key = std::find_if(
        std::begin(kKnownKeys), std::end(kKnownKeys),
        [&](const KnownKey& k) { return k.group == group->group && EqualsIgnoreCase(k.key, entry.key); });
    const std::string name = "[" + std::string(group->group) + "] ";
    if (key == std::end(kKnownKeys)) {
      std::vector<std::string_view> keys;
      for (const KnownKey& known : kKnownKeys) {
        if (known.group == group->group) {
          keys.push_back(known.key);
        }
      }
      std::string advice = "ignored";
      if (const std::string_view close = Suggestion(entry.key, keys); !close.empty()) {
        advice = "did you mean " + std::string(close) + "?";
      } else if (const auto elsewhere = std::find_if(
                     std::begin(kKnownKeys), std::end(kKnownKeys),
                     [&](const KnownKey& k) { return EqualsIgnoreCase(k.key, entry.key); });
                 elsewhere != std::end(kKnownKeys)) {
        advice = "did you mean [" + std::string(elsewhere->group) + "] " +
                 std::string(elsewhere->key) + "?";
      }
      Warn(entry,
           "unknown key " + entry.key + " in [" + std::string(group->group) + "]; " + advice);
      continue;
    }
    if (entry.key != key->key) {
      Warn(entry, name + entry.key + " is read as " + std::string(key->key));
    }
    if (!seen.insert(entry.file + "\n" + std::string(group->group) + "\n" + std::string(key->key))
             .second) {
      Warn(entry,
           name + std::string(key->key) + " is set again in this file; the first value is used");
    }
  }
}

void ServerConfig::Check(const std::optional<std::string>& catalogueUrlFlag) {
  const auto rejected = [](const ConfigEntry& entry, std::string_view instead = kSourceDefault) {
    return std::string(instead) + ", as " + Where(entry) + " is not usable";
  };

  // [Server] port
  m_port = kDefaultPort;
  std::string portSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Server", "port")) {
    const std::optional<uint32_t> value = ParseDword(entry->value);
    if (!value) {
      Warn(*entry, "[Server] port " + Quoted(entry->value) +
                       " is not a whole number from 0 to 4294967295; using 3210");
      portSource = rejected(*entry);
    } else {
      m_port = static_cast<uint16_t>(*value & 0xFFFFu);
      portSource = entry->file;
      if (*value > 0xFFFFu) {
        Warn(*entry, "[Server] port " + entry->value + " is above 65535; using its low 16 bits, " +
                         std::to_string(m_port));
      }
      if (m_port == 0) {
        Warn(*entry, "[Server] port " + entry->value +
                         " gives port 0: the system picks a free port at each bind");
      }
    }
  }
  Add("[Server] port", std::to_string(m_port), portSource);

  // [Server] bindAddress
  std::string bindShown(kThisComputerOnly);
  std::string bindSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Server", "bindAddress")) {
    m_bindAddress = entry->value;
    const std::optional<std::string> address = NormalizeBindAddress(entry->value);
    if (!address) {
      Warn(*entry, "[Server] bindAddress " + Quoted(entry->value) +
                       " is not an IPv4 or IPv6 address or localhost; using " +
                       std::string(kThisComputerOnly));
      bindSource = rejected(*entry, "fallback");
    } else {
      bindSource = entry->file;
      if (!address->empty()) {
        bindShown = *address;
      }
    }
  }
  Add("[Server] bindAddress", bindShown, bindSource);

  // [Server] allowedOrigins and deniedOrigins
  const auto origins = [&](std::string_view key, std::string none) {
    std::string shown = std::move(none);
    std::string source(kSourceDefault);
    const std::optional<ConfigEntry> entry = m_files.Find("Server", key);
    if (entry) {
      std::vector<std::string> refused;
      bool any = false;
      const std::vector<std::string> listed = ParseOriginList(entry->value, &any, &refused);
      if (any && key == "deniedOrigins") {
        refused.insert(refused.begin(), "*");  // "*" stands for any origin only when allowing
        any = false;
      }
      for (const std::string& word : refused) {
        Warn(*entry, "[Server] " + std::string(key) + " entry " + Quoted(word) +
                         " is not an origin (scheme://host[:port] or null); it is left out");
      }
      source = entry->file;
      if (any) {
        shown = "* (any origin)";
      } else if (!listed.empty()) {
        shown = ListValue(listed);
      }
    }
    Add("[Server] " + std::string(key), shown, source);
  };
  // Checked and shown here; the site list (SiteList) reads them for use.
  origins("allowedOrigins", "none listed (with a display, the user is asked about each origin)");
  origins("deniedOrigins", "none listed");

  // [Server] switches, true unless set to false: their value and source.
  const auto serverSwitch = [&](std::string_view key, bool* value) {
    std::string source(kSourceDefault);
    if (const std::optional<ConfigEntry> entry = m_files.Find("Server", key)) {
      if (const std::optional<bool> on = ParseSwitch(entry->value)) {
        *value = *on;
        source = entry->file;
      } else {
        Warn(*entry, "[Server] " + std::string(key) + " " + Quoted(entry->value) +
                         " is neither true nor false; using true");
        source = rejected(*entry);
      }
    }
    return source;
  };

  // [Server] askForNewSites
  const std::string askSource = serverSwitch("askForNewSites", &m_asksForNewSites);
  Add("[Server] askForNewSites",
      m_asksForNewSites ? "true (with a display, the user is asked about each new origin)"
                        : "false (origins not listed are refused without asking)",
      askSource);

  // [Server] allowedHosts
  std::string hostsShown = "none listed";
  std::string hostsSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Server", "allowedHosts")) {
    std::vector<std::string> hosts;
    for (const std::string& word : Words(entry->value)) {
      if (IsHostEntry(word)) {
        hosts.push_back(word);
      } else {
        Warn(*entry, "[Server] allowedHosts entry " + Quoted(word) +
                         " is not a host name or address (host[:port]); it is left out");
      }
    }
    m_allowedHosts = ListValue(hosts);
    hostsSource = entry->file;
    if (!hosts.empty()) {
      hostsShown = *m_allowedHosts;
    }
  }
  Add("[Server] allowedHosts", hostsShown, hostsSource);

  // [Catalogue] url: the flag, the files, the build.
  const std::string builtIn = BuiltInCatalogueUrl();
  m_catalogueUrl = builtIn;
  m_catalogueUrlSource =
      builtIn.empty() ? std::string(kSourceDefault) : std::string(kSourceBuiltIn);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Catalogue", "url")) {
    const std::optional<std::string> url =
        entry->value.empty() ? std::optional<std::string>("") : NormalizeCatalogueUrl(entry->value);
    if (!url) {
      Warn(*entry,
           "[Catalogue] url " + Quoted(entry->value) +
               " is not http://host[:port] or https://host[:port]; " +
               (builtIn.empty() ? "no catalogue server is used" : "using the built-in " + builtIn));
      m_catalogueUrlSource = rejected(*entry, m_catalogueUrlSource);
    } else {
      m_catalogueUrl = *url;
      m_catalogueUrlSource = entry->file;
    }
  }
  if (catalogueUrlFlag) {
    m_catalogueUrl = *catalogueUrlFlag;
    m_catalogueUrlSource = kSourceCommandLine;
  }
  Add("[Catalogue] url", m_catalogueUrl.empty() ? "none" : m_catalogueUrl, m_catalogueUrlSource);

  // [Catalogue] proxy
  std::string proxySource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Catalogue", "proxy")) {
    if (entry->value.empty() || IsProxyAddress(entry->value)) {
      m_proxy = entry->value;
      proxySource = entry->file;
    } else {
      Warn(*entry, "[Catalogue] proxy " + Quoted(entry->value) +
                       " is not a proxy address ([scheme://]host[:port]); no proxy is set");
      proxySource = rejected(*entry);
    }
  }
  Add("[Catalogue] proxy", m_proxy.empty() ? "none (http_proxy and https_proxy apply)" : m_proxy,
      proxySource);

  // [Catalogue] maxDownloadRate
  std::string rateSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Catalogue", "maxDownloadRate")) {
    if (const std::optional<uint32_t> rate = ParseDword(entry->value)) {
      m_maxDownloadRate = *rate;
      rateSource = entry->file;
    } else {
      Warn(*entry, "[Catalogue] maxDownloadRate " + Quoted(entry->value) +
                       " is not a whole number of bytes per second; using " +
                       std::to_string(kDefaultMaxDownloadRate));
      rateSource = rejected(*entry);
    }
  }
  Add("[Catalogue] maxDownloadRate",
      m_maxDownloadRate == 0 ? "no cap" : std::to_string(m_maxDownloadRate) + " bytes/s",
      rateSource);

  // [Catalogue] caFile
  std::string caSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Catalogue", "caFile")) {
    const std::string problem = CertificateFileProblem(entry->value);
    if (problem.empty()) {
      m_caFile = entry->value;
      caSource = entry->file;
    } else {
      Warn(*entry, "[Catalogue] caFile " + Quoted(entry->value) + " " + problem +
                       "; only the system's authorities are trusted");
      caSource = rejected(*entry);
    }
  }
  Add("[Catalogue] caFile", m_caFile.empty() ? "none (the system's authorities)" : m_caFile,
      caSource);

  // [Save] folder
  std::string folderShown = "the download folder";
  std::string folderSource(kSourceDefault);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Save", "folder")) {
    if (entry->value.starts_with("/") || entry->value.starts_with("~/")) {
      folderShown = entry->value;
      folderSource = entry->file;
    } else if (!entry->value.empty()) {
      Warn(*entry, "[Save] folder " + Quoted(entry->value) +
                       " is not an absolute path or one starting with ~/; using the download "
                       "folder");
      folderSource = rejected(*entry);
    }
  }
  Add("[Save] folder", folderShown, folderSource);

  // [Server] trayIcon
  const std::string traySource = serverSwitch("trayIcon", &m_trayIcon);
  Add("[Server] trayIcon", m_trayIcon ? "true" : "false", traySource);
}

void ServerConfig::LogNewWarnings() const {
  MutexLock lock(g_loggedMutex);
  for (const std::string& warning : m_warnings) {
    if (g_logged.insert(warning).second) {
      LogWarning(warning);
    }
  }
}

}  // namespace qb
