// The command-line face of the site list: --sites writes the allowed and
// denied origins with where each comes from, --forget-site takes one of the
// user's remembered answers back. A running server notices the change of
// the file by itself (SitesWatcher) and applies it at once.
//
// Thread contract: the main thread of a command-line run.
#pragma once

#include <string>
#include <vector>

#include "context/SiteList.h"

namespace qb {

// What --sites prints for `entries` and the asking switch: one line per
// site, "allowed https://a.example (an answer to the question, FILE)", or
// "no site is allowed or denied", then one line on new sites.
std::string SitesText(const std::vector<SiteEntry>& entries, bool asks,
                      const std::string& asksSource);

// Runs --sites: exit status 0.
int ListSites();
// Runs --forget-site `text`: exit status 0 when an entry of the user's file
// was removed, 1 when there was none (or it is not an origin, or the file
// cannot be written), with the reason on standard error.
int ForgetSite(const std::string& text);

}  // namespace qb
