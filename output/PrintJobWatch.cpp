#include "output/PrintJobWatch.h"

#include <algorithm>

#include "output/PrintJobStatus.h"
#include "util/MutexLock.h"

namespace qb {
namespace {

constexpr std::chrono::seconds kFirstCheck{1};
constexpr std::chrono::seconds kLongestInterval{30};
constexpr std::chrono::hours kLongestWatch{24};
constexpr std::chrono::seconds kQuestionBudget{2};

}  // namespace

PrintJobWatch::PrintJobWatch(PrintOutcomes& outcomes) : m_outcomes(outcomes) {}

PrintJobWatch::~PrintJobWatch() {
  {
    MutexLock lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

void PrintJobWatch::Watch(const std::string& id) {
  const auto now = Clock::now();
  {
    MutexLock lock(m_mutex);
    if (m_stop) {
      return;
    }
    m_jobs.push_back(Followed{id, now + kFirstCheck, kFirstCheck, now + kLongestWatch});
    if (!m_started) {
      m_started = true;
      m_thread = std::thread([this] { Run(); });
    }
  }
  m_wake.notify_all();
}

void PrintJobWatch::Run() {
  MutexLock lock(m_mutex);
  while (!m_stop) {
    if (m_jobs.empty()) {
      lock.Wait(m_wake);
      continue;
    }
    const auto next = std::min_element(m_jobs.begin(), m_jobs.end(),
                                       [](const Followed& a, const Followed& b) {
                                         return a.due < b.due;
                                       });
    const auto now = Clock::now();
    if (next->due > now) {
      lock.WaitFor(m_wake, next->due - now);
      continue;
    }
    Followed job = *next;
    m_jobs.erase(next);
    lock.Unlock();
    const bool again = Check(job) && Clock::now() < job.until;
    lock.Lock();
    if (again && !m_stop) {
      job.interval = std::min<Clock::duration>(job.interval * 2, kLongestInterval);
      job.due = Clock::now() + job.interval;
      m_jobs.push_back(std::move(job));
    }
  }
}

bool PrintJobWatch::Check(const Followed& job) {
  const std::optional<PrintOutcome> outcome =
      RefreshPrintOutcome(m_outcomes, job.id, kQuestionBudget);
  return outcome && !IsFinal(outcome->state) && outcome->state != PrintState::kStopped;
}

}  // namespace qb
