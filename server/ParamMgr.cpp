#include "server/ParamMgr.h"

#include "util/Text.h"

namespace qb {

int ParamMgr::Find(std::string_view name) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (EqualsIgnoreCase(m_items[i]->m_strName, name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace qb
