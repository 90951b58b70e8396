#include "server/BindAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>

#include "context/ServerConfig.h"

namespace qb {
namespace {

BindAddress Ipv4(in_addr_t address, uint16_t port, std::string text) {
  BindAddress result;
  auto* in = reinterpret_cast<sockaddr_in*>(&result.address);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = address;
  in->sin_port = htons(port);
  result.length = sizeof(sockaddr_in);
  result.text = std::move(text);
  return result;
}

BindAddress Ipv6(const in6_addr& address, uint16_t port, std::string text) {
  BindAddress result;
  auto* in = reinterpret_cast<sockaddr_in6*>(&result.address);
  in->sin6_family = AF_INET6;
  in->sin6_addr = address;
  in->sin6_port = htons(port);
  result.length = sizeof(sockaddr_in6);
  result.text = std::move(text);
  return result;
}

BindPlan Loopback(uint16_t port) {
  BindPlan plan;
  plan.addresses.push_back(Ipv4(htonl(INADDR_LOOPBACK), port, "127.0.0.1"));
  plan.addresses.push_back(Ipv6(in6addr_loopback, port, "::1"));
  plan.addresses.back().optional = true;
  return plan;
}

}  // namespace

bool BindAddress::IsLoopback() const {
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
  return IN6_IS_ADDR_LOOPBACK(&in->sin6_addr);
}

bool BindPlan::Exposed() const {
  for (const BindAddress& address : addresses) {
    if (!address.IsLoopback()) {
      return true;
    }
  }
  return false;
}

std::string BindPlan::Text() const {
  std::string text;
  for (size_t i = 0; i < addresses.size(); ++i) {
    text += (i == 0 ? "" : " and ") + addresses[i].text;
  }
  return text;
}

BindPlan ParseBindAddress(const std::optional<std::string>& value, uint16_t port) {
  const std::optional<std::string> text = NormalizeBindAddress(value);
  if (!text) {
    BindPlan plan = Loopback(port);
    plan.valid = false;
    return plan;
  }
  if (text->empty()) {
    return Loopback(port);
  }
  BindPlan plan;
  in_addr v4{};
  in6_addr v6{};
  if (::inet_pton(AF_INET, text->c_str(), &v4) == 1) {
    plan.addresses.push_back(Ipv4(v4.s_addr, port, *text));
  } else if (::inet_pton(AF_INET6, text->c_str(), &v6) == 1) {
    plan.addresses.push_back(Ipv6(v6, port, *text));
  }
  return plan;
}

}  // namespace qb
