// The browser-facing settings of one listening cycle: reads [Server]
// bindAddress, allowedHosts, the site lists (SiteList) and askForNewSites
// afresh, installs the host and origin policies in the application context
// and gives the addresses to bind. The site lists are also read again
// whenever they change (ReloadSites), without a rebind. Each cycle checks the
// whole configuration (ServerConfig); what cannot be used, and listening
// where other computers can reach the server, is logged once, not again at
// every retry of a failed bind, until its text changes.
//
// Thread contract: owned and used by the listener thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "context/CAppData.h"
#include "context/ServerConfig.h"
#include "context/SiteList.h"
#include "server/BindAddress.h"

namespace qb {

class ListenConfig {
 public:
  ~ListenConfig() = default;

  // Reads the settings, sets the policies of `app` and returns the addresses
  // to bind with `port`.
  BindPlan Apply(CAppData& app, uint16_t port);
  // Reads the site lists (SiteList) and askForNewSites again and sets the
  // origin policy of `app`; with `logChanges`, each origin whose standing
  // changed is logged (a change the server made itself is logged where it
  // is made).
  void ReloadSites(CAppData& app, bool logChanges = true);

 private:
  enum class SitesRead { kCycle, kReload, kQuiet };
  void ApplySites(CAppData& app, const ServerConfig& config, SitesRead read);

  bool m_bRead = false;  // the values below hold what was read last
  std::optional<std::string> m_lastValues[2];
  bool m_bLastAsks = true;
  std::vector<SiteEntry> m_lastSites;
};

}  // namespace qb
