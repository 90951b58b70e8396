// Follows the print jobs this server handed to CUPS until each one ends, so
// that a job that fails, stops or is aborted with nobody asking about it still
// reaches the user (the outcomes' notice) and the log. Only unfinished jobs
// are followed: with none, the watch's thread sleeps until Watch is called.
// A job is asked about after 1 s, then at doubling intervals up to 30 s; it
// leaves the watch when it is final, once it has stopped (the user has been
// told; "print/status" still reads it afresh), or after a day.
//
// Thread contract: Watch from any thread. The thread starts at the first
// Watch and is stopped and joined by the destructor, which must not run on
// it. The outcomes must outlive the watch.
#pragma once

#include <chrono>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

#include "output/PrintOutcomes.h"
#include "util/Mutex.h"

namespace qb {

class PrintJobWatch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PrintJobWatch(PrintOutcomes& outcomes);
  ~PrintJobWatch();
  PrintJobWatch(const PrintJobWatch&) = delete;
  PrintJobWatch& operator=(const PrintJobWatch&) = delete;

  // Follows the job of session `id` (its outcome holds the CUPS job id).
  void Watch(const std::string& id);

 private:
  struct Followed {
    std::string id;
    Clock::time_point due;
    Clock::duration interval;
    Clock::time_point until;
  };

  void Run();
  // Asks about `job`; true when it is to be followed further.
  bool Check(const Followed& job);

  PrintOutcomes& m_outcomes;
  Mutex m_mutex;
  std::condition_variable m_wake;
  std::vector<Followed> m_jobs GUARDED_BY(m_mutex);
  bool m_stop GUARDED_BY(m_mutex) = false;
  bool m_started GUARDED_BY(m_mutex) = false;
  std::thread m_thread;  // started under m_mutex by the first Watch
};

}  // namespace qb
