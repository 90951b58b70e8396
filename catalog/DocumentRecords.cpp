#include "catalog/DocumentRecords.h"

namespace qb {

std::optional<const std::vector<std::string_view>*> DocumentRecords::Next(RecordReader& reader) {
  if (!m_next) {
    return nullptr;
  }
  const pugi::xml_node record = m_next;
  m_next = m_next.next_sibling();
  return &reader.Read(record);
}

}  // namespace qb
