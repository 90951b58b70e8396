#include "net/SocketOwner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "util/Log.h"

namespace qb {
namespace {

std::string ReadTable(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The tables that may hold a socket with ends of `family`: IPv4 ends also
// appear in the IPv6 table, as IPv4-mapped addresses of IPv6 sockets.
struct Table {
  const char* path;
  bool mapped;  // look for the endpoints in their IPv4-mapped form
};

std::vector<Table> TablesFor(int family) {
  if (family == AF_INET6) {
    return {{"/proc/net/tcp6", false}};
  }
  return {{"/proc/net/tcp", false}, {"/proc/net/tcp6", true}};
}

}  // namespace

SocketOwner::Result SocketOwner::PeerOf(const Endpoint& peer, const Endpoint& local) {
  if (!m_bNetlinkBroken) {
    const Result result = AskKernel(peer, local);
    if (result.status != Status::kFailed) {
      return result;
    }
  }
  return ReadTables(peer, local);
}

SocketOwner::Result SocketOwner::AskKernel(const Endpoint& peer, const Endpoint& local) {
  if (!m_netlink.Valid()) {
    m_netlink.Reset(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!m_netlink.Valid()) {
      LogDebug(std::string("no socket diagnostics (") + std::strerror(errno) +
               "); reading /proc/net/tcp instead");
      m_bNetlinkBroken = true;
      return {};
    }
  }
  struct {
    nlmsghdr header;
    inet_diag_req_v2 body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = ++m_nSequence;
  request.body.sdiag_family = static_cast<uint8_t>(peer.family);
  request.body.sdiag_protocol = IPPROTO_TCP;
  request.body.idiag_states = ~0u;
  // The kernel looks the socket up as the receiver of a packet sent from
  // `dst` to `src`: our end to the peer's.
  request.body.id.idiag_sport = htons(peer.port);
  request.body.id.idiag_dport = htons(local.port);
  const size_t length = peer.family == AF_INET6 ? 16 : 4;
  std::memcpy(request.body.id.idiag_src, peer.address.data(), length);
  std::memcpy(request.body.id.idiag_dst, local.address.data(), length);
  request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  if (::send(m_netlink.Get(), &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request)) {
    LogDebug(std::string("socket diagnostics request failed: ") + std::strerror(errno));
    m_bNetlinkBroken = true;
    return {};
  }
  // The kernel answers while handling the request, so the answer is queued
  // when send returns; answers to earlier requests are skipped.
  alignas(nlmsghdr) char buffer[1024];
  for (;;) {
    const ssize_t n = ::recv(m_netlink.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < static_cast<ssize_t>(sizeof(nlmsghdr))) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      m_bNetlinkBroken = true;
      return {};
    }
    const auto* header = reinterpret_cast<const nlmsghdr*>(buffer);
    if (!NLMSG_OK(header, static_cast<unsigned>(n)) || header->nlmsg_seq != m_nSequence) {
      continue;
    }
    if (header->nlmsg_type == NLMSG_ERROR) {
      const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
      if (error->error == -ENOENT) {
        return {Status::kNotLocal, 0, false};
      }
      LogDebug(std::string("socket diagnostics refused the lookup: ") +
               std::strerror(-error->error) + "; reading /proc/net/tcp instead");
      m_bNetlinkBroken = true;
      return {};
    }
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
        header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
      m_bNetlinkBroken = true;
      return {};
    }
    const auto* message = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    return {Status::kFound, message->idiag_uid, message->idiag_inode != 0};
  }
}

SocketOwner::Result SocketOwner::ReadTables(const Endpoint& peer, const Endpoint& local) {
  bool readAny = false;
  for (const Table& table : TablesFor(peer.family)) {
    const std::string text = ReadTable(table.path);
    if (text.empty()) {
      continue;
    }
    readAny = true;
    const std::optional<SocketRow> row =
        table.mapped ? FindConnection(text, peer.Mapped(), local.Mapped())
                     : FindConnection(text, peer, local);
    if (row) {
      return {Status::kFound, row->uid, row->inode != 0};
    }
  }
  return readAny ? Result{Status::kNotLocal, 0, false} : Result{};
}

std::optional<uid_t> SocketOwner::ListenerOwner(const Endpoint& address) {
  for (const Table& table : TablesFor(address.family)) {
    const std::string text = ReadTable(table.path);
    const std::optional<SocketRow> row =
        FindListener(text, table.mapped ? address.Mapped() : address);
    if (row) {
      return row->uid;
    }
  }
  return std::nullopt;
}

std::string SocketOwner::Describe(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  const std::string number = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return std::string(found->pw_name) + " (" + number + ")";
  }
  return number;
}

}  // namespace qb
