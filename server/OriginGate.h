// Requests from a web origin that the user is being asked about wait here,
// outside the worker pool, until the user answers: a page cannot occupy the
// workers by waiting for the user. One question per origin is open at a time;
// at most kMaxHeldPerOrigin requests of an origin wait, and at most
// kMaxAskedOrigins origins wait for an answer at once (more are refused at
// once); a request waits at most kConsentWait.
//
// The gate also keeps the user from being flooded with questions: once the
// user has denied kDenialsBeforePause questions within kDenialWindow, no
// origin is asked about for kAskingPause, and once the user chose not to be
// asked again, none until SetAsking(true). Either way the questions still
// waiting for their turn are closed unanswered (their requests are refused
// and nothing is remembered), and new ones are refused at once (kNotAsking).
//
// The gate only keeps the requests and the answers: the listener takes the
// answered origins (TakeAnswered), puts the answer into effect and serves or
// refuses their requests, and refuses the requests that waited too long
// (TakeExpired). It waits for Changed(), notified at every held request and
// every answer, and until NextExpiry().
//
// Thread contract: any thread; everything is guarded by one mutex. Workers
// hold requests, the UI thread answers, the listener takes.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "context/CControlWindow.h"
#include "server/ConnectionLimits.h"
#include "util/Mutex.h"
#include "util/Notifier.h"
#include "util/UniqueFd.h"

namespace qb {

inline constexpr size_t kMaxHeldPerOrigin = 4;
inline constexpr size_t kMaxAskedOrigins = 8;
inline constexpr std::chrono::seconds kConsentWait{60};
inline constexpr size_t kDenialsBeforePause = 3;
inline constexpr std::chrono::minutes kDenialWindow{10};
inline constexpr std::chrono::hours kAskingPause{1};

class OriginGate {
 public:
  using Clock = std::chrono::steady_clock;

  // One connection whose request waits for the answer.
  struct Held {
    UniqueFd socket;
    std::string request;  // the request bytes as received
    ConnectionLimits::Ticket ticket;
    Clock::time_point since;
  };

  enum class HoldResult {
    kHeld,       // waits for the open question
    kAsk,        // waits; the caller asks the user (the first request of an origin)
    kRefused,    // too many waiting: the request stays the caller's, to refuse
    kNotAsking,  // no question is asked now: the request stays the caller's, to refuse
  };

  // How a question ended.
  enum class Outcome {
    kAllowed,
    kDenied,
    kStopAsking,  // the user chose not to be asked again (this origin is refused)
    kNotAsked,    // closed without the user's answer: refused, nothing remembered
  };

  // An answered origin with the requests that waited for it.
  struct Answered {
    std::string origin;
    Outcome outcome = Outcome::kNotAsked;
    std::vector<Held> held;
    bool allowed() const { return outcome == Outcome::kAllowed; }
  };

  OriginGate() = default;
  ~OriginGate() = default;
  OriginGate(const OriginGate&) = delete;
  OriginGate& operator=(const OriginGate&) = delete;

  // Holds `held` until `origin` is answered. On kRefused `held` is left as
  // it was.
  HoldResult Hold(const std::string& origin, Held& held);
  // The user's answer for `origin`, given at `now`.
  void Answer(const std::string& origin, OriginAnswer answer,
              Clock::time_point now = Clock::now());
  // True while the question about `origin` waits for the user's answer.
  bool IsOpen(const std::string& origin) const;
  // Turns asking on or off (the configuration's askForNewSites); on also
  // ends the stop the user asked for with kStopAsking.
  void SetAsking(bool asks);
  // Until when questions are paused after too many denials, if they are
  // at `now`.
  std::optional<Clock::time_point> PausedUntil(Clock::time_point now) const;
  // The answered origins, each with its waiting requests; they leave the gate.
  std::vector<Answered> TakeAnswered();
  // The requests that have waited kConsentWait by `now`; their questions stay
  // open.
  std::vector<Held> TakeExpired(Clock::time_point now);
  // Every waiting request (at shutdown).
  std::vector<Held> TakeAll();
  // When the first waiting request will have waited kConsentWait; max when
  // none waits.
  Clock::time_point NextExpiry() const;
  // Origins with an open question, or an answer not yet taken.
  size_t Origins() const;

  // Notified when a request is held or an answer comes; the listener alone
  // watches and clears it.
  Notifier& Changed() { return m_changed; }

 private:
  struct Entry {
    bool answered = false;
    Outcome outcome = Outcome::kNotAsked;
    std::vector<Held> held;
  };

  // Closes every open question unanswered.
  void CloseOpenQuestions() REQUIRES(m_mutex);

  mutable Mutex m_mutex;
  std::map<std::string, Entry> m_entries GUARDED_BY(m_mutex);
  std::deque<Clock::time_point> m_denials GUARDED_BY(m_mutex);  // within kDenialWindow
  Clock::time_point m_pausedUntil GUARDED_BY(m_mutex);
  bool m_bStopped GUARDED_BY(m_mutex) = false;  // asking is off
  Notifier m_changed;
};

}  // namespace qb
