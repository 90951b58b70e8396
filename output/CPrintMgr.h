// The print manager: the print sessions of the process, by identifier.
//
// A session is shared: the manager, the request that names it and the print
// job hold it, so that a session leaving the manager stays valid for whoever
// still uses it. At most kMaxOpenSessions sessions are new at once; new
// sessions idle for PrintSessionIdleLimit() expire (logged). An ended session
// (printed, cancelled, failed, expired) holds no pages and stays findable for
// a while, so that a late "print/end" or "print/add" for it is answered as
// before: it leaves the manager kEndedSessionKeep after it ended, and the
// oldest ended ones leave when more than kMaxEndedSessions have ended. The
// housekeeping runs when the manager is next used (at most once a second for
// lookups, at every registration).
//
// The manager also keeps what became of each session (Outcomes()): a session
// is recorded "open" when it registers, an expired one "failed". Outcomes
// outlive their sessions' pages and are bounded on their own terms.
//
// Thread contract: any thread; the session map is guarded by m_mutex. Each
// session guards its own pages; the outcomes guard themselves.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

#include "output/CPrintSession.h"
#include "output/PrintJobWatch.h"
#include "output/PrintOutcomes.h"
#include "util/Mutex.h"

namespace qb {

class CPrintMgr {
 public:
  using SessionPtr = std::shared_ptr<CPrintSession>;

  // How many ended sessions stay findable, and for how long at most.
  static constexpr size_t kMaxEndedSessions = 256;
  static constexpr std::chrono::hours kEndedSessionKeep{1};

  CPrintMgr();
  ~CPrintMgr();

  // Registers `session` under its identifier unless a session of that
  // identifier exists (then `session` is deleted and the existing one
  // returned). Null when `session` is null, could not be stored or
  // kMaxOpenSessions are open (logged).
  SessionPtr Register(std::unique_ptr<CPrintSession> session);
  // The session whose identifier equals `id` exactly, or null; marks it used.
  SessionPtr Lookup(const std::string& id);
  // Expires the new sessions idle for `idle` or longer at `now`, and lets
  // ended sessions leave as of `now`.
  void ExpireIdle(CPrintSession::Clock::time_point now, CPrintSession::Clock::duration idle);
  // Sessions held, and of those the new (open) ones.
  int SessionCount() const;
  int OpenSessionCount() const;
  // What became of each session, by identifier.
  PrintOutcomes& Outcomes() { return m_outcomes; }
  // Follows the CUPS jobs of printed sessions into the outcomes.
  PrintJobWatch& JobWatch() { return m_watch; }

 private:
  // Expires idle sessions at most once a second.
  void ExpireIdleLocked(CPrintSession::Clock::time_point now) REQUIRES(m_mutex);
  void ExpireLocked(CPrintSession::Clock::time_point now, CPrintSession::Clock::duration idle)
      REQUIRES(m_mutex);
  // Removes ended sessions older than kEndedSessionKeep at `now`, then the
  // oldest ended ones beyond kMaxEndedSessions.
  void ForgetEndedLocked(CPrintSession::Clock::time_point now) REQUIRES(m_mutex);
  int OpenCountLocked() const REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  std::unordered_map<std::string, SessionPtr> m_sessions GUARDED_BY(m_mutex);  // by identifier
  CPrintSession::Clock::time_point m_lastExpiry GUARDED_BY(m_mutex) = {};
  PrintOutcomes m_outcomes;
  PrintJobWatch m_watch{m_outcomes};  // declared after the outcomes it writes
};

}  // namespace qb
