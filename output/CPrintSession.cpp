#include "output/CPrintSession.h"

namespace qb {

CPrintSession::CPrintSession(std::string id, int width, int height, int orientation, int copies)
    : m_strId(std::move(id)),
      m_nWidth(width),
      m_nHeight(height),
      m_nOrientation(orientation),
      m_nCopies(copies) {}

CPrintSession::~CPrintSession() = default;

int CPrintSession::AddPage(std::unique_ptr<CPrintPage> page) {
  std::lock_guard lock(m_mutex);
  return m_pages.SetAt(static_cast<unsigned>(m_pages.Count()), std::move(page));
}

int CPrintSession::PageCount() const {
  std::lock_guard lock(m_mutex);
  return m_pages.Count();
}

int CPrintSession::GetState() const {
  std::lock_guard lock(m_mutex);
  return m_nState;
}

int CPrintSession::StartPrinting() {
  std::lock_guard lock(m_mutex);
  if (m_nState != kNew) {
    return -1;
  }
  m_nState = kPrinting;
  return m_pages.Count();
}

QImage CPrintSession::PageImage(unsigned key) const {
  std::string encoded;
  {
    std::lock_guard lock(m_mutex);
    const CPrintPage* page = m_pages.Lookup(key, nullptr);
    if (page == nullptr) {
      return {};
    }
    encoded = page->Encoded();
  }
  return CPrintPage(std::move(encoded)).DecodeImage();
}

void CPrintSession::Finish() {
  std::lock_guard lock(m_mutex);
  m_nState = kDone;
  m_pages.RemoveAll();
}

}  // namespace qb
