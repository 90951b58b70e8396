#include "server/OriginGate.h"

#include "util/MutexLock.h"
#include <algorithm>

namespace qb {

OriginGate::HoldResult OriginGate::Hold(const std::string& origin, Held& held) {
  HoldResult result = HoldResult::kHeld;
  {
    MutexLock lock(m_mutex);
    auto found = m_entries.find(origin);
    if (found == m_entries.end()) {
      if (m_entries.size() >= kMaxAskedOrigins) {
        return HoldResult::kRefused;
      }
      found = m_entries.try_emplace(origin).first;
      result = HoldResult::kAsk;
    }
    Entry& entry = found->second;
    // Once answered, the request goes with the answer, whatever their number.
    if (!entry.answered && entry.held.size() >= kMaxHeldPerOrigin) {
      return HoldResult::kRefused;
    }
    entry.held.push_back(std::move(held));
  }
  m_changed.Notify();  // a new expiry to wait for
  return result;
}

void OriginGate::Answer(const std::string& origin, bool allowed) {
  {
    MutexLock lock(m_mutex);
    Entry& entry = m_entries[origin];
    entry.answered = true;
    entry.allowed = allowed;
  }
  m_changed.Notify();
}

std::vector<OriginGate::Answered> OriginGate::TakeAnswered() {
  std::vector<Answered> answered;
  MutexLock lock(m_mutex);
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    if (!it->second.answered) {
      ++it;
      continue;
    }
    answered.push_back({it->first, it->second.allowed, std::move(it->second.held)});
    it = m_entries.erase(it);
  }
  return answered;
}

std::vector<OriginGate::Held> OriginGate::TakeExpired(Clock::time_point now) {
  std::vector<Held> expired;
  MutexLock lock(m_mutex);
  for (auto& [origin, entry] : m_entries) {
    std::vector<Held> kept;
    for (Held& held : entry.held) {
      (now - held.since >= kConsentWait ? expired : kept).push_back(std::move(held));
    }
    entry.held = std::move(kept);
  }
  return expired;
}

std::vector<OriginGate::Held> OriginGate::TakeAll() {
  std::vector<Held> all;
  MutexLock lock(m_mutex);
  for (auto& [origin, entry] : m_entries) {
    for (Held& held : entry.held) {
      all.push_back(std::move(held));
    }
    entry.held.clear();
  }
  return all;
}

OriginGate::Clock::time_point OriginGate::NextExpiry() const {
  Clock::time_point first = Clock::time_point::max();
  MutexLock lock(m_mutex);
  for (const auto& [origin, entry] : m_entries) {
    for (const Held& held : entry.held) {
      first = std::min(first, held.since + kConsentWait);
    }
  }
  return first;
}

size_t OriginGate::Origins() const {
  MutexLock lock(m_mutex);
  return m_entries.size();
}

}  // namespace qb
