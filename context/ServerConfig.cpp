#include "context/ServerConfig.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "context/CAppData.h"
#include "context/SettingsStore.h"
#include "context/OriginPolicy.h"
#include "output/PrinterMemory.h"
#include "update/HttpTransfer.h"
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

// What a key's text gives: its value, and warnings about parts of the text
// left out or adjusted, each worded to follow the key's name.
template <typename T>
struct KeyReading {
  T value;
  std::vector<std::string> notes;
};

// One checked key: how its text is read, the value in effect when the key is
// unset or its text is not usable, and how values are worded. The fallback is
// held here only; every message and shown value is worded from it.
template <typename T>
struct ConfigKeyRule {
  std::string_view group;
  std::string_view key;
  T fallback;
  // The reading of a text, or (Failure) why it is not usable: "is not ...".
  Result<KeyReading<T>> (*read)(const std::string& text);
  // A value in effect as --status shows it.
  std::string (*show)(const T& value);
  // What the warning about an unusable text says is used instead, after
  // "; ". May be null for a key whose every text is usable.
  std::string (*instead)(const T& fallback) = nullptr;
  // Where --status says the fallback comes from: when the key is unset, and
  // (if not empty) when its text is not usable.
  std::string_view fallbackSource = kSourceDefault;
  std::string_view unusableSource = {};
  // Whether an empty text counts as the key being unset.
  bool emptyIsUnset = false;

  std::string Name() const { return "[" + std::string(group) + "] " + std::string(key); }
};

