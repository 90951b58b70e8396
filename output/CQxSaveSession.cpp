#include "output/CQxSaveSession.h"

#include <cstring>
#include <new>

namespace qb {

bool CQxSaveSession::SetData(const char* bytes, int64_t count) {
  m_pData.reset();
  m_nSize = 0;
  m_strName.clear();
  if (bytes == nullptr || count <= 0) {
    return false;
  }
  const size_t size = static_cast<size_t>(count);
  m_pData.reset(new (std::nothrow) char[size]);
  if (!m_pData) {
    return false;
  }
  std::memcpy(m_pData.get(), bytes, size);
  m_nSize = size;
  return true;
}

}  // namespace qb
