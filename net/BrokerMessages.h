// What the port broker and the servers say to each other on the registration
// socket, a Unix sequenced-packet socket (one message per packet):
//  - server -> broker, once, right after connecting: "register <port>", the
//    port the server would listen on;
//  - broker -> server: "registered" (connections of the server's user come
//    here from now on), "waiting" (another server of the same user is
//    registered; this one follows when that one has gone), "other-port <P>"
//    (the broker serves port P, not the one asked for; it then closes), and
//    "connection" carrying one accepted TCP connection (SCM_RIGHTS), unread.
// The broker learns the user of a registering server from the socket itself
// (SO_PEERCRED), never from what the server says.
//
// Thread contract: stateless functions over the caller's sockets.
#pragma once

#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "util/UniqueFd.h"

namespace qb {

inline constexpr const char* kBrokerSocketPath = "/run/quillbox/broker";
inline constexpr const char* kBrokerSocketVariable = "QUILLBOX_BROKER_SOCKET";
inline constexpr std::string_view kRegisterMessage = "register ";
inline constexpr std::string_view kRegisteredMessage = "registered";
inline constexpr std::string_view kWaitingMessage = "waiting";
inline constexpr std::string_view kOtherPortMessage = "other-port ";
inline constexpr std::string_view kConnectionMessage = "connection";

// The registration socket: $QUILLBOX_BROKER_SOCKET when set and not empty,
// else kBrokerSocketPath.
std::string BrokerSocketPath();

// Sends `text` as one packet on `socket`, with `fd` attached when it is not
// -1, without waiting. 0 when sent, else the errno (EAGAIN: the peer's queue
// is full).
int SendMessage(int socket, std::string_view text, int fd = -1);

struct SentMessages {
  size_t count = 0;  // packets sent, the first of `fds` first
  int error = 0;     // why the rest were not: 0 when none is left, EAGAIN when the queue is full
};
// Sends `text` once for each of `fds`, each packet carrying one of them, in
// order and without waiting, in as few calls as it can; stops at the first
// packet that cannot go.
SentMessages SendMessages(int socket, std::string_view text, std::span<const int> fds);

struct BrokerMessage {
  enum class Kind { kMessage, kNone, kClosed };
  Kind kind = Kind::kNone;  // kNone: nothing waiting (or interrupted)
  std::string text;
  UniqueFd fd;  // a descriptor that came with it (close-on-exec)
};

// Takes one packet from `socket` without waiting. Descriptors beyond the
// first that came with it are closed. kClosed when the peer has gone or the
// socket failed.
BrokerMessage ReceiveMessage(int socket);
// Takes up to `most` (at least 1) packets from `socket` in one call, without
// waiting; none when nothing waits. A kClosed message, when present, comes
// last.
std::vector<BrokerMessage> ReceiveMessages(int socket, size_t most);

}  // namespace qb
