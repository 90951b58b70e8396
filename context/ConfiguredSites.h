// The site list kept in the configuration files: [Server] allowedOrigins and
// deniedOrigins, each taken from the most important file holding it (as the
// listener reads them). Entries of the user's file are editable; those of a
// system-wide file are shown read-only. A change is written to the user's
// file through the configuration store (the same writer the answers to the
// origin question use) and the running server's origin policy is rebuilt
// from the files at once.
//
// Thread contract: UI thread only (see SiteList). The context outlives it.
#pragma once

#include <optional>

#include "context/SiteList.h"

namespace qb {

class CAppData;

class ConfiguredSites : public SiteList {
 public:
  explicit ConfiguredSites(CAppData* appData) : m_pAppData(appData) {}

  std::vector<SiteEntry> Sites() const override;
  Result<> Remove(const std::string& origin) override;
  Result<> Switch(const std::string& origin, bool allowed) override;

 private:
  // Writes the user's lists with `origin` taken off both, and added to the
  // allowed or denied one when `to` holds a value.
  Result<> Change(const std::string& origin, std::optional<bool> to);

  CAppData* m_pAppData;  // not owned
};

}  // namespace qb
