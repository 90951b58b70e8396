#include "server/ParamMgr.h"

#include <strings.h>

namespace qb {

int ParamMgr::Find(std::string_view name) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    const std::string& candidate = m_items[i]->m_strName;
    if (candidate.size() == name.size() &&
        ::strncasecmp(candidate.data(), name.data(), name.size()) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace qb
