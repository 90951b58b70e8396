#include "server/OriginGate.h"

#include <algorithm>

#include "util/Log.h"
#include "util/MutexLock.h"

namespace qb {

OriginGate::HoldResult OriginGate::Hold(const std::string& origin, Held& held) {
  HoldResult result = HoldResult::kHeld;
  {
    MutexLock lock(m_mutex);
    auto found = m_entries.find(origin);
    if (found == m_entries.end()) {
      if (m_bStopped || held.since < m_pausedUntil) {
        return HoldResult::kNotAsking;
      }
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

void OriginGate::Answer(const std::string& origin, OriginAnswer answer, Clock::time_point now) {
  bool paused = false;
  {
    MutexLock lock(m_mutex);
    Entry& entry = m_entries[origin];
    entry.answered = true;
    switch (answer) {
      case OriginAnswer::kAllow:
        entry.outcome = Outcome::kAllowed;
        break;
      case OriginAnswer::kDeny:
        entry.outcome = Outcome::kDenied;
        while (!m_denials.empty() && now - m_denials.front() >= kDenialWindow) {
          m_denials.pop_front();
        }
        m_denials.push_back(now);
        if (m_denials.size() >= kDenialsBeforePause) {
          m_denials.clear();
          m_pausedUntil = now + kAskingPause;
          CloseOpenQuestions();
          paused = true;
        }
        break;
      case OriginAnswer::kStopAsking:
        entry.outcome = Outcome::kStopAsking;
        m_bStopped = true;
        CloseOpenQuestions();
        break;
    }
  }
  if (paused) {
    LogInfo("the user denied " + std::to_string(kDenialsBeforePause) + " origins within " +
            std::to_string(kDenialWindow.count()) +
            " minutes: origins not yet allowed are refused without asking for the next hour");
  }
  m_changed.Notify();
}

void OriginGate::CloseOpenQuestions() {
  for (auto& [origin, entry] : m_entries) {
    if (!entry.answered) {
      entry.answered = true;
      entry.outcome = Outcome::kNotAsked;
    }
  }
}

bool OriginGate::IsOpen(const std::string& origin) const {
  MutexLock lock(m_mutex);
  const auto found = m_entries.find(origin);
  return found != m_entries.end() && !found->second.answered;
}

void OriginGate::SetAsking(bool asks) {
  {
    MutexLock lock(m_mutex);
    m_bStopped = !asks;
    if (asks) {
      return;
    }
    CloseOpenQuestions();
  }
  m_changed.Notify();
}

std::optional<OriginGate::Clock::time_point> OriginGate::PausedUntil(Clock::time_point now) const {
  MutexLock lock(m_mutex);
  if (now < m_pausedUntil) {
    return m_pausedUntil;
  }
  return std::nullopt;
}

std::vector<OriginGate::Answered> OriginGate::TakeAnswered() {
  std::vector<Answered> answered;
  MutexLock lock(m_mutex);
  for (auto it = m_entries.begin(); it != m_entries.end();) {
    if (!it->second.answered) {
      ++it;
      continue;
    }
    answered.push_back({it->first, it->second.outcome, std::move(it->second.held)});
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
