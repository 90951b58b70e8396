#include "output/CPrintMgr.h"

namespace qb {

CPrintMgr::CPrintMgr() = default;
CPrintMgr::~CPrintMgr() = default;

CPrintSession* CPrintMgr::Register(std::unique_ptr<CPrintSession> session) {
  if (!session) {
    return nullptr;
  }
  std::lock_guard lock(m_mutex);
  const std::string id = session->m_strId;
  if (CPrintSession* existing = m_sessions.Lookup(id, nullptr)) {
    return existing;
  }
  CPrintSession* stored = session.get();
  return m_sessions.SetAt(id, std::move(session)) < 0 ? nullptr : stored;
}

CPrintSession* CPrintMgr::Lookup(const std::string& id) const {
  std::lock_guard lock(m_mutex);
  return m_sessions.Lookup(id, nullptr);
}

int CPrintMgr::SessionCount() const {
  std::lock_guard lock(m_mutex);
  return m_sessions.Count();
}

}  // namespace qb
