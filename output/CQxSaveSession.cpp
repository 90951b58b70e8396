#include "output/CQxSaveSession.h"

#include <cstring>
#include <new>

namespace qb {

int CQxSaveSession::SetData(const char* bytes, int64_t count) {
  m_pData.reset();
  m_nSize = 0;
  m_strName.clear();
  if (bytes == nullptr || count <= 0) {
    return 0;
  }
  const size_t size = static_cast<size_t>(count);
  m_pData.reset(new (std::nothrow) char[size]);
  if (!m_pData) {
    return 0;
  }
  std::memcpy(m_pData.get(), bytes, size);
  m_nSize = size;
  return 1;
}

}  // namespace qb
