#include "server/DropLog.h"

#include "util/Log.h"

namespace qb {

void DropLog::Note(std::string_view reason, Clock::time_point now) {
  auto it = m_counters.find(reason);
  if (it == m_counters.end()) {
    it = m_counters.emplace(std::string(reason), Counter{now, 0}).first;
    LogInfo("connection dropped: " + std::string(reason));
    return;
  }
  Counter& counter = it->second;
  ++counter.unlogged;
  if (now - counter.lastLogged >= kDropLogInterval) {
    LogInfo("connections dropped: " + std::string(reason) + " (" +
            std::to_string(counter.unlogged) + " times since the last report)");
    counter.lastLogged = now;
    counter.unlogged = 0;
  }
}

}  // namespace qb
