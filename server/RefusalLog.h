// Refused connections and requests are logged at the normal level, but at
// most once a minute per cause (a user, a host name, an origin), so that a
// page or a program that keeps trying cannot flood the log. The causes
// remembered are bounded; past the bound, causes not seen for a minute are
// forgotten, and while it is still full nothing more is logged.
//
// Thread contract: any thread; the remembered causes are guarded by a mutex.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "util/Mutex.h"

namespace qb {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RefusalLog(std::chrono::seconds interval = std::chrono::seconds(60),
                      size_t maxCauses = 1024)
      : m_interval(interval), m_maxCauses(maxCauses) {}
  ~RefusalLog() = default;

  // True when a refusal for `cause` at `now` is to be logged; it is then
  // counted as logged.
  bool ShouldLog(const std::string& cause, Clock::time_point now);
  // Logs `message` at the normal level when ShouldLog(cause, now()).
  void Log(const std::string& cause, std::string_view message);

 private:
  const std::chrono::seconds m_interval;
  const size_t m_maxCauses;
  Mutex m_mutex;
  std::unordered_map<std::string, Clock::time_point> m_lastLogged GUARDED_BY(m_mutex);
};

// The refusal log of the process.
RefusalLog& Refusals();

}  // namespace qb
