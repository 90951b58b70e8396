// The web sites (origins) the server allows or denies, with where each entry
// comes from, as the status window shows them and changes them. This is the
// seam between the window and whatever keeps the site answers: the window
// only reads Sites() and calls Remove and Switch.
//
// Thread contract: implementations are called from the UI thread only; a
// change they make must reach the running server's origin policy before it
// returns.
#pragma once

#include <string>
#include <vector>

#include "util/Result.h"

namespace qb {

struct SiteEntry {
  std::string origin;  // compared form ("https://a.example"), or "*"
  bool allowed = false;
  std::string source;  // the file that lists it
  bool editable = false;  // the user's own entry: it may be removed or switched
};

class SiteList {
 public:
  virtual ~SiteList() = default;

  // Every allowed origin, then every denied one, as the running server
  // would read them now.
  virtual std::vector<SiteEntry> Sites() const = 0;
  // Takes `origin` off the user's lists: the next request from it is treated
  // as unlisted.
  virtual Result<> Remove(const std::string& origin) = 0;
  // Moves `origin` to the user's allowed (`allowed`) or denied list.
  virtual Result<> Switch(const std::string& origin, bool allowed) = 0;
};

}  // namespace qb
