// The web sites (origins) as the status window lists and changes them: the
// window's seam, so that it can be shown with any list. ConfiguredSites is
// the one used by the server; it reads and writes through SiteList.
//
// Thread contract: implementations are called from the UI thread only.
#pragma once

#include <string>
#include <vector>

#include "context/SiteList.h"
#include "util/Result.h"

namespace qb {

class SiteDirectory {
 public:
  virtual ~SiteDirectory() = default;

  // The sites in effect, as SiteList::List gives them.
  virtual std::vector<SiteEntry> Sites() const = 0;
  // Takes `origin` off the user's lists: the next request from it is treated
  // as unlisted.
  virtual Result<> Remove(const std::string& origin) = 0;
  // Puts `origin` on the user's allowed (`allowed`) or denied list.
  virtual Result<> Switch(const std::string& origin, bool allowed) = 0;
};

}  // namespace qb
