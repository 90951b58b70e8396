// The base URL of the catalogue server (`catalogueBaseUrl`): scheme and
// host[:port], no trailing "/". Server paths beginning with "/" are appended
// to it. The build sets the default; the command line may replace it once.
//
// The catalogue server is not trusted beyond its own origin: what it names is
// fetched only from its own scheme, host and port (CatalogueRequestUrl), and
// values placed into its URLs are percent-encoded where they would change the
// URL's meaning (EncodeUrlValue).
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

// True when `url` begins with "http://" or "https://" (in any letter case);
// anything else, a text merely containing "http" included, is a server path.
bool IsAbsoluteUrl(std::string_view url);

// The URL to fetch for `pathOrUrl`, a server path or an absolute URL named by
// the catalogue server. A server path is appended to the base URL (with a "/"
// put in front when it has none, so it can never extend the host name). An
// absolute URL is taken only when its scheme, host and port are the base
// URL's. Empty when refused; `refusal` then says why.
std::string CatalogueRequestUrl(const std::string& pathOrUrl, std::string* refusal);

// `value` with every byte that would change the meaning of a URL it is put
// into ("#", "%", "&", "+", "=", "?", blanks and other control bytes, non-ASCII
// bytes) written as "%XX". Other characters, "/" and ":" included, stay, so a
// plain value gives the same URL as before.
std::string EncodeUrlValue(std::string_view value);

}  // namespace qb
