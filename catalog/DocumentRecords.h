// The records of a parsed answer: the children of its root element, every
// node counted (what the lenient whole-document reading yields).
//
// Thread contract: as RecordSource; the document must outlive it.
#pragma once

#include <pugixml.hpp>

#include <iterator>

#include "catalog/RecordSource.h"

namespace qb {

class DocumentRecords : public RecordSource {
 public:
  explicit DocumentRecords(const pugi::xml_node& root)
      : m_count(static_cast<size_t>(std::distance(root.begin(), root.end()))),
        m_next(root.first_child()) {}

  size_t Count() const override { return m_count; }
  std::optional<const std::vector<std::string_view>*> Next(RecordReader& reader) override;

 private:
  size_t m_count;
  pugi::xml_node m_next;
};

}  // namespace qb
