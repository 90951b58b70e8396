#include "util/CatalogueUrl.h"

#include <algorithm>

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

bool IsHostPortChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == ':' || c == '[' || c == ']' || c == '~';
}

}  // namespace

const std::string& catalogueBaseUrl() { return Storage(); }

std::string BuiltInCatalogueUrl() { return QUILLBOX_DEFAULT_CATALOGUE_URL; }

std::optional<std::string> NormalizeCatalogueUrl(std::string_view url) {
  while (!url.empty() && url.back() == '/') {
    url.remove_suffix(1);
  }
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
  while (!proxy.empty() && proxy.back() == '/') {
    proxy.remove_suffix(1);
  }
  return !proxy.empty() && proxy.front() != ':' &&
         std::all_of(proxy.begin(), proxy.end(), IsHostPortChar);
}

}  // namespace qb
