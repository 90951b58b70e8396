// The print manager: every print session of the process, by identifier.
// Sessions are never removed while the program runs, so a session pointer
// handed out stays valid until the manager is deleted with the application
// context (after every worker has been joined).
//
// Thread contract: any thread; the session map is guarded by m_mutex. Each
// session guards its own pages.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "output/CDataMap.h"
#include "output/CPrintSession.h"

namespace qb {

class CPrintMgr {
 public:
  CPrintMgr();
  virtual ~CPrintMgr();

  // Registers `session` under its identifier unless a session of that
  // identifier exists (then `session` is deleted). The registered session, or
  // null when it could not be stored.
  CPrintSession* Register(std::unique_ptr<CPrintSession> session);
  // The session whose identifier equals `id` exactly, or null.
  CPrintSession* Lookup(const std::string& id) const;
  int SessionCount() const;

 private:
  mutable std::mutex m_mutex;                          // guards m_sessions
  CDataMap<std::string, CPrintSession> m_sessions;     // keyed by identifier
};

}  // namespace qb
