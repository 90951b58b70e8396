#include "output/PrintOutcomes.h"

#include <algorithm>

#include "util/MutexLock.h"

namespace qb {

void PrintOutcomes::SetNoticeSink(NoticeSink sink) {
  MutexLock lock(m_mutex);
  m_sink = std::move(sink);
}

bool PrintOutcomes::StoreLocked(Entry& entry, const PrintOutcome& outcome,
                                Clock::time_point now) {
  entry.outcome = outcome;
  if (IsFinal(outcome.state) && !entry.finalAt) {
    entry.finalAt = now;
    m_finals.emplace_back(now, outcome.id);
  }
  if (NeedsNotice(outcome.state) && !entry.noticed) {
    entry.noticed = true;
    return true;
  }
  return false;
}

void PrintOutcomes::Record(const PrintOutcome& outcome, Clock::time_point now) {
  bool notice = false;
  {
    MutexLock lock(m_mutex);
    ForgetLocked(now);
    auto [it, added] = m_entries.try_emplace(outcome.id);
    if (added) {
      it->second.order = m_nextOrder++;
    }
    notice = StoreLocked(it->second, outcome, now);
    ForgetLocked(now);
  }
  if (notice) {
    Notify(outcome);
  }
}

bool PrintOutcomes::Update(const std::string& id,
                           const std::function<void(PrintOutcome&)>& change,
                           Clock::time_point now) {
  PrintOutcome changed;
  bool notice = false;
  {
    MutexLock lock(m_mutex);
    ForgetLocked(now);
    const auto it = m_entries.find(id);
    if (it == m_entries.end() || it->second.finalAt) {
      return false;
    }
    changed = it->second.outcome;
    change(changed);
    changed.id = id;
    notice = StoreLocked(it->second, changed, now);
    ForgetLocked(now);
  }
  if (notice) {
    Notify(changed);
  }
  return true;
}

std::optional<PrintOutcome> PrintOutcomes::Find(const std::string& id, Clock::time_point now) {
  MutexLock lock(m_mutex);
  ForgetLocked(now);
  const auto it = m_entries.find(id);
  if (it == m_entries.end()) {
    return std::nullopt;
  }
  return it->second.outcome;
}

std::vector<PrintOutcome> PrintOutcomes::Snapshot(Clock::time_point now) {
  MutexLock lock(m_mutex);
  ForgetLocked(now);
  std::vector<const Entry*> entries;
  entries.reserve(m_entries.size());
  for (const auto& [id, entry] : m_entries) {
    entries.push_back(&entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry* a, const Entry* b) { return a->order < b->order; });
  std::vector<PrintOutcome> outcomes;
  outcomes.reserve(entries.size());
  for (const Entry* entry : entries) {
    outcomes.push_back(entry->outcome);
  }
  return outcomes;
}

size_t PrintOutcomes::Count() const {
  MutexLock lock(m_mutex);
  return m_entries.size();
}

void PrintOutcomes::ForgetLocked(Clock::time_point now) {
  // m_finals holds each final outcome once, in the order they became final.
  while (!m_finals.empty() &&
         (m_finals.size() > kMaxFinal || now - m_finals.front().first >= kKeepFinal)) {
    m_entries.erase(m_finals.front().second);
    m_finals.pop_front();
  }
}

void PrintOutcomes::Notify(const PrintOutcome& outcome) {
  NoticeSink sink;
  {
    MutexLock lock(m_mutex);
    sink = m_sink;
  }
  if (sink) {
    sink(outcome);
  }
}

}  // namespace qb
