// The server's link to the port broker (broker/PortBroker.h), which listens
// on the port for every user of this computer and passes each connection to
// its user's server. At the start of each listening cycle the listener asks
// to register for the port it would bind; registered, it binds nothing and
// takes the connections the broker passes (Take). The registration socket
// closing tells at once that the broker has gone. While the server listens
// itself, a watch on the registration socket's folder (inotify) tells when a
// broker appears, so that neither case needs a look now and then.
//
// Thread contract: the listener thread only.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

#include "util/UniqueFd.h"

namespace qb {

class BrokerLink {
 public:
  enum class State {
    kNone,        // no broker takes this server: it listens itself
    kWaiting,     // another server of this user is registered; this one follows it
    kRegistered,  // connections of this user come through the broker
  };

  explicit BrokerLink(std::string path);
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  // Ends a registration held still, connects to the registration socket and
  // asks for the connections of `port`, waiting for the answer at most a
  // couple of seconds (or until `stopFd`, when not -1, is readable). A broker
  // that serves another port is logged once per port and not used.
  State Register(uint16_t port, int stopFd);
  void Close();

  State GetState() const { return m_state; }
  // The registration socket while registered or waiting, else -1.
  int Fd() const { return m_socket.Get(); }
  struct Taken {
    size_t packets = 0;       // taken from the link
    bool registered = false;  // a waiting registration became the registered one
    bool gone = false;        // the broker has gone (or failed): the link is closed
  };
  // Takes up to `most` packets the broker sent, in one call; the connections
  // passed are appended to `connections` (fewer packets than `most`: nothing
  // more waits).
  Taken Take(size_t most, std::vector<UniqueFd>* connections);

  // Readable when something was created in the registration socket's folder;
  // -1 when that folder cannot be watched (a computer without a broker).
  int AppearFd();
  // After AppearFd() was readable: true when the registration socket itself
  // was created or moved into place (a broker started; a broker moves its
  // socket there once it listens).
  bool Appeared();

  const std::string& Path() const { return m_path; }

 private:
  const std::string m_path;
  UniqueFd m_socket;
  State m_state = State::kNone;
  UniqueFd m_inotify;
  int m_watch = -1;  // on the socket's folder; -1 when none holds
  uint16_t m_otherPortReported = 0;
};

}  // namespace qb
