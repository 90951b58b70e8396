// Socket helpers of the connection tasks. Sockets are non-blocking; a wait for
// the socket also ends when the server stops.
//
// Thread contract: stateless; each call works on the caller's socket.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string_view>
#include <sys/types.h>

namespace qb {

// How long a peer may take no byte of an answer before it is given up: a
// client that stops reading must not hold a worker for good.
inline constexpr std::chrono::milliseconds kSendStallLimit{30000};

// Sends all of `data` on `socket`, waiting while the socket cannot take more.
// Returns the number of bytes sent, or -1 on an error, when `stop` (may be
// null) becomes non-zero, or when the socket took nothing for `stallLimit`.
// `stopFd` (-1 for none) becomes readable when `stop` is set, and ends a wait
// at once; without it a wait looks at `stop` every 10 ms.
ssize_t SendData(int socket, std::string_view data, const std::atomic<bool>* stop,
                 int stopFd = -1, std::chrono::milliseconds stallLimit = kSendStallLimit);

// Ends our side of the connection, reads and drops what the peer still sends
// for up to `lingerMs` (until it closes its side), and closes the socket.
// Dropping unread input first keeps the kernel from resetting the connection
// before the peer has read the answer.
void CloseConnection(int socket, int lingerMs);

}  // namespace qb
