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
#include <string_view>

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

}  // namespace qb
