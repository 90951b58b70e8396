#include "server/RequestFramer.h"

#include "util/Text.h"

namespace qb {
namespace {

constexpr std::string_view kBlankLine = "\r\n\r\n";
constexpr std::string_view kLengthName = "content-length";

}  // namespace

void RequestFramer::ReadHeaderBlock(std::string_view header) {
  const size_t firstEnd = header.find("\r\n");
  const std::string_view requestLine = header.substr(0, firstEnd);
  m_isPost = StartsWithIgnoreCase(requestLine, "POST ");

  size_t pos = firstEnd == std::string_view::npos ? header.size() : firstEnd + 2;
  while (pos < header.size()) {
    size_t end = header.find("\r\n", pos);
    if (end == std::string_view::npos) {
      end = header.size();
    }
    const std::string_view line = header.substr(pos, end - pos);
    pos = end + 2;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      continue;
    }
    if (EqualsIgnoreCase(TrimEnd(line.substr(0, colon), kBlanks), kLengthName)) {
      m_contentLength = LeadingInteger(SkipLeadingSpace(line.substr(colon + 1)));
      return;  // the first Content-Length counts, as for the parser
    }
  }
}

RequestFrame RequestFramer::Update(std::string_view received) {
  RequestFrame frame;
  if (!m_headerEnd) {
    const size_t hit = received.find(kBlankLine, m_scanFrom);
    if (hit == std::string_view::npos) {
      m_scanFrom = received.size() < kBlankLine.size() ? 0 : received.size() - kBlankLine.size() + 1;
      frame.state = received.size() > kMaxRequestBytes ? RequestFrame::State::kTooLarge
                                                       : RequestFrame::State::kNeedMore;
      frame.pauseEnds = true;
      return frame;
    }
    m_headerEnd = hit + kBlankLine.size();
    ReadHeaderBlock(received.substr(0, hit + 2));
  }

  const size_t headerEnd = *m_headerEnd;
  frame.headerBytes = headerEnd;
  if (m_contentLength && *m_contentLength > 0) {
    const uint64_t total = headerEnd + static_cast<uint64_t>(*m_contentLength);
    if (total > kMaxRequestBytes) {
      frame.state = RequestFrame::State::kTooLarge;
    } else if (received.size() >= total) {
      frame.state = RequestFrame::State::kComplete;
      frame.size = static_cast<size_t>(total);
    } else {
      frame.expected = static_cast<size_t>(total);
    }
    return frame;  // otherwise more is announced: a pause does not end it
  }
  if (m_isPost && !m_contentLength) {
    frame.state = received.size() > kMaxRequestBytes ? RequestFrame::State::kTooLarge
                                                     : RequestFrame::State::kNeedMore;
    frame.pauseEnds = true;
    return frame;
  }
  frame.state = RequestFrame::State::kComplete;
  frame.size = headerEnd;
  return frame;
}

}  // namespace qb
