#include "util/CatalogueUrl.h"

#include <algorithm>
#include <optional>

#include "util/Text.h"

namespace qb {
namespace {

std::string& Storage() {
  static std::string url = QUILLBOX_DEFAULT_CATALOGUE_URL;
  return url;
}

std::string& ProxyStorage() {
  static std::string proxy;
  return proxy;
}

std::string& CaFileStorage() {
  static std::string path;
  return path;
}

bool IsHostPortChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == ':' || c == '[' || c == ']' || c == '~';
}

// Scheme, host and port of an absolute URL, in one comparable form
// ("http://host:80"). nullopt when the authority holds anything but a plain
// host name or address and an optional decimal port: user information, "%",
// "\" or blanks could make another parser see another host.
std::optional<std::string> Origin(std::string_view url) {
  const std::string lower = AsciiLower(url.substr(0, std::min<size_t>(url.size(), 8)));
  std::string scheme;
  std::string_view rest;
  if (lower.starts_with("http://")) {
    scheme = "http";
    rest = url.substr(7);
  } else if (lower.starts_with("https://")) {
    scheme = "https";
    rest = url.substr(8);
  } else {
    return std::nullopt;
  }
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.empty()) {
    return std::nullopt;
  }
  for (const char c : authority) {
    const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                         c == '_' || c == ':' || c == '[' || c == ']';
    if (!allowed) {
      return std::nullopt;
    }
  }
  std::string_view host = authority;
  std::string_view port;
  const size_t bracket = authority.rfind(']');
  const size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty() || port.find_first_not_of("0123456789") != std::string_view::npos ||
      port.size() > 5) {
    return std::nullopt;
  }
  while (port.size() > 1 && port.front() == '0') {
    port.remove_prefix(1);
  }
  if (port.empty()) {
    port = scheme == "http" ? "80" : "443";
  }
  return scheme + "://" + AsciiLower(host) + ":" + std::string(port);
}

}  // namespace

const std::string& catalogueBaseUrl() { return Storage(); }

std::string BuiltInCatalogueUrl() { return QUILLBOX_DEFAULT_CATALOGUE_URL; }

std::optional<std::string> NormalizeCatalogueUrl(std::string_view url) {
  url = TrimEnd(url, "/");
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (url.starts_with(scheme) && url.size() > scheme.size() &&
        url.find_first_of("/?# ", scheme.size()) == std::string_view::npos) {
      return std::string(url);
    }
  }
  return std::nullopt;
}

bool SetCatalogueBaseUrl(std::string_view url) {
  if (url.empty()) {
    Storage().clear();
    return true;
  }
  std::optional<std::string> normal = NormalizeCatalogueUrl(url);
  if (!normal) {
    return false;
  }
  Storage() = std::move(*normal);
  return true;
}

const std::string& catalogueProxy() { return ProxyStorage(); }

void SetCatalogueProxy(std::string_view proxy) { ProxyStorage() = std::string(proxy); }

const std::string& catalogueCaFile() { return CaFileStorage(); }

void SetCatalogueCaFile(std::string_view path) { CaFileStorage() = std::string(path); }

bool IsProxyAddress(std::string_view proxy) {
  const size_t mark = proxy.find("://");
  if (mark != std::string_view::npos) {
    const std::string_view scheme = proxy.substr(0, mark);
    if (scheme != "http" && scheme != "https" && scheme != "socks4" && scheme != "socks4a" &&
        scheme != "socks5" && scheme != "socks5h") {
      return false;
    }
    proxy.remove_prefix(mark + 3);
  }
  proxy = TrimEnd(proxy, "/");
  return !proxy.empty() && proxy.front() != ':' &&
         std::all_of(proxy.begin(), proxy.end(), IsHostPortChar);
}

bool IsAbsoluteUrl(std::string_view url) {
  const std::string lower = AsciiLower(url.substr(0, std::min<size_t>(url.size(), 8)));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

Result<std::string> CatalogueRequestUrl(const std::string& pathOrUrl) {
  const std::string& base = catalogueBaseUrl();
  if (base.empty()) {
    return Failure{"no catalogue server is configured"};
  }
  if (!IsAbsoluteUrl(pathOrUrl)) {
    return pathOrUrl.starts_with('/') ? base + pathOrUrl : base + "/" + pathOrUrl;
  }
  const std::optional<std::string> origin = Origin(pathOrUrl);
  if (!origin || origin != Origin(base)) {
    return Failure{"not on the catalogue server " + base};
  }
  return pathOrUrl;
}

std::string EncodeUrlValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kMeaningful = "#%&+=?";
  std::string encoded;
  encoded.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || kMeaningful.find(c) != std::string_view::npos) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

}  // namespace qb
