#include "output/CPrintMgr.h"

#include <QCoreApplication>
#include <algorithm>
#include <new>
#include <vector>

#include "output/PrintLimits.h"
#include "util/Log.h"
#include "util/MutexLock.h"

namespace qb {
namespace {

constexpr std::chrono::seconds kExpiryInterval{1};

}  // namespace

CPrintMgr::CPrintMgr() = default;
CPrintMgr::~CPrintMgr() = default;

CPrintMgr::SessionPtr CPrintMgr::Register(std::unique_ptr<CPrintSession> session) {
  if (!session) {
    return nullptr;
  }
  const auto now = CPrintSession::Clock::now();
  MutexLock lock(m_mutex);
  const std::string id = session->m_strId;
  if (const auto existing = m_sessions.find(id); existing != m_sessions.end()) {
    return existing->second;
  }
  ExpireIdleLocked(now);
  ForgetEndedLocked(now);
  if (OpenCountLocked() >= kMaxOpenSessions) {
    LogInfo("print session refused: " + std::to_string(kMaxOpenSessions) +
            " sessions are open already");
    return nullptr;
  }
  try {
    SessionPtr stored(std::move(session));
    m_sessions.emplace(id, stored);
    PrintOutcome outcome;
    outcome.id = id;
    outcome.copies = std::max(1, stored->m_nCopies);
    outcome.sheet = std::to_string(stored->m_nWidth) + " × " + std::to_string(stored->m_nHeight) +
                    " mm";
    outcome.started = std::chrono::system_clock::now();
    m_outcomes.Record(outcome);
    return stored;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CPrintMgr::SessionPtr CPrintMgr::Lookup(const std::string& id) {
  const auto now = CPrintSession::Clock::now();
  MutexLock lock(m_mutex);
  ExpireIdleLocked(now);
  const auto found = m_sessions.find(id);
  if (found == m_sessions.end()) {
    return nullptr;
  }
  found->second->Touch(now);
  return found->second;
}

void CPrintMgr::ExpireIdle(CPrintSession::Clock::time_point now,
                           CPrintSession::Clock::duration idle) {
  MutexLock lock(m_mutex);
  ExpireLocked(now, idle);
  ForgetEndedLocked(now);
}

void CPrintMgr::ExpireIdleLocked(CPrintSession::Clock::time_point now) {
  if (now - m_lastExpiry < kExpiryInterval) {
    return;
  }
  m_lastExpiry = now;
  ExpireLocked(now, PrintSessionIdleLimit());
  ForgetEndedLocked(now);
}

void CPrintMgr::ExpireLocked(CPrintSession::Clock::time_point now,
                             CPrintSession::Clock::duration idle) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(idle).count();
  for (const auto& [id, session] : m_sessions) {
    const int dropped = session->ExpireIfIdle(now, idle);
    if (dropped >= 0) {
      LogInfo("print session " + id + " expired after " + std::to_string(seconds) +
              " s without use; " + std::to_string(dropped) + " pages dropped");
      const std::string message =
          QCoreApplication::translate("qb::CPrintMgr",
                                      "the page stopped sending it: nothing was printed")
              .toStdString();
      m_outcomes.Update(id, [&](PrintOutcome& outcome) {
        outcome.state = PrintState::kFailed;
        outcome.message = message;
      });
    }
  }
}

void CPrintMgr::ForgetEndedLocked(CPrintSession::Clock::time_point now) {
  using Ended = std::pair<CPrintSession::Clock::time_point, std::string>;
  std::vector<Ended> ended;
  for (auto it = m_sessions.begin(); it != m_sessions.end();) {
    const std::optional<CPrintSession::Clock::time_point> at = it->second->EndedAt();
    if (at && now - *at >= kEndedSessionKeep) {
      it = m_sessions.erase(it);
      continue;
    }
    if (at) {
      ended.emplace_back(*at, it->first);
    }
    ++it;
  }
  if (ended.size() <= kMaxEndedSessions) {
    return;
  }
  const auto excess = static_cast<std::ptrdiff_t>(ended.size() - kMaxEndedSessions);
  std::nth_element(ended.begin(), ended.begin() + excess - 1, ended.end());
  for (auto it = ended.begin(); it != ended.begin() + excess; ++it) {
    m_sessions.erase(it->second);
  }
}

int CPrintMgr::OpenCountLocked() const {
  return static_cast<int>(std::count_if(m_sessions.begin(), m_sessions.end(), [](const auto& entry) {
    return entry.second->GetState() == CPrintSession::kNew;
  }));
}

int CPrintMgr::SessionCount() const {
  MutexLock lock(m_mutex);
  return static_cast<int>(m_sessions.size());
}

int CPrintMgr::OpenSessionCount() const {
  MutexLock lock(m_mutex);
  return OpenCountLocked();
}

}  // namespace qb
