// The accepted connections whose request is still arriving, watched with
// epoll on the listener thread: their bytes are read as they come (sockets are
// non-blocking), each connection's RequestReceiver decides when it is done,
// and a done connection leaves the set through the caller's callback, which
// then owns its socket. Waiting for a request therefore costs a descriptor
// and a small buffer, never a worker.
//
// A connection whose request announces or outgrows kSmallRequestBytes needs a
// large share of the limits; while none is free it is not read (the sender is
// held back by TCP) and its pause and stall clocks restart when reading
// resumes. It then needs a grant of the bodies budget for what it announces
// (or, without an announced size, for each doubling step): when that does not
// fit, the connection is done with kNoRoom before more of it is read.
//
// Besides the connections, the epoll set watches the listening sockets of the
// current cycle and the notifiers of what else the listener waits for (a stop,
// a rebind, the user's answers), so one wait covers every event and no
// wake-up is needed while nothing happens.
//
// Thread contract: listener thread only, except that tickets handed out with
// a done connection may end on any thread.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/ConnectionLimits.h"
#include "server/DropLog.h"
#include "server/RequestReceiver.h"
#include "util/Notifier.h"
#include "util/UniqueFd.h"

namespace qb {

class PendingConnections {
 public:
  using Clock = RequestReceiver::Clock;
  using Outcome = RequestReceiver::Outcome;
  // A done connection: its socket (now the callee's), the outcome (never
  // kWaiting), the request bytes for kComplete, and its ticket.
  using DoneFn = std::function<void(int socket, Outcome outcome, std::string request,
                                    ConnectionLimits::Ticket ticket)>;

  explicit PendingConnections(DoneFn done);
  PendingConnections(const PendingConnections&) = delete;
  PendingConnections& operator=(const PendingConnections&) = delete;
  ~PendingConnections();

  // False when the epoll instance could not be created.
  bool Valid() const { return m_epoll.Valid(); }

  // Watches `socket` (non-blocking), accepted at `now` from peer address
  // `peer` (may be empty).
  void Add(int socket, ConnectionLimits::Ticket ticket, Clock::time_point now,
           std::string peer = {});

  // Closes, without an answer, the connection whose sender has been silent
  // longest among those silent since before `idleSince` (from peer `peer`
  // only, unless it is null): room for a new connection when the bounds are
  // reached. A sender still sending is never chosen. False when there is none.
  bool EvictIdlest(const std::string* peer, Clock::time_point idleSince);

  // Logs a refused or dropped connection (rate-limited).
  void NoteRefusal(std::string_view reason, Clock::time_point now) { m_refusals.Note(reason, now); }

  // Poll also ends when `notifier` is notified, and clears it then, so that
  // the caller looks at what it stands for after Poll. The notifier outlives
  // this set. False when it cannot be watched (the caller then has to look
  // now and then).
  bool WakeOn(Notifier& notifier);

  // Waits up to `timeoutMs` (negative: no limit) for bytes on the
  // connections, for a connection on the `listenSockets` and for a notifier,
  // reads what arrived, applies the time-outs and hands done connections to
  // the callback. Ends no later than the first receive deadline of a
  // connection. Returns the listening sockets that have a connection waiting.
  const std::vector<int>& Poll(const std::vector<int>& listenSockets, int timeoutMs);

  // Watches `listenSockets` for connections from now on (none: empty). Poll
  // does this itself; a caller closing a watched socket calls it with an
  // empty list first, since a new listening socket may get the same number.
  void WatchListeners(const std::vector<int>& listenSockets);

  // Closes every connection without an answer.
  void CloseAll();

  // When the connection silent longest last sent something (or was
  // accepted); max when there is none.
  Clock::time_point IdlestSince() const;

  size_t Size() const { return m_connections.size(); }

 private:
  struct Connection {
    Connection(UniqueFd s, ConnectionLimits::Ticket t, Clock::time_point now, std::string p)
        : socket(std::move(s)), ticket(std::move(t)), receiver(now), peer(std::move(p)) {}
    UniqueFd socket;
    ConnectionLimits::Ticket ticket;
    RequestReceiver receiver;
    std::string peer;
    bool held = false;     // waiting for a large share, not watched
    bool watched = false;  // registered with the epoll instance
  };

  // Reads what `socket` has; the outcome so far.
  Outcome Read(Connection& conn, Clock::time_point now);
  void Finish(int socket, Outcome outcome);
  void CheckDeadlines(Clock::time_point now);
  void ResumeHeld(Clock::time_point now);

  DoneFn m_done;
  UniqueFd m_epoll;
  std::vector<Notifier*> m_notifiers;  // not owned
  std::vector<int> m_watchedListeners;
  std::vector<int> m_readyListeners;  // what Poll returns
  std::unordered_map<int, Connection> m_connections;
  std::vector<int> m_held;  // sockets waiting for a large share, oldest first
  Clock::time_point m_nextDeadline = Clock::time_point::max();
  std::vector<char> m_chunk;
  DropLog m_refusals;
};

}  // namespace qb