// The keys checked, in the order --status lists them.
namespace {

// "using X", X the fallback as `show` words it.
template <typename T>
std::string UsingNumber(const T& fallback) {
  return "using " + std::to_string(fallback);
}

std::string UsingSwitch(const bool& fallback) {
  return std::string("using ") + (fallback ? "true" : "false");
}

Result<KeyReading<bool>> ReadSwitch(const std::string& text) {
  if (const std::optional<bool> on = ParseSwitch(text)) {
    return KeyReading<bool>{*on, {}};
  }
  return Failure{"is neither true nor false"};
}

// The origins a list text gives ({"*"} for any origin when `anyAllowed`), with
// a note for each entry left out.
Result<KeyReading<std::vector<std::string>>> ReadOrigins(const std::string& text,
                                                         bool anyAllowed) {
  std::vector<std::string> refused;
  bool any = false;
  KeyReading<std::vector<std::string>> reading{ParseOriginList(text, &any, &refused), {}};
  if (any && !anyAllowed) {
    refused.insert(refused.begin(), "*");
    any = false;
  }
  for (const std::string& word : refused) {
    reading.notes.push_back("entry " + Quoted(word) +
                            " is not an origin (scheme://host[:port] or null); it is left out");
  }
  if (any) {
    reading.value = {"*"};
  }
  return reading;
}

std::string ShowOrigins(const std::vector<std::string>& origins, std::string_view none) {
  if (origins.empty()) {
    return std::string(none);
  }
  return origins == std::vector<std::string>{"*"} ? std::string(kAnyOriginText)
                                                  : ListValue(origins);
}

// A path text: usable when absolute or starting with ~/.
Result<KeyReading<std::string>> ReadFolder(const std::string& text) {
  if (text.starts_with("/") || text.starts_with("~/")) {
    return KeyReading<std::string>{text, {}};
  }
  return Failure{"is not an absolute path or one starting with ~/"};
}

const ConfigKeyRule<uint16_t> kPortRule{
    .group = "Server",
    .key = "port",
    .fallback = kDefaultPort,
    .read = [](const std::string& text) -> Result<KeyReading<uint16_t>> {
      const std::optional<uint32_t> value = ParseDword(text);
      if (!value) {
        return Failure{"is not a whole number from 0 to 4294967295"};
      }
      KeyReading<uint16_t> reading{static_cast<uint16_t>(*value & 0xFFFFu), {}};
      if (*value > 0xFFFFu) {
        reading.notes.push_back(text + " is above 65535; using its low 16 bits, " +
                                std::to_string(reading.value));
      }
      if (reading.value == 0) {
        reading.notes.push_back(text + " gives port 0: the system picks a free port at each bind");
      }
      return reading;
    },
    .show = [](const uint16_t& port) { return std::to_string(port); },
    .instead = UsingNumber<uint16_t>,
};

// The address asked for, "" for this computer only.
const ConfigKeyRule<std::string> kBindAddressRule{
    .group = "Server",
    .key = "bindAddress",
    .fallback = "",
    .read = [](const std::string& text) -> Result<KeyReading<std::string>> {
      if (std::optional<std::string> address = NormalizeBindAddress(text)) {
        return KeyReading<std::string>{std::move(*address), {}};
      }
      return Failure{"is not an IPv4 or IPv6 address or localhost"};
    },
    .show = [](const std::string& address) {
      return address.empty() ? std::string(kThisComputerOnly) : address;
    },
    .instead = [](const std::string& fallback) {
      return "using " + kBindAddressRule.show(fallback);
    },
    .unusableSource = "fallback",
};

// Checked and shown here; the site list (SiteList) reads them for use.
const ConfigKeyRule<std::vector<std::string>> kAllowedOriginsRule{
    .group = "Server",
    .key = "allowedOrigins",
    .fallback = {},
    .read = [](const std::string& text) { return ReadOrigins(text, true); },
    .show = [](const std::vector<std::string>& origins) {
      return ShowOrigins(origins, kNoOriginsListedText);
    },
};

const ConfigKeyRule<std::vector<std::string>> kDeniedOriginsRule{
    .group = "Server",
    .key = "deniedOrigins",
    .fallback = {},
    .read = [](const std::string& text) { return ReadOrigins(text, false); },
    .show = [](const std::vector<std::string>& origins) {
      return ShowOrigins(origins, kNoneListedText);
    },
};

const ConfigKeyRule<bool> kAskForNewSitesRule{
    .group = "Server",
    .key = "askForNewSites",
    .fallback = true,
    .read = ReadSwitch,
    .show = [](const bool& asks) {
      return std::string(asks ? "true (with a display, the user is asked about each new origin)"
                              : "false (origins not listed are refused without asking)");
    },
    .instead = UsingSwitch,
};

// The host entries kept, as a list text; nullopt when unset.
const ConfigKeyRule<std::optional<std::string>> kAllowedHostsRule{
    .group = "Server",
    .key = "allowedHosts",
    .fallback = std::nullopt,
    .read = [](const std::string& text) -> Result<KeyReading<std::optional<std::string>>> {
      std::vector<std::string> hosts;
      std::vector<std::string> notes;
      for (const std::string& word : Words(text)) {
        if (IsHostEntry(word)) {
          hosts.push_back(word);
        } else {
          notes.push_back("entry " + Quoted(word) +
                          " is not a host name or address (host[:port]); it is left out");
        }
      }
      return KeyReading<std::optional<std::string>>{ListValue(hosts), std::move(notes)};
    },
    .show = [](const std::optional<std::string>& hosts) {
      return hosts.value_or("").empty() ? std::string(kNoneListedText) : *hosts;
    },
};

// The fallback is the built-in server, if the build names one.
ConfigKeyRule<std::string> CatalogueUrlRule() {
  const std::string builtIn = BuiltInCatalogueUrl();
  return {
      .group = "Catalogue",
      .key = "url",
      .fallback = builtIn,
      .read = [](const std::string& text) -> Result<KeyReading<std::string>> {
        if (text.empty()) {
          return KeyReading<std::string>{"", {}};
        }
        if (std::optional<std::string> url = NormalizeCatalogueUrl(text)) {
          return KeyReading<std::string>{std::move(*url), {}};
        }
        return Failure{"is not http://host[:port] or https://host[:port]"};
      },
      .show = [](const std::string& url) { return url.empty() ? std::string("none") : url; },
      .instead = [](const std::string& fallback) {
        return fallback.empty() ? std::string("no catalogue server is used")
                                : "using the built-in " + fallback;
      },
      .fallbackSource = builtIn.empty() ? kSourceDefault : kSourceBuiltIn,
  };
}

const ConfigKeyRule<std::string> kProxyRule{
    .group = "Catalogue",
    .key = "proxy",
    .fallback = "",
    .read = [](const std::string& text) -> Result<KeyReading<std::string>> {
      if (text.empty() || IsProxyAddress(text)) {
        return KeyReading<std::string>{text, {}};
      }
      return Failure{"is not a proxy address ([scheme://]host[:port])"};
    },
    .show = [](const std::string& proxy) {
      return proxy.empty() ? std::string("none (http_proxy and https_proxy apply)") : proxy;
    },
    .instead = [](const std::string&) { return std::string("no proxy is set"); },
};

const ConfigKeyRule<int64_t> kMaxDownloadRateRule{
    .group = "Catalogue",
    .key = "maxDownloadRate",
    .fallback = kDefaultMaxDownloadRate,
    .read = [](const std::string& text) -> Result<KeyReading<int64_t>> {
      if (const std::optional<uint32_t> rate = ParseDword(text)) {
        return KeyReading<int64_t>{*rate, {}};
      }
      return Failure{"is not a whole number of bytes per second"};
    },
    .show = [](const int64_t& rate) {
      return rate == 0 ? std::string("no cap") : std::to_string(rate) + " bytes/s";
    },
    .instead = UsingNumber<int64_t>,
};

const ConfigKeyRule<std::string> kCaFileRule{
    .group = "Catalogue",
    .key = "caFile",
    .fallback = "",
    .read = [](const std::string& text) -> Result<KeyReading<std::string>> {
      if (std::string problem = CertificateFileProblem(text); !problem.empty()) {
        return Failure{std::move(problem)};
      }
      return KeyReading<std::string>{text, {}};
    },
    .show = [](const std::string& file) {
      return file.empty() ? std::string("none (the system's authorities)") : file;
    },
    .instead = [](const std::string&) {
      return std::string("only the system's authorities are trusted");
    },
};

// Checked and shown here; saving (HeadlessSaveFolders) reads it for use.
const ConfigKeyRule<std::string> kSaveFolderRule{
    .group = "Save",
    .key = "folder",
    .fallback = "",
    .read = ReadFolder,
    .show = [](const std::string& folder) {
      return folder.empty() ? std::string("the download folder") : folder;
    },
    .instead = [](const std::string& fallback) {
      return "using " + kSaveFolderRule.show(fallback);
    },
    .emptyIsUnset = true,
};

const ConfigKeyRule<bool> kTrayIconRule{
    .group = "Server",
    .key = "trayIcon",
    .fallback = true,
    .read = ReadSwitch,
    .show = [](const bool& shown) { return std::string(shown ? "true" : "false"); },
    .instead = UsingSwitch,
};

}  // namespace

