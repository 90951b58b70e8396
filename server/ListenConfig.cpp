#include "server/ListenConfig.h"

#include <algorithm>
#include <memory>

#include "context/ServerConfig.h"
#include "util/Log.h"

namespace qb {
namespace {

// How an origin stands in `sites`: "allowed", "denied" or "not listed".
std::string StandingText(const std::vector<SiteEntry>& sites, const std::string& origin) {
  const auto found = std::find_if(sites.begin(), sites.end(),
                                  [&](const SiteEntry& entry) { return entry.origin == origin; });
  if (found == sites.end()) {
    return "not listed";
  }
  return found->allowed ? "allowed" : "denied";
}

}  // namespace

BindPlan ListenConfig::Apply(CAppData& app, uint16_t port) {
  // Every cycle checks the whole configuration; what is wrong in it (a
  // bindAddress, allowedHosts or origin entry that cannot be used among it) is
  // logged there with its file and line, once, again only after its text
  // changed.
  // The settings below come from the same reading of the files.
  const ServerConfig config = ServerConfig::Load();
  config.LogNewWarnings();

  const std::optional<std::string> values[2] = {config.ServerText("bindAddress"),
                                                config.ServerText("allowedHosts")};
  const auto& [bindValue, hostsValue] = values;
  bool changed = !m_bRead;
  for (size_t i = 0; i < 2; ++i) {
    changed = changed || values[i] != m_lastValues[i];
    m_lastValues[i] = values[i];
  }

  BindPlan plan = ParseBindAddress(bindValue, port);
  std::vector<std::string> addresses;
  for (const BindAddress& address : plan.addresses) {
    addresses.push_back(address.text);
  }
  auto hosts =
      std::make_shared<const HostPolicy>(HostPolicy::FromConfig(addresses, hostsValue, nullptr));
  if (changed && plan.Exposed()) {
    LogWarning("bindAddress " + plan.Text() +
               " lets other computers reach the server; only requests whose Host is one of " +
               "this computer's names or is listed in allowedHosts are served");
  }
  app.SetHostPolicy(std::move(hosts));
  ApplySites(app, config, SitesRead::kCycle);
  return plan;
}

void ListenConfig::ReloadSites(CAppData& app, bool logChanges) {
  const ServerConfig config = ServerConfig::Load();
  config.LogNewWarnings();
  ApplySites(app, config, logChanges ? SitesRead::kReload : SitesRead::kQuiet);
}

void ListenConfig::ApplySites(CAppData& app, const ServerConfig& config, SitesRead read) {
  std::vector<SiteEntry> sites = SiteList::List(config.Files());
  const bool asks = config.AsksForNewSites();
  auto origins = std::make_shared<const OriginPolicy>(SiteList::Policy(sites, asks));
  const auto same = [](const SiteEntry& x, const SiteEntry& y) {
    return x.origin == y.origin && x.allowed == y.allowed;
  };
  const bool changed = !m_bRead || asks != m_bLastAsks ||
                       !std::equal(sites.begin(), sites.end(), m_lastSites.begin(),
                                   m_lastSites.end(), same);
  if (!changed || read == SitesRead::kQuiet) {
    // nothing to say
  } else if (read == SitesRead::kReload) {
    // One line per origin whose standing changed, in the order listed.
    std::vector<std::string> origins;
    for (const std::vector<SiteEntry>* list : {&m_lastSites, &sites}) {
      for (const SiteEntry& entry : *list) {
        if (std::find(origins.begin(), origins.end(), entry.origin) == origins.end()) {
          origins.push_back(entry.origin);
        }
      }
    }
    for (const std::string& origin : origins) {
      const std::string before = StandingText(m_lastSites, origin);
      const std::string after = StandingText(sites, origin);
      if (before != after) {
        LogInfo("sites changed: origin \"" + origin + "\" was " + before + ", is now " + after);
      }
    }
    if (asks != m_bLastAsks) {
      LogInfo(std::string("sites changed: asking about new web origins is turned ") +
              (asks ? "on" : "off ([Server] askForNewSites)"));
    }
  } else {
    if (origins->AllowsAny()) {
      LogInfo("allowedOrigins is *: every web page may use the server");
    } else {
      std::string list;
      for (const std::string& origin : origins->Origins()) {
        list += (list.empty() ? "" : " ") + origin;
      }
      LogInfo(list.empty() ? std::string("no web origin is allowed yet")
                           : "web origins allowed: " + list);
    }
    if (!asks) {
      LogInfo("asking about new web origins is turned off ([Server] askForNewSites); origins "
              "not in allowedOrigins are refused");
    }
  }
  m_bRead = true;
  m_bLastAsks = asks;
  m_lastSites = std::move(sites);
  app.SetOriginPolicy(std::move(origins));
}

}  // namespace qb
