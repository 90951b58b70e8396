// Reads one record element of a catalogue server answer into the values of
// its table's fields: each field's value is the text of the record's first
// child element of the field's name (the text of all its descendants), empty
// when there is none. Other child elements and nodes are not looked at.
//
// Thread contract: one reader per importing thread; the table outlives it.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

#include "catalog/CatalogueTable.h"

namespace qb {

class RecordReader {
 public:
  explicit RecordReader(const CatalogueTable& table);

  // The field values of `record`, in field order. They view the record's
  // document or this reader, so they stay valid until the next Read or until
  // either goes away.
  const std::vector<std::string_view>& Read(const pugi::xml_node& record);
  // The same for the bytes of a plain record: one element without attributes
  // whose child elements have no attributes and hold text only, nothing in it
  // a comment, a CDATA section, a reference or a carriage return (see
  // AnswerRecords). Its values are its own bytes, as parsing would give them.
  const std::vector<std::string_view>& ReadPlain(std::string_view record);

 private:
  void Clear();
  // The field an element `name` gives its value to, marked as read; -1 when
  // it names no field or one read already. `next` is the field expected next.
  int Claim(std::string_view name, size_t* next);

  const CatalogueTable& m_table;
  std::vector<std::string_view> m_values;
  std::vector<bool> m_seen;
  std::vector<std::string> m_scratch;  // per field: text gathered from several nodes
};

}  // namespace qb
