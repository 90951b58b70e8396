#include "util/ClientSocket.h"

#include <poll.h>

namespace qb {
namespace {

thread_local int t_socket = -1;

}  // namespace

ClientSocket::ClientSocket(int socket) : m_previous(t_socket) { t_socket = socket; }

ClientSocket::~ClientSocket() { t_socket = m_previous; }

int ClientSocket::Current() { return t_socket; }

bool ClientSocket::ClientGone() {
  if (t_socket < 0) {
    return false;
  }
  // The request has been read in full, so the peer closing its side means it
  // no longer waits for the answer.
  pollfd watched{.fd = t_socket, .events = POLLRDHUP, .revents = 0};
  return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace qb
