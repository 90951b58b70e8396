// The catalogue server (`catalogueBaseUrl`): its base URL, scheme and
// host[:port] without a trailing "/", to which server paths beginning with "/"
// are appended, the proxy its requests go through and the further authority
// its https certificate may come from. The build sets the default URL
// (usually none); start-up replaces all three once from the command line and
// the configuration. An empty URL means no catalogue server: no
// catalogue request is made.
//
// Thread contract: the setters are called at start-up before any worker
// thread exists (and by tests between runs); reads may then happen on any
// thread.
// The catalogue server is not trusted beyond its own origin: what it names is
// fetched only from its own scheme, host and port (CatalogueRequestUrl), and
// values placed into its URLs are percent-encoded where they would change the
// URL's meaning (EncodeUrlValue).
//
// Thread contract: SetCatalogueBaseUrl is called at start-up before any
// worker thread exists; reads may then happen on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "util/Result.h"

namespace qb {

const std::string& catalogueBaseUrl();

// The URL the build was configured with; empty when it has none.
std::string BuiltInCatalogueUrl();

// "http://" or "https://" followed by a host[:port] and nothing else, with
// trailing "/" dropped; nullopt for anything else.
std::optional<std::string> NormalizeCatalogueUrl(std::string_view url);

// Replaces the base URL after NormalizeCatalogueUrl; an empty `url` means no
// catalogue server. Returns false (and changes nothing) for anything else.
bool SetCatalogueBaseUrl(std::string_view url);

// The proxy handed to libcurl for every catalogue request; empty: libcurl's
// own default (the http_proxy, https_proxy and no_proxy variables).
const std::string& catalogueProxy();
void SetCatalogueProxy(std::string_view proxy);

// A file of PEM certificates of further authorities trusted for https
// catalogue requests, besides the system's (or SSL_CERT_FILE's); empty: none.
const std::string& catalogueCaFile();
void SetCatalogueCaFile(std::string_view path);

// "[scheme://]host[:port]" with one of libcurl's proxy schemes (http, https,
// socks4, socks4a, socks5, socks5h) and no blanks, "/" or user part.
bool IsProxyAddress(std::string_view proxy);
// True when `url` begins with "http://" or "https://" (in any letter case);
// anything else, a text merely containing "http" included, is a server path.
bool IsAbsoluteUrl(std::string_view url);

// The URL to fetch for `pathOrUrl`, a server path or an absolute URL named by
// the catalogue server. A server path is appended to the base URL (with a "/"
// put in front when it has none, so it can never extend the host name). An
// absolute URL is taken only when its scheme, host and port are the base
// URL's. Fails with the reason when refused.
Result<std::string> CatalogueRequestUrl(const std::string& pathOrUrl);

// `value` with every byte that would change the meaning of a URL it is put
// into ("#", "%", "&", "+", "=", "?", blanks and other control bytes, non-ASCII
// bytes) written as "%XX". Other characters, "/" and ":" included, stay, so a
// plain value gives the same URL as before.
std::string EncodeUrlValue(std::string_view value);

}  // namespace qb
