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

void RecordReader::Clear() {
  std::fill(m_values.begin(), m_values.end(), std::string_view());
  std::fill(m_seen.begin(), m_seen.end(), false);
}

int RecordReader::Claim(std::string_view name, size_t* next) {
  // Fields usually come in list order: the next one is tried first.
  const size_t fieldCount = m_table.fields.size();
  const int index = *next < fieldCount && m_table.fields[*next].name == name
                        ? static_cast<int>(*next)
                        : m_table.FieldIndex(name);
  *next = static_cast<size_t>(index + 1);
  if (index < 0 || m_seen[static_cast<size_t>(index)]) {
    return -1;
  }
  m_seen[static_cast<size_t>(index)] = true;
  return index;
}

const std::vector<std::string_view>& RecordReader::Read(const pugi::xml_node& record) {
  Clear();
  size_t next = 0;
  for (const pugi::xml_node& element : record.children()) {
    if (element.type() != pugi::node_element) {
      continue;
    }
    const int field = Claim(element.name(), &next);
    if (field >= 0) {
      const auto index = static_cast<size_t>(field);
      m_values[index] = ElementText(element, &m_scratch[index]);
    }
  }
  return m_values;
}

const std::vector<std::string_view>& RecordReader::ReadPlain(std::string_view record) {
  Clear();
  size_t pos = record.find('>') + 1;  // past the record's start tag
  if (record[pos - 2] == '/') {
    return m_values;
  }
  size_t next = 0;
  while (true) {
    const size_t open = record.find('<', pos);
    if (record[open + 1] == '/') {
      return m_values;  // the record's end tag
    }
    const size_t close = record.find('>', open);
    const bool empty = record[close - 1] == '/';
    std::string_view name = record.substr(open + 1, close - open - 1 - (empty ? 1 : 0));
    name = name.substr(0, name.find_first_of(" \t\n"));
    const int field = Claim(name, &next);
    if (empty) {
      if (field >= 0) {
        m_values[static_cast<size_t>(field)] = std::string_view("");
      }
      pos = close + 1;
      continue;
    }
    const size_t end = record.find('<', close + 1);
    if (field >= 0) {
      const std::string_view text = record.substr(close + 1, end - close - 1);
      // Text of blanks alone is no text to the parser.
      m_values[static_cast<size_t>(field)] =
          text.find_first_not_of(" \t\n") == std::string_view::npos ? std::string_view("") : text;
    }
    pos = record.find('>', end) + 1;
  }
}

}  // namespace qb
