// The print manager: every print session of the process, by identifier.
// Sessions are never removed while the program runs, so a session pointer
// handed out stays valid until the manager is deleted with the application
// context (after every worker has been joined).
//
// At most kMaxOpenSessions sessions are open (new) at once; open sessions
// idle for PrintSessionIdleLimit() expire (logged) when the manager is next
// used. An expired or finished session holds no pages.
//
// Thread contract: any thread; the session map is guarded by m_mutex. Each
// session guards its own pages.
#pragma once

#include <memory>
#include <string>

#include "output/CDataMap.h"
#include "output/CPrintSession.h"
#include "util/Mutex.h"

namespace qb {

class CPrintMgr {
 public:
  CPrintMgr();
  virtual ~CPrintMgr();

  // Registers `session` under its identifier unless a session of that
  // identifier exists (then `session` is deleted). The registered session, or
  // null when it could not be stored or kMaxOpenSessions are open (logged).
  CPrintSession* Register(std::unique_ptr<CPrintSession> session);
  // The session whose identifier equals `id` exactly, or null; marks it used.
  CPrintSession* Lookup(const std::string& id);
  // Expires the open sessions idle for `idle` or longer at `now`.
  void ExpireIdle(CPrintSession::Clock::time_point now, CPrintSession::Clock::duration idle);
  int SessionCount() const;

 private:
  // Expires idle sessions at most once a second.
  void ExpireIdleLocked(CPrintSession::Clock::time_point now) REQUIRES(m_mutex);
  void ExpireLocked(CPrintSession::Clock::time_point now, CPrintSession::Clock::duration idle)
      REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  CDataMap<std::string, CPrintSession> m_sessions GUARDED_BY(m_mutex);  // keyed by identifier
  CPrintSession::Clock::time_point m_lastExpiry GUARDED_BY(m_mutex) = {};
};

}  // namespace qb
