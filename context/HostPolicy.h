// Which names a request's Host header may give, so that a page whose own
// name was made to point at this computer (DNS rebinding) is not served:
// localhost, 127.0.0.1, [::1], the addresses the listener binds, and the
// names of the [Server] allowedHosts value (separated by blanks), each with
// any port or none. Names compare without regard to case; IPv6 addresses
// compare as addresses ("[0:0::1]" is "[::1]").
//
// Thread contract: immutable once built; any number of threads may ask it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class HostPolicy {
 public:
  // This computer's own names only.
  HostPolicy();
  ~HostPolicy() = default;

  // The policy for a listener bound to `bindAddresses` (address texts as
  // logged, IPv6 without brackets) and the allowedHosts value. Entries that
  // are not a host name or address are added to `rejected` (may be null).
  static HostPolicy FromConfig(const std::vector<std::string>& bindAddresses,
                               const std::optional<std::string>& allowedHosts,
                               std::vector<std::string>* rejected);

  // True when a Host header of value `host` (host[:port], blanks around it
  // ignored) names an accepted host.
  bool Allows(std::string_view host) const;
  // The accepted hosts in their compared form.
  const std::vector<std::string>& Hosts() const { return m_hosts; }

 private:
  void Add(std::string host);
  std::vector<std::string> m_hosts;
};

// The compared form of a host: a lower-case name or IPv4 address, or an IPv6
// address in brackets in its shortest form; nullopt for anything else.
std::optional<std::string> NormalizeHost(std::string_view host);

// The host of a Host header value "host[:port]" in compared form; nullopt
// when the value is not of that form.
std::optional<std::string> HostOfHeader(std::string_view value);

}  // namespace qb
