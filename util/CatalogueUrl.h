// The catalogue server (`catalogueBaseUrl`): its base URL, scheme and
// host[:port] without a trailing "/", to which server paths beginning with "/"
// are appended, and the proxy its requests go through. The build sets the
// default URL (possibly none); start-up replaces both once from the command
// line and the configuration. An empty URL means no catalogue server: no
// catalogue request is made.
//
// Thread contract: the setters are called at start-up before any worker
// thread exists (and by tests between runs); reads may then happen on any
// thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// "[scheme://]host[:port]" with one of libcurl's proxy schemes (http, https,
// socks4, socks4a, socks5, socks5h) and no blanks, "/" or user part.
bool IsProxyAddress(std::string_view proxy);

}  // namespace qb
