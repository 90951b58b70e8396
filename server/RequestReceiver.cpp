#include "server/RequestReceiver.h"

#include <algorithm>

namespace qb {

RequestReceiver::Outcome RequestReceiver::OnBytes(std::string_view bytes, Clock::time_point now) {
  if (bytes.empty()) {
    return Outcome::kWaiting;
  }
  // Near the limit, doubling would reserve up to twice the largest request
  // the receiver may hold; reserve that largest size instead.
  const size_t needed = m_bytes.size() + bytes.size();
  if (needed > m_bytes.capacity() && needed > kMaxRequestBytes / 2) {
    m_bytes.reserve(std::max(needed, kMaxRequestBytes + 1));
  }
  m_bytes.append(bytes);
  m_lastActivity = now;
  m_frame = m_framer.Update(m_bytes);
  switch (m_frame.state) {
    case RequestFrame::State::kTooLarge:
      std::string().swap(m_bytes);
      return Outcome::kTooLarge;
    case RequestFrame::State::kComplete:
      m_bytes.resize(m_frame.size);  // bytes after the request are not part of it
      return Outcome::kComplete;
    case RequestFrame::State::kNeedMore:
      break;
  }
  return Outcome::kWaiting;
}

RequestReceiver::Outcome RequestReceiver::OnClosed() {
  // What arrived is the request, unless more was announced than came.
  return !m_bytes.empty() && m_frame.pauseEnds ? Outcome::kComplete : Outcome::kNothing;
}

RequestReceiver::Outcome RequestReceiver::OnTimer(Clock::time_point now) {
  if (now < Deadline()) {
    return Outcome::kWaiting;
  }
  return !m_bytes.empty() && m_frame.pauseEnds ? Outcome::kComplete : Outcome::kNothing;
}

RequestReceiver::Clock::time_point RequestReceiver::Deadline() const {
  if (m_bytes.empty()) {
    return m_lastActivity + kFirstBytesWait;
  }
  return m_lastActivity + (m_frame.pauseEnds ? kPauseEndsRequest : kStallLimit);
}

}  // namespace qb
