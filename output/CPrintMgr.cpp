#include "output/CPrintMgr.h"

#include "output/PrintLimits.h"
#include "util/Log.h"
#include "util/MutexLock.h"

namespace qb {
namespace {

constexpr std::chrono::seconds kExpiryInterval{1};

}  // namespace

CPrintMgr::CPrintMgr() = default;
CPrintMgr::~CPrintMgr() = default;

CPrintSession* CPrintMgr::Register(std::unique_ptr<CPrintSession> session) {
  if (!session) {
    return nullptr;
  }
  MutexLock lock(m_mutex);
  const std::string id = session->m_strId;
  if (CPrintSession* existing = m_sessions.Lookup(id, nullptr)) {
    return existing;
  }
  ExpireIdleLocked(CPrintSession::Clock::now());
  int open = 0;
  for (int i = 0; i < m_sessions.Count(); ++i) {
    const CPrintSession* other = m_sessions.At(i).m_value.get();
    open += other != nullptr && other->GetState() == CPrintSession::kNew ? 1 : 0;
  }
  if (open >= kMaxOpenSessions) {
    LogInfo("print session refused: " + std::to_string(kMaxOpenSessions) +
            " sessions are open already");
    return nullptr;
  }
  CPrintSession* stored = session.get();
  return m_sessions.SetAt(id, std::move(session)) < 0 ? nullptr : stored;
}

CPrintSession* CPrintMgr::Lookup(const std::string& id) {
  const auto now = CPrintSession::Clock::now();
  MutexLock lock(m_mutex);
  ExpireIdleLocked(now);
  CPrintSession* session = m_sessions.Lookup(id, nullptr);
  if (session != nullptr) {
    session->Touch(now);
  }
  return session;
}

void CPrintMgr::ExpireIdle(CPrintSession::Clock::time_point now,
                           CPrintSession::Clock::duration idle) {
  MutexLock lock(m_mutex);
  ExpireLocked(now, idle);
}

void CPrintMgr::ExpireIdleLocked(CPrintSession::Clock::time_point now) {
  if (now - m_lastExpiry < kExpiryInterval) {
    return;
  }
  m_lastExpiry = now;
  ExpireLocked(now, PrintSessionIdleLimit());
}

void CPrintMgr::ExpireLocked(CPrintSession::Clock::time_point now,
                             CPrintSession::Clock::duration idle) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(idle).count();
  for (int i = 0; i < m_sessions.Count(); ++i) {
    CPrintSession* session = m_sessions.At(i).m_value.get();
    const int dropped = session == nullptr ? -1 : session->ExpireIfIdle(now, idle);
    if (dropped >= 0) {
      LogInfo("print session " + session->m_strId + " expired after " + std::to_string(seconds) +
              " s without use; " + std::to_string(dropped) + " pages dropped");
    }
  }
}

int CPrintMgr::SessionCount() const {
  MutexLock lock(m_mutex);
  return m_sessions.Count();
}

}  // namespace qb
