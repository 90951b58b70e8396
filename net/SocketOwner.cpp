#include "net/SocketOwner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>

#include <cerrno>
#include <algorithm>
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

// One socket diagnostics request: the connection whose ends are `peer` and
// `local` as we see them.
struct DiagRequest {
  nlmsghdr header;
  inet_diag_req_v2 body;
};
static_assert(sizeof(DiagRequest) == NLMSG_ALIGN(sizeof(DiagRequest)),
              "requests sent together must follow each other without padding");

DiagRequest MakeRequest(const Endpoint& peer, const Endpoint& local, uint32_t sequence) {
  DiagRequest request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = sequence;
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
  return request;
}

// Requests sent in one go; their answers fit the socket's receive buffer.
constexpr size_t kRequestsPerSend = 32;
// Room for one answer: the message and the attributes the kernel adds.
constexpr size_t kAnswerRoom = 1024;

}  // namespace

SocketOwner::Result SocketOwner::PeerOf(const Endpoint& peer, const Endpoint& local) {
  const Ends one{peer, local};
  return PeersOf(std::span(&one, 1)).front();
}

std::vector<SocketOwner::Result> SocketOwner::PeersOf(std::span<const Ends> connections) {
  std::vector<Result> results;
  results.reserve(connections.size());
  for (size_t at = 0; at < connections.size(); at += kRequestsPerSend) {
    const std::span<const Ends> some =
        connections.subspan(at, std::min(kRequestsPerSend, connections.size() - at));
    if (!m_bNetlinkBroken && AskKernelAll(some, &results)) {
      continue;
    }
    for (const Ends& one : some) {
      results.push_back(ReadTables(one.peer, one.local));
    }
  }
  return results;
}

bool SocketOwner::OpenNetlink() {
  if (m_netlink.Valid()) {
    return true;
  }
  m_netlink.Reset(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!m_netlink.Valid()) {
    LogDebug(std::string("no socket diagnostics (") + std::strerror(errno) +
             "); reading /proc/net/tcp instead");
    m_bNetlinkBroken = true;
    return false;
  }
  return true;
}

bool SocketOwner::AskKernelAll(std::span<const Ends> connections, std::vector<Result>* results) {
  if (!OpenNetlink()) {
    return false;
  }
  const size_t count = connections.size();
  const uint32_t first = m_nSequence + 1;
  std::vector<DiagRequest> requests;
  requests.reserve(count);
  for (const Ends& one : connections) {
    requests.push_back(MakeRequest(one.peer, one.local, ++m_nSequence));
  }
  const size_t bytes = count * sizeof(DiagRequest);
  if (::send(m_netlink.Get(), requests.data(), bytes, 0) != static_cast<ssize_t>(bytes)) {
    LogDebug(std::string("socket diagnostics request failed: ") + std::strerror(errno));
    m_bNetlinkBroken = true;
    return false;
  }
  // The kernel answers each request while handling the send, so every answer
  // is queued when send returns; answers to earlier requests are skipped.
  m_answers.resize(count * kAnswerRoom);
  std::vector<Result> answers(count);
  std::vector<bool> answered(count, false);
  size_t left = count;
  std::vector<mmsghdr> messages(count);
  std::vector<iovec> parts(count);
  while (left > 0) {
    for (size_t i = 0; i < left; ++i) {
      parts[i] = {m_answers.data() + i * kAnswerRoom, kAnswerRoom};
      messages[i] = {};
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int received = ::recvmmsg(m_netlink.Get(), messages.data(), static_cast<unsigned>(left),
                                    MSG_DONTWAIT, nullptr);
    if (received <= 0) {
      if (received < 0 && errno == EINTR) {
        continue;
      }
      // ENOBUFS (answers dropped) is passing; anything else means the kernel
      // does not answer these lookups.
      m_bNetlinkBroken = !(received < 0 && errno == ENOBUFS);
      return false;
    }
    for (int i = 0; i < received; ++i) {
      const size_t n = messages[static_cast<size_t>(i)].msg_len;
      const auto* header = reinterpret_cast<const nlmsghdr*>(parts[static_cast<size_t>(i)].iov_base);
      if (n < sizeof(nlmsghdr) || !NLMSG_OK(header, static_cast<unsigned>(n)) ||
          header->nlmsg_seq - first >= count) {
        continue;
      }
      const size_t index = header->nlmsg_seq - first;
      if (answered[index]) {
        continue;
      }
      if (header->nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
        if (error->error != -ENOENT) {
          LogDebug(std::string("socket diagnostics refused the lookup: ") +
                   std::strerror(-error->error) + "; reading /proc/net/tcp instead");
          m_bNetlinkBroken = true;
          return false;
        }
        answers[index] = {Status::kNotLocal, 0, false};
      } else if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                 header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        m_bNetlinkBroken = true;
        return false;
      } else {
        const auto* message = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
        answers[index] = {Status::kFound, message->idiag_uid, message->idiag_inode != 0};
      }
      answered[index] = true;
      --left;
    }
  }
  results->insert(results->end(), answers.begin(), answers.end());
  return true;
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
