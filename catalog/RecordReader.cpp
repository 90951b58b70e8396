#include "catalog/RecordReader.h"

#include <algorithm>

namespace qb {
namespace {

// The text content of an element: the text of all its descendants, in
// document order. An element's own value is the text the parser embedded in
// it (the text before its first child element).
std::string_view ElementText(const pugi::xml_node& element, std::string* scratch) {
  const pugi::xml_node first = element.first_child();
  if (!first) {
    return element.value();
  }
  if (*element.value() == '\0' &&
      (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata) &&
      !first.next_sibling()) {
    return first.value();
  }
  // Walked without recursion: an answer may nest elements very deeply.
  scratch->assign(element.value());
  pugi::xml_node node = first;
  while (node) {
    scratch->append(node.value());
    if (node.type() == pugi::node_element && node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != element && !node.next_sibling()) {
      node = node.parent();
    }
    node = node == element ? pugi::xml_node() : node.next_sibling();
  }
  return *scratch;
}

}  // namespace

RecordReader::RecordReader(const CatalogueTable& table)
    : m_table(table),
      m_values(table.fields.size()),
      m_seen(table.fields.size()),
      m_scratch(table.fields.size()) {}

const std::vector<std::string_view>& RecordReader::Read(const pugi::xml_node& record) {
  const size_t fieldCount = m_table.fields.size();
  std::fill(m_values.begin(), m_values.end(), std::string_view());
  std::fill(m_seen.begin(), m_seen.end(), false);
  size_t next = 0;  // fields usually come in list order: try the next one first
  for (const pugi::xml_node& element : record.children()) {
    if (element.type() != pugi::node_element) {
      continue;
    }
    const char* name = element.name();
    const int index = next < fieldCount && m_table.fields[next].name == name
                          ? static_cast<int>(next)
                          : m_table.FieldIndex(name);
    next = static_cast<size_t>(index + 1);
    if (index >= 0 && !m_seen[static_cast<size_t>(index)]) {
      const auto field = static_cast<size_t>(index);
      m_seen[field] = true;
      m_values[field] = ElementText(element, &m_scratch[field]);
    }
  }
  return m_values;
}

}  // namespace qb
