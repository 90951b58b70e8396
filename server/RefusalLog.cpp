#include "server/RefusalLog.h"

#include "util/Log.h"
#include "util/MutexLock.h"

namespace qb {

bool RefusalLog::ShouldLog(const std::string& cause, Clock::time_point now) {
  MutexLock lock(m_mutex);
  const auto found = m_lastLogged.find(cause);
  if (found != m_lastLogged.end()) {
    if (now - found->second < m_interval) {
      return false;
    }
    found->second = now;
    return true;
  }
  if (m_lastLogged.size() >= m_maxCauses) {
    std::erase_if(m_lastLogged, [&](const auto& entry) { return now - entry.second >= m_interval; });
    if (m_lastLogged.size() >= m_maxCauses) {
      return false;
    }
  }
  m_lastLogged.emplace(cause, now);
  return true;
}

void RefusalLog::Log(const std::string& cause, std::string_view message) {
  if (ShouldLog(cause, Clock::now())) {
    LogInfo(message);
  }
}

RefusalLog& Refusals() {
  static RefusalLog log;
  return log;
}

}  // namespace qb
