#include "context/HostPolicy.h"

#include <arpa/inet.h>

#include <algorithm>

#include "util/Text.h"

namespace qb {
namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> Ipv6InBrackets(std::string_view address) {
  in6_addr v6{};
  if (address.size() >= INET6_ADDRSTRLEN ||
      ::inet_pton(AF_INET6, std::string(address).c_str(), &v6) != 1) {
    return std::nullopt;
  }
  char text[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET6, &v6, text, sizeof text);
  return "[" + std::string(text) + "]";
}

}  // namespace

std::optional<std::string> NormalizeHost(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return Ipv6InBrackets(host.substr(1, host.size() - 2));
  }
  if (host.find(':') != std::string_view::npos) {
    return Ipv6InBrackets(host);  // an IPv6 address written without brackets
  }
  const std::string lower = AsciiLower(host);
  if (lower.empty() || lower.size() > 253 || !std::all_of(lower.begin(), lower.end(), IsNameChar)) {
    return std::nullopt;
  }
  return lower;
}

std::optional<std::string> HostOfHeader(std::string_view value) {
  value = TrimBlanks(value);
  std::string_view host = value;
  std::string_view port;
  if (!value.empty() && value.front() == '[') {
    const size_t close = value.find(']');
    if (close == std::string_view::npos) {
      return std::nullopt;
    }
    host = value.substr(0, close + 1);
    std::string_view rest = value.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return std::nullopt;
      }
      port = rest.substr(1);
    }
  } else if (const size_t colon = value.find(':'); colon != std::string_view::npos) {
    host = value.substr(0, colon);
    port = value.substr(colon + 1);
  }
  if (port.size() > 5 || !IsDigits(port) || host.empty()) {
    return std::nullopt;
  }
  if (host.front() != '[' && host.find(':') != std::string_view::npos) {
    return std::nullopt;
  }
  return NormalizeHost(host);
}

HostPolicy::HostPolicy() {
  Add("localhost");
  Add("127.0.0.1");
  Add("[::1]");
}

void HostPolicy::Add(std::string host) {
  if (std::find(m_hosts.begin(), m_hosts.end(), host) == m_hosts.end()) {
    m_hosts.push_back(std::move(host));
  }
}

HostPolicy HostPolicy::FromConfig(const std::vector<std::string>& bindAddresses,
                                  const std::optional<std::string>& allowedHosts,
                                  std::vector<std::string>* rejected) {
  HostPolicy policy;
  for (const std::string& address : bindAddresses) {
    if (std::optional<std::string> host = NormalizeHost(address)) {
      policy.Add(std::move(*host));
    }
  }
  const std::string_view list = allowedHosts ? std::string_view(*allowedHosts) : std::string_view();
  for (const std::string_view entry : BlankSeparated(list)) {
    if (std::optional<std::string> host = NormalizeHost(entry)) {
      policy.Add(std::move(*host));
    } else if (rejected != nullptr) {
      rejected->emplace_back(entry);
    }
  }
  return policy;
}

bool HostPolicy::Allows(std::string_view host) const {
  const std::optional<std::string> normal = HostOfHeader(host);
  return normal && std::find(m_hosts.begin(), m_hosts.end(), *normal) != m_hosts.end();
}

}  // namespace qb
