#include "net/SocketTable.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "util/Text.h"

namespace qb {
namespace {

constexpr std::string_view kListenState = "0A";

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) {
      return false;
    }
  }
  return true;
}

// Field positions of a row: "sl local rem st tx:rx tr:when retrnsmt uid
// timeout inode ...".
constexpr size_t kLocal = 1;
constexpr size_t kRemote = 2;
constexpr size_t kState = 3;
constexpr size_t kUid = 7;
constexpr size_t kInode = 9;

// Calls `match` with the fields of every data row (the heading is skipped)
// until it returns a row.
template <typename Match>
std::optional<SocketRow> FindRow(std::string_view table, Match match) {
  bool heading = true;
  while (!table.empty()) {
    const size_t end = table.find('\n');
    const std::string_view row = table.substr(0, end);
    table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
    if (heading) {
      heading = false;
      continue;
    }
    const std::vector<std::string_view> fields = BlankSeparated(row);
    if (fields.size() <= kInode || !match(fields)) {
      continue;
    }
    const std::optional<uint64_t> uid = ParseDecimal(fields[kUid], 10);
    const std::optional<uint64_t> inode = ParseDecimal(fields[kInode], 19);
    if (!uid || !inode || *uid > UINT32_MAX) {
      continue;
    }
    return SocketRow{static_cast<uid_t>(*uid), *inode};
  }
  return std::nullopt;
}

}  // namespace

std::optional<Endpoint> Endpoint::LocalOf(int socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return std::nullopt;
  }
  return From(address);
}

std::optional<Endpoint> Endpoint::PeerOf(int socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return std::nullopt;
  }
  return From(address);
}

bool Endpoint::IsWildcard() const { return address == Endpoint{family, {}, port}.address; }

std::optional<Endpoint> Endpoint::From(const sockaddr_storage& address) {
  Endpoint endpoint;
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    std::memcpy(endpoint.address.data(), &in->sin_addr, 4);
    endpoint.port = ntohs(in->sin_port);
    return endpoint;
  }
  if (address.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
    endpoint.port = ntohs(in->sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&in->sin6_addr)) {
      std::memcpy(endpoint.address.data(), in->sin6_addr.s6_addr + 12, 4);
      return endpoint;
    }
    endpoint.family = AF_INET6;
    std::memcpy(endpoint.address.data(), in->sin6_addr.s6_addr, 16);
    return endpoint;
  }
  return std::nullopt;
}

bool Endpoint::IsLoopback() const {
  if (family == AF_INET) {
    return address[0] == 127;
  }
  static constexpr std::array<uint8_t, 16> kLoopback6{0, 0, 0, 0, 0, 0, 0, 0,
                                                     0, 0, 0, 0, 0, 0, 0, 1};
  return address == kLoopback6;
}

Endpoint Endpoint::Mapped() const {
  if (family == AF_INET6) {
    return *this;
  }
  Endpoint mapped;
  mapped.family = AF_INET6;
  mapped.port = port;
  mapped.address[10] = 0xFF;
  mapped.address[11] = 0xFF;
  std::memcpy(mapped.address.data() + 12, address.data(), 4);
  return mapped;
}

std::string Endpoint::TableText() const {
  std::string text;
  const size_t words = family == AF_INET6 ? 4 : 1;
  char buffer[16];
  for (size_t i = 0; i < words; ++i) {
    uint32_t word = 0;
    std::memcpy(&word, address.data() + 4 * i, 4);  // as the kernel loads it
    std::snprintf(buffer, sizeof buffer, "%08X", word);
    text += buffer;
  }
  std::snprintf(buffer, sizeof buffer, ":%04X", port);
  return text + buffer;
}

std::optional<SocketRow> FindConnection(std::string_view table, const Endpoint& local,
                                        const Endpoint& remote) {
  const std::string localText = local.TableText();
  const std::string remoteText = remote.TableText();
  return FindRow(table, [&](const std::vector<std::string_view>& fields) {
    return EqualIgnoringCase(fields[kLocal], localText) &&
           EqualIgnoringCase(fields[kRemote], remoteText) && fields[kState] != kListenState;
  });
}

std::optional<SocketRow> FindListener(std::string_view table, const Endpoint& address) {
  Endpoint wildcard;
  wildcard.family = address.family;
  wildcard.port = address.port;
  const std::string exact = address.TableText();
  const std::string any = wildcard.TableText();
  return FindRow(table, [&](const std::vector<std::string_view>& fields) {
    return fields[kState] == kListenState &&
           (EqualIgnoringCase(fields[kLocal], exact) || EqualIgnoringCase(fields[kLocal], any));
  });
}

}  // namespace qb
