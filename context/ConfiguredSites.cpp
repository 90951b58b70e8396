#include "context/ConfiguredSites.h"

#include "context/CAppData.h"
#include "util/Log.h"
#include "util/UserFolders.h"

namespace qb {

std::vector<SiteEntry> ConfiguredSites::Sites() const { return SiteList::List(); }

Result<> ConfiguredSites::MayChange(const std::string& origin) {
  for (const SiteEntry& entry : SiteList::List()) {
    if (entry.origin == origin && entry.source == SiteSource::kSystemFile) {
      return Failure{origin + " is listed in " + entry.file +
                     "; only its administrator can change it there"};
    }
  }
  return {};
}

Result<> ConfiguredSites::Remove(const std::string& origin) {
  if (Result<> allowed = MayChange(origin); !allowed) {
    return allowed;
  }
  const Result<std::optional<SiteEntry>> forgotten = SiteList::Forget(origin);
  if (!forgotten) {
    return Failure{"cannot change the sites of " + GetConfigFile() + ": " + forgotten.Error()};
  }
  if (!*forgotten) {
    return Failure{origin + " is not listed in " + GetConfigFile()};
  }
  Apply(origin, "forgotten");
  return {};
}

Result<> ConfiguredSites::Switch(const std::string& origin, bool allowed) {
  if (Result<> may = MayChange(origin); !may) {
    return may;
  }
  if (Result<> set = SiteList::Set(origin, allowed); !set) {
    return Failure{"cannot change the sites of " + GetConfigFile() + ": " + set.Error()};
  }
  Apply(origin, allowed ? "allowed" : "denied");
  return {};
}

void ConfiguredSites::Apply(const std::string& origin, const std::string& change) const {
  LogInfo("origin \"" + origin + "\" " + change + " in the status window; written to " +
          GetConfigFile());
  m_pAppData->RequestSitesReload();
}

}  // namespace qb
