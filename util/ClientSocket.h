// The connection whose request the current thread is answering, so that long
// work deep below the dispatcher (a catalogue statement) can notice that the
// client has gone and stop early.
//
// Thread contract: the socket is recorded per thread. A ClientSocket scope
// lives on the stack of the worker answering the request; ClientGone() asks
// about the socket of the calling thread only.
#pragma once

namespace qb {

class ClientSocket {
 public:
  // Records `socket` for the calling thread until the scope ends.
  explicit ClientSocket(int socket);
  ~ClientSocket();
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // The socket recorded for the calling thread, or -1.
  static int Current();
  // True when the calling thread answers a connection whose peer has closed
  // it or reset it. False without a recorded socket.
  static bool ClientGone();

 private:
  int m_previous;
};

}  // namespace qb
