// Collects the bytes of one request as they arrive on a connection and
// decides, from them and the passing time, when the connection is ready for a
// worker. The rules:
//  - the request is complete as soon as RequestFramer says so;
//  - a request without an announced length (header block still open, or a
//    POST without Content-Length) is complete when the sender pauses for
//    kPauseEndsRequest, or closes its side;
//  - nothing within kFirstBytesWait of the connection opening, a header block
//    not complete within kHeaderDeadline of it, a body arriving slower than
//    kMinBodyBytesPerSecond once kBodyGrace has passed after the header, a
//    sender that stalls for kStallLimit while more is announced, or a close
//    before the announced bytes are in leaves nothing usable (DropReason()
//    says which);
//  - a request that is or announces more than kMaxRequestBytes is too large;
//    at most kMaxRequestBytes + 1 bytes are ever held (see Room()).
//
// Thread contract: one instance per connection, used by one thread at a time.
// It has no clock or socket of its own: the caller passes the time of every
// event, so it can be driven by a test without either.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "server/RequestFramer.h"

namespace qb {

inline constexpr std::chrono::milliseconds kPauseEndsRequest{100};
inline constexpr std::chrono::milliseconds kFirstBytesWait{2200};
inline constexpr std::chrono::milliseconds kStallLimit{30000};
inline constexpr std::chrono::milliseconds kHeaderDeadline{10000};
inline constexpr std::chrono::milliseconds kBodyGrace{10000};
inline constexpr size_t kMinBodyBytesPerSecond = 8 * 1024;
class RequestReceiver {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Outcome {
    kWaiting,   // more may come: call OnTimer at Deadline() or OnBytes
    kComplete,  // a request is in: TakeRequest()
    kTooLarge,  // larger than allowed: answer the server error
    kNothing,   // nothing usable: close without an answer
    kNoRoom,    // the server has no room for it now (decided by the caller
                // from the bodies budget): answer kBodyBudgetAnswer unread
  };

  explicit RequestReceiver(Clock::time_point opened) : m_opened(opened), m_lastActivity(opened) {}

  // Bytes that arrived at `now` (at most Room() of them). Only while kWaiting.
  Outcome OnBytes(std::string_view bytes, Clock::time_point now);
  // The sender closed its side, or the connection failed. Only while kWaiting.
  Outcome OnClosed();
  // Nothing arrived until `now`. Only while kWaiting.
  Outcome OnTimer(Clock::time_point now);
  // Restarts the pause and stall clocks at `now`: for a caller that stopped
  // reading the connection for a while, so that its own wait is not taken for
  // a pause of the sender.
  // The time not read is not held against the body's rate either.
  void Restart(Clock::time_point now);

  // When OnTimer would next change the outcome.
  Clock::time_point Deadline() const;
  // After kNothing from OnTimer: why the connection is dropped, for the log;
  // null when it sent nothing at all.
  const char* DropReason() const { return m_dropReason; }
  // When the last bytes arrived (the opening when none have).
  Clock::time_point LastActivity() const { return m_lastActivity; }
  // How many more bytes may be passed to OnBytes.
  size_t Room() const { return kMaxRequestBytes + 1 - m_bytes.size(); }
  // The size the whole request announces once its header block is in; 0
  // while unknown (or when none is announced).
  size_t Announced() const { return m_frame.expected; }
  // Bytes held so far, and the memory reserved for them (never more than
  // about kMaxRequestBytes once the request passes half of that).
  size_t Size() const { return m_bytes.size(); }
  size_t Reserved() const { return m_bytes.capacity(); }
  // After kComplete: the request bytes (the receiver then holds none).
  std::string TakeRequest() { return std::move(m_bytes); }

 private:
  // The time by which the header block or the body must have progressed.
  Clock::time_point ProgressDeadline() const;

  std::string m_bytes;
  RequestFramer m_framer;
  RequestFrame m_frame{.pauseEnds = true};
  Clock::time_point m_opened;
  Clock::time_point m_lastActivity;  // the opening, or the last bytes
  Clock::time_point m_headerDone{};  // when the header block was complete
  const char* m_dropReason = nullptr;
};

}  // namespace qb
