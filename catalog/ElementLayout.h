// Writing catalogue rows as XML element lines: four spaces, the opening tag,
// the value, the closing tag and a line feed. Values are written as stored
// (no XML escaping), cleaned to valid UTF-8 and cut at a zero byte; a NULL
// column writes no line.
//
// An ElementLayout maps the result columns of one compiled statement to
// element names once, so that each row is written without looking names up
// again. Lines follow the order of the selected columns.
//
// Thread contract: a layout belongs to the thread that owns its statement;
// the free functions are stateless.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/Statement.h"

namespace qb {

// A result column name and the element its value is written as.
struct ElementName {
  std::string_view column;
  std::string_view element;
};

class ElementLayout {
 public:
  // Columns of `statement` whose result name equals (exactly) a `column` of
  // `names` write that element; every other column writes nothing.
  ElementLayout(const Statement& statement, std::span<const ElementName> names);

  // The element lines of the row `statement` stands on.
  void AppendLines(const Statement& statement, std::string* out) const;

 private:
  struct Entry {
    int column;
    std::string_view element;
  };
  std::vector<Entry> m_entries;
};

// Writes every row left in `statement` as a numbered record: "  <element>\n",
// "    <pno>N</pno>\n" with N counting from `first`, the row's element lines,
// what `extra` (may be empty) appends for the row, and "</element>\n" at
// column 0. Returns the number of records written.
int64_t AppendNumberedRecords(
    Statement& statement, const ElementLayout& layout, std::string_view element, int64_t first,
    std::string* out, const std::function<void(const Statement&, std::string*)>& extra = {});

// Index of the first result column named `name`, or -1.
int FindResultColumn(const Statement& statement, std::string_view name);

// "    <element>" + value + "</element>\n".
void AppendElementLine(std::string* out, std::string_view element, std::string_view value);
// `bytes` up to the first zero byte, invalid UTF-8 replaced by U+FFFD.
void AppendCleanText(std::string* out, std::string_view bytes);
void AppendNumber(std::string* out, int64_t number);

}  // namespace qb
