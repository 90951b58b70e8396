#include "context/ConfiguredSites.h"

#include <memory>

#include "context/CAppData.h"
#include "context/OriginPolicy.h"
#include "context/ServerConfig.h"
#include "util/ConfigFiles.h"
#include "util/Log.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr const char* kListKeys[] = {"allowedOrigins", "deniedOrigins"};

bool IsUserFile(const ConfigFiles& files, const ConfigEntry& entry) {
  return !files.Files().empty() && entry.file == files.Files().front().path;
}

bool Names(std::string_view word, const std::string& origin) {
  if (word == "*") {
    return origin == "*";
  }
  const std::optional<std::string> normal = NormalizeOrigin(word);
  return normal && *normal == origin;
}

}  // namespace

std::vector<SiteEntry> ConfiguredSites::Sites() const {
  const ConfigFiles files = ConfigFiles::Read();
  std::vector<SiteEntry> sites;
  for (const char* key : kListKeys) {
    const std::optional<ConfigEntry> entry = files.Find("Server", key);
    if (!entry) {
      continue;
    }
    const bool allowed = key == kListKeys[0];
    bool any = false;
    const std::vector<std::string> origins = ParseOriginList(entry->value, &any, nullptr);
    if (any && allowed) {
      sites.push_back({"*", true, entry->file, IsUserFile(files, *entry)});
    }
    for (const std::string& origin : origins) {
      sites.push_back({origin, allowed, entry->file, IsUserFile(files, *entry)});
    }
  }
  return sites;
}

Result<> ConfiguredSites::Remove(const std::string& origin) { return Change(origin, std::nullopt); }

Result<> ConfiguredSites::Switch(const std::string& origin, bool allowed) {
  return Change(origin, allowed);
}

Result<> ConfiguredSites::Change(const std::string& origin, std::optional<bool> to) {
  const ConfigFiles files = ConfigFiles::Read();
  for (const char* key : kListKeys) {
    const bool allowedList = key == kListKeys[0];
    const std::optional<ConfigEntry> entry = files.Find("Server", key);
    const std::string current = entry ? entry->value : std::string();
    std::vector<std::string> words;
    bool listed = false;
    for (const std::string_view word : BlankSeparated(current)) {
      if (Names(word, origin)) {
        listed = true;
      } else {
        words.emplace_back(word);
      }
    }
    if (listed && !IsUserFile(files, *entry)) {
      return Failure{origin + " is listed in " + entry->file + "; only its administrator can "
                     "change it there"};
    }
    const bool add = to.has_value() && *to == allowedList;
    if (add) {
      words.push_back(origin);
    }
    if (!listed && !add) {
      continue;
    }
    std::string value;
    for (const std::string& word : words) {
      value += (value.empty() ? "" : " ") + word;
    }
    // The same store the answers to the origin question are written through;
    // a key the user's file lacks starts from the value in effect, as there.
    if (!m_pAppData->SetServerValue(key, value)) {
      return Failure{"cannot write [Server] " + std::string(key) + " of " + GetConfigFile()};
    }
  }
  const ServerConfig config = ServerConfig::Load();
  m_pAppData->SetOriginPolicy(std::make_shared<const OriginPolicy>(OriginPolicy::FromConfig(
      config.ServerText("allowedOrigins"), config.ServerText("deniedOrigins"), nullptr)));
  LogInfo("origin \"" + origin + "\" " +
          (!to ? std::string("forgotten") : *to ? std::string("allowed") : std::string("denied")) +
          " in the status window; written to " + GetConfigFile());
  return {};
}

}  // namespace qb
