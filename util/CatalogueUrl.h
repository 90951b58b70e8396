// The base URL of the catalogue server (`catalogueBaseUrl`): scheme and
// host[:port], no trailing "/". Server paths beginning with "/" are appended
// to it. The build sets the default; the command line may replace it once.
//
// Thread contract: SetCatalogueBaseUrl is called at start-up before any
// worker thread exists; reads may then happen on any thread.
#pragma once

#include <string>
#include <string_view>

namespace qb {

const std::string& catalogueBaseUrl();

// Replaces the base URL after checking it: "http://" or "https://" followed by
// a host. Trailing "/" are dropped. Returns false (and changes nothing) for
// anything else.
bool SetCatalogueBaseUrl(std::string_view url);

}  // namespace qb
