// The outcomes of print sessions, by session identifier: one place where the
// print job, "print/status" and a status window read and record what became
// of each print.
//
// An outcome is kept while its session is not final, and for a while after:
// final outcomes leave kKeepFinal after they became final, and the oldest
// final ones leave when more than kMaxFinal are kept. The pages of a session
// are not kept here; only these few values.
//
// Each outcome that first reaches a state that needs a notice (failed,
// stopped, aborted) is handed once to the notice sink, outside the lock, on
// the thread that recorded it.
//
// Thread contract: any thread; the map is guarded by m_mutex; the sink is set
// once before outcomes are recorded (start-up) and must be callable from any
// thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "output/PrintOutcome.h"
#include "util/Mutex.h"

namespace qb {

class PrintOutcomes {
 public:
  using Clock = std::chrono::steady_clock;
  using NoticeSink = std::function<void(const PrintOutcome&)>;

  static constexpr size_t kMaxFinal = 256;
  static constexpr std::chrono::hours kKeepFinal{1};

  PrintOutcomes() = default;
  ~PrintOutcomes() = default;
  PrintOutcomes(const PrintOutcomes&) = delete;
  PrintOutcomes& operator=(const PrintOutcomes&) = delete;

  void SetNoticeSink(NoticeSink sink);

  // Records `outcome` under its identifier (replacing what was there), at `now`.
  void Record(const PrintOutcome& outcome, Clock::time_point now = Clock::now());
  // Changes the outcome of `id` through `change` when there is one and it is
  // not final; false otherwise.
  bool Update(const std::string& id, const std::function<void(PrintOutcome&)>& change,
              Clock::time_point now = Clock::now());
  // The outcome of `id`, or nullopt.
  std::optional<PrintOutcome> Find(const std::string& id, Clock::time_point now = Clock::now());
  // Every outcome kept, oldest first.
  std::vector<PrintOutcome> Snapshot(Clock::time_point now = Clock::now());
  size_t Count() const;

 private:
  struct Entry {
    PrintOutcome outcome;
    std::optional<Clock::time_point> finalAt;
    bool noticed = false;
    uint64_t order = 0;
  };

  // Stores `outcome` into `entry`; true when a notice is due.
  bool StoreLocked(Entry& entry, const PrintOutcome& outcome, Clock::time_point now)
      REQUIRES(m_mutex);
  void ForgetLocked(Clock::time_point now) REQUIRES(m_mutex);
  void Notify(const PrintOutcome& outcome);

  mutable Mutex m_mutex;
  std::unordered_map<std::string, Entry> m_entries GUARDED_BY(m_mutex);
  std::deque<std::pair<Clock::time_point, std::string>> m_finals GUARDED_BY(m_mutex);
  uint64_t m_nextOrder GUARDED_BY(m_mutex) = 0;
  NoticeSink m_sink GUARDED_BY(m_mutex);
};

}  // namespace qb
