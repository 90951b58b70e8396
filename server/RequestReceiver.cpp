#include "server/RequestReceiver.h"

#include <algorithm>

namespace qb {

RequestReceiver::Outcome RequestReceiver::OnBytes(std::string_view bytes, Clock::time_point now) {
  if (bytes.empty()) {
    return Outcome::kWaiting;
  }
  // Near the limit, doubling would reserve up to twice the largest request
  // the receiver may hold; reserve that largest size instead.
  // With an announced length the buffer grows by doubling but never past that
  // length: what is reserved follows what the peer actually sent, not what it
  // claims it will send.
  const size_t needed = m_bytes.size() + bytes.size();
  if (needed > m_bytes.capacity()) {
    if (m_frame.expected > 0) {
      const size_t doubled = std::max(needed, 2 * m_bytes.capacity());
      m_bytes.reserve(
          std::max(needed, std::min({doubled, m_frame.expected, kMaxRequestBytes + 1})));
    } else if (needed > kMaxRequestBytes / 2) {
      m_bytes.reserve(std::max(needed, kMaxRequestBytes + 1));
    }
  }
  m_bytes.append(bytes);
  m_lastActivity = now;
  const bool headerWasOpen = m_frame.headerBytes == 0;
  m_frame = m_framer.Update(m_bytes);
  if (headerWasOpen && m_frame.headerBytes != 0) {
    m_headerDone = now;
  }
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
  if (!m_bytes.empty() && now >= ProgressDeadline()) {
    m_dropReason = m_frame.headerBytes == 0 ? "header not complete in time"
                                            : "body arriving too slowly";
    return Outcome::kNothing;
  }
  if (!m_bytes.empty() && m_frame.pauseEnds) {
    return Outcome::kComplete;
  }
  if (!m_bytes.empty()) {
    m_dropReason = "sender stalled with more announced";
  }
  return Outcome::kNothing;
}

void RequestReceiver::Restart(Clock::time_point now) {
  if (now > m_lastActivity) {
    const auto notRead = now - m_lastActivity;
    m_opened += notRead;
    m_headerDone += notRead;
  }
  m_lastActivity = now;
}

RequestReceiver::Clock::time_point RequestReceiver::ProgressDeadline() const {
  if (m_frame.headerBytes == 0) {
    return m_opened + kHeaderDeadline;
  }
  const size_t body = m_bytes.size() - std::min(m_bytes.size(), m_frame.headerBytes);
  const auto allowed = std::chrono::milliseconds(body * 1000 / kMinBodyBytesPerSecond);
  return m_headerDone + kBodyGrace + allowed;
}

RequestReceiver::Clock::time_point RequestReceiver::Deadline() const {
  if (m_bytes.empty()) {
    return m_lastActivity + kFirstBytesWait;
  }
  return std::min(ProgressDeadline(),
                  m_lastActivity + (m_frame.pauseEnds ? kPauseEndsRequest : kStallLimit));
}

}  // namespace qb
