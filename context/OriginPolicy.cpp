#include "context/OriginPolicy.h"

#include <algorithm>

#include "util/Text.h"

namespace qb {
namespace {

bool IsAlpha(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSchemeChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; }

// Characters of a host name or an IPv4 address as a URL carries them.
bool IsHostChar(char c) {
  return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Characters between the brackets of an IPv6 address.
bool IsIpv6Char(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || c == ':' || c == '.'; }

std::optional<std::string> DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") {
    return "80";
  }
  if (scheme == "https" || scheme == "wss") {
    return "443";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> NormalizeOrigin(std::string_view text) {
  const std::string lower = AsciiLower(text);
  if (lower == "null") {
    return lower;
  }
  const size_t mark = lower.find("://");
  if (mark == std::string::npos || mark == 0 || !IsAlpha(lower[0]) ||
      !std::all_of(lower.begin(), lower.begin() + static_cast<std::ptrdiff_t>(mark),
                   IsSchemeChar)) {
    return std::nullopt;
  }
  const std::string scheme = lower.substr(0, mark);
  std::string_view rest = std::string_view(lower).substr(mark + 3);
  if (!rest.empty() && rest.back() == '/') {
    rest.remove_suffix(1);
  }

  std::string_view host;
  std::string_view port;
  bool hasPort = false;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos || close < 2 ||
        !std::all_of(rest.begin() + 1, rest.begin() + static_cast<std::ptrdiff_t>(close),
                     IsIpv6Char)) {
      return std::nullopt;
    }
    host = rest.substr(0, close + 1);
    rest.remove_prefix(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return std::nullopt;
      }
      hasPort = true;
      port = rest.substr(1);
    }
  } else {
    const size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostChar)) {
      return std::nullopt;
    }
    if (colon != std::string_view::npos) {
      hasPort = true;
      port = rest.substr(colon + 1);
    }
  }

  std::string result = scheme + "://" + std::string(host);
  if (hasPort) {
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit)) {
      return std::nullopt;
    }
    const unsigned long number = std::stoul(std::string(port));
    if (number > 65535) {
      return std::nullopt;
    }
    const std::string canonical = std::to_string(number);
    if (canonical != DefaultPort(scheme)) {
      result += ":" + canonical;
    }
  }
  return result;
}

std::vector<std::string> ParseOriginList(const std::optional<std::string>& value, bool* any,
                                         std::vector<std::string>* rejected) {
  std::vector<std::string> origins;
  const std::string_view list = value ? std::string_view(*value) : std::string_view();
  for (const std::string_view entry : BlankSeparated(list)) {
    if (entry == "*") {
      if (any != nullptr) {
        *any = true;
      }
      continue;
    }
    std::optional<std::string> origin = NormalizeOrigin(entry);
    if (!origin) {
      if (rejected != nullptr) {
        rejected->emplace_back(entry);
      }
      continue;
    }
    if (std::find(origins.begin(), origins.end(), *origin) == origins.end()) {
      origins.push_back(std::move(*origin));
    }
  }
  return origins;
}

OriginPolicy OriginPolicy::Any() {
  OriginPolicy policy;
  policy.m_bAny = true;
  return policy;
}

OriginPolicy OriginPolicy::FromConfig(const std::optional<std::string>& allowed,
                                      std::vector<std::string>* rejected) {
  return FromConfig(allowed, std::nullopt, rejected);
}

OriginPolicy OriginPolicy::FromConfig(const std::optional<std::string>& allowed,
                                      const std::optional<std::string>& denied,
                                      std::vector<std::string>* rejected) {
  OriginPolicy policy;
  bool any = false;
  policy.m_origins = ParseOriginList(allowed, &any, rejected);
  policy.m_denied = ParseOriginList(denied, nullptr, rejected);
  if (any) {
    policy.m_bAny = true;
    policy.m_origins.clear();
  }
  return policy;
}

OriginPolicy OriginPolicy::With(const std::string& origin, bool allowed) const {
  OriginPolicy policy = *this;
  std::vector<std::string>& to = allowed ? policy.m_origins : policy.m_denied;
  std::vector<std::string>& from = allowed ? policy.m_denied : policy.m_origins;
  from.erase(std::remove(from.begin(), from.end(), origin), from.end());
  if (std::find(to.begin(), to.end(), origin) == to.end() && !(allowed && policy.m_bAny)) {
    to.push_back(origin);
  }
  return policy;
}

OriginPolicy OriginPolicy::WithAsking(bool asks) const {
  OriginPolicy policy = *this;
  policy.m_bAsks = asks;
  return policy;
}

OriginStanding OriginPolicy::Standing(std::string_view origin) const {
  const std::optional<std::string> normal = NormalizeOrigin(TrimBlanks(origin));
  if (normal && std::find(m_denied.begin(), m_denied.end(), *normal) != m_denied.end()) {
    return OriginStanding::kDenied;
  }
  if (m_bAny) {
    return OriginStanding::kAllowed;  // as with no list at all: whatever the header says
  }
  if (!normal) {
    return OriginStanding::kDenied;
  }
  if (std::find(m_origins.begin(), m_origins.end(), *normal) != m_origins.end()) {
    return OriginStanding::kAllowed;
  }
  return OriginStanding::kUnlisted;
}

bool OriginPolicy::Allows(std::string_view origin) const {
  return Standing(origin) == OriginStanding::kAllowed;
}

}  // namespace qb
