// Logs refusals at the normal level without letting a flood of them flood the
// log: the first refusal of each reason is logged at once, later ones are
// counted and logged as one line per reason at most every kDropLogInterval.
//
// Thread contract: one thread (the listener's).
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace qb {

inline constexpr std::chrono::seconds kDropLogInterval{10};

class DropLog {
 public:
  using Clock = std::chrono::steady_clock;

  // One refusal for `reason` at `now`.
  void Note(std::string_view reason, Clock::time_point now);

 private:
  struct Counter {
    Clock::time_point lastLogged;
    size_t unlogged = 0;
  };
  std::map<std::string, Counter, std::less<>> m_counters;
};

}  // namespace qb
