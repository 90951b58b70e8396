#include "catalog/DocumentRecords.h"

namespace qb {

std::optional<pugi::xml_node> DocumentRecords::Next() {
  const pugi::xml_node record = m_next;
  m_next = m_next.next_sibling();
  return record;
}

}  // namespace qb
