#include "output/CPrintSession.h"

#include <new>

#include "output/PrintLimits.h"
#include "util/Log.h"
#include "util/MutexLock.h"

namespace qb {

CPrintSession::CPrintSession(std::string id, int width, int height, int orientation, int copies)
    : m_strId(std::move(id)),
      m_nWidth(width),
      m_nHeight(height),
      m_nOrientation(orientation),
      m_nCopies(copies) {}

CPrintSession::~CPrintSession() {
  MutexLock lock(m_mutex);
  DropPages();
}

Result<int> CPrintSession::AddPage(std::unique_ptr<CPrintPage> page) {
  const size_t bytes = page ? page->Encoded().size() : 0;
  std::string reason;
  {
    MutexLock lock(m_mutex);
    m_lastUsed = Clock::now();
    if (m_nState == kDone) {
      return kDroppedPage;  // `page` is deleted here, never counted
    }
    if (m_pages.size() >= static_cast<size_t>(kMaxSessionPages)) {
      reason = "it holds " + std::to_string(kMaxSessionPages) + " pages already";
    } else if (bytes > kMaxSessionBytes - std::min(m_nBytes, kMaxSessionBytes)) {
      reason = "its pages would pass " + std::to_string(kMaxSessionBytes) + " bytes";
    } else if (!ReservePageBytes(bytes)) {
      reason = "the pages of all sessions would pass " + std::to_string(kMaxStoredPageBytes) +
               " bytes";
    } else {
      Result<PageSpool::Span> stored =
          m_spool.Append(page ? std::string_view(page->Encoded()) : std::string_view());
      if (const std::string why = m_spool.TakeMemoryReason(); !why.empty()) {
        LogError("print session " + m_strId + ": " + why + "; its pages are kept in memory");
      }
      if (!stored) {
        ReleasePageBytes(bytes);
        return Failure{stored.Error()};
      }
      try {
        m_pages.push_back(*stored);
      } catch (const std::bad_alloc&) {
        ReleasePageBytes(bytes);
        return Failure{"out of memory"};
      }
      m_nBytes += bytes;
      return static_cast<int>(m_pages.size() - 1);
    }
  }
  return Failure{std::move(reason)};
}

size_t CPrintSession::PageBytes() const {
  MutexLock lock(m_mutex);
  return m_nBytes;
}

void CPrintSession::Touch(Clock::time_point now) {
  MutexLock lock(m_mutex);
  m_lastUsed = now;
}

void CPrintSession::MarkPosted() {
  MutexLock lock(m_mutex);
  m_bPosted = true;
}

int CPrintSession::ExpireIfIdle(Clock::time_point now, Clock::duration idle) {
  MutexLock lock(m_mutex);
  // A session handed to the print job is the job's until it ends.
  if (m_nState != kNew || m_bPosted || now - m_lastUsed < idle) {
    return -1;
  }
  const int pages = static_cast<int>(m_pages.size());
  EndLocked();
  return pages;
}

std::optional<CPrintSession::Clock::time_point> CPrintSession::EndedAt() const {
  MutexLock lock(m_mutex);
  return m_ended;
}

void CPrintSession::EndLocked() {
  if (!m_ended) {
    m_ended = Clock::now();
  }
  m_nState = kDone;
  DropPages();
}

void CPrintSession::DropPages() {
  m_pages.clear();
  m_pages.shrink_to_fit();
  m_spool.Clear();
  ReleasePageBytes(m_nBytes);
  m_nBytes = 0;
}

int CPrintSession::PageCount() const {
  MutexLock lock(m_mutex);
  return static_cast<int>(m_pages.size());
}

int CPrintSession::GetState() const {
  MutexLock lock(m_mutex);
  return m_nState;
}

Result<int> CPrintSession::StartPrinting() {
  MutexLock lock(m_mutex);
  if (m_nState != kNew) {
    return Failure{m_nState == kPrinting ? "it is being printed already" : "it has ended"};
  }
  m_nState = kPrinting;
  return static_cast<int>(m_pages.size());
}

QImage CPrintSession::PageImage(unsigned key) const {
  Result<std::string> encoded = EncodedPage(key);
  return encoded ? CPrintPage(std::move(*encoded)).DecodeImage() : QImage();
}

Result<std::string> CPrintSession::EncodedPage(unsigned key) const {
  MutexLock lock(m_mutex);
  if (key >= m_pages.size()) {
    return Failure{"no page " + std::to_string(key)};
  }
  return m_spool.Read(m_pages[key]);
}

void CPrintSession::Finish() {
  MutexLock lock(m_mutex);
  EndLocked();
}

}  // namespace qb
