// Socket helpers of the connection tasks. Sockets are non-blocking; waits are
// done in short polls so that the stop flag is noticed.
//
// Thread contract: stateless; each call works on the caller's socket.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>
#include <sys/types.h>

namespace qb {

// Sends all of `data` on `socket`, waiting at most 10 ms at a time while the
// socket cannot take more. Returns the number of bytes sent, or -1 on an error
// or when `stop` (may be null) becomes non-zero.
ssize_t SendData(int socket, std::string_view data, const std::atomic<int>* stop);

// Puts `socket` into non-blocking mode; false on failure.
bool SetNonBlocking(int socket);

// Ends our side of the connection, reads and drops what the peer still sends
// for up to `lingerMs` (until it closes its side), and closes the socket.
// Dropping unread input first keeps the kernel from resetting the connection
// before the peer has read the answer.
void CloseConnection(int socket, int lingerMs);

}  // namespace qb
