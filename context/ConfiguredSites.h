// The status window's site list: SiteList's entries and changes, refused for
// an origin only a system-wide file lists (the administrator's). After a
// change the running server is asked to read the site lists again, which the
// listener does as for any edit of the user's file (and logs each origin
// whose standing changed).
//
// Thread contract: UI thread only (see SiteDirectory). The context outlives
// it.
#pragma once

#include <optional>

#include "context/SiteDirectory.h"

namespace qb {

class CAppData;

class ConfiguredSites : public SiteDirectory {
 public:
  explicit ConfiguredSites(CAppData* appData) : m_pAppData(appData) {}

  std::vector<SiteEntry> Sites() const override;
  Result<> Remove(const std::string& origin) override;
  Result<> Switch(const std::string& origin, bool allowed) override;

 private:
  // Fails when `origin` is listed by a system-wide file only.
  static Result<> MayChange(const std::string& origin);
  // Asks the running server to read the site lists again.
  void Apply(const std::string& origin, const std::string& change) const;

  CAppData* m_pAppData;  // not owned
};

}  // namespace qb