template <typename T>
ServerConfig::InEffect<T> ServerConfig::Read(const ConfigKeyRule<T>& rule) {
  const std::optional<ConfigEntry> entry = m_files.Find(rule.group, rule.key);
  if (!entry || (rule.emptyIsUnset && entry->value.empty())) {
    return {rule.fallback, std::string(rule.fallbackSource)};
  }
  Result<KeyReading<T>> reading = rule.read(entry->value);
  if (!reading) {
    Warn(*entry, rule.Name() + " " + Quoted(entry->value) + " " + reading.Error() + "; " +
                     rule.instead(rule.fallback));
    const std::string_view source =
        rule.unusableSource.empty() ? rule.fallbackSource : rule.unusableSource;
    return {rule.fallback, std::string(source) + ", as " + Where(*entry) + " is not usable"};
  }
  for (const std::string& note : reading->notes) {
    Warn(*entry, rule.Name() + " " + note);
  }
  return {std::move(reading->value), entry->file};
}

template <typename T>
T ServerConfig::Apply(const ConfigKeyRule<T>& rule) {
  InEffect<T> read = Read(rule);
  Add(rule.Name(), rule.show(read.value), std::move(read.source));
  return std::move(read.value);
}

void ServerConfig::Check(const std::optional<std::string>& catalogueUrlFlag) {
  m_port = Apply(kPortRule);
  if (const std::optional<ConfigEntry> entry = m_files.Find("Server", "bindAddress")) {
    m_bindAddress = entry->value;  // the listener reads the text itself
  }
  Apply(kBindAddressRule);
  Apply(kAllowedOriginsRule);
  Apply(kDeniedOriginsRule);
  m_asksForNewSites = Apply(kAskForNewSitesRule);
  m_allowedHosts = Apply(kAllowedHostsRule);

  // The flag of this run decides over the files and the build.
  const ConfigKeyRule<std::string> urlRule = CatalogueUrlRule();
  InEffect<std::string> url = Read(urlRule);
  if (catalogueUrlFlag) {
    url = {*catalogueUrlFlag, std::string(kSourceCommandLine)};
  }
  m_catalogueUrl = url.value;
  m_catalogueUrlSource = url.source;
  Add(urlRule.Name(), urlRule.show(url.value), std::move(url.source));

  m_proxy = Apply(kProxyRule);
  m_maxDownloadRate = Apply(kMaxDownloadRateRule);
  m_caFile = Apply(kCaFileRule);
  Apply(kSaveFolderRule);
  m_trayIcon = Apply(kTrayIconRule);
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
