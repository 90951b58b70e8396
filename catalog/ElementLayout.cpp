#include "catalog/ElementLayout.h"

#include <charconv>

#include "util/Text.h"

namespace qb {

ElementLayout::ElementLayout(const Statement& statement, std::span<const ElementName> names) {
  const int count = statement.Valid() ? statement.ColumnCount() : 0;
  for (int column = 0; column < count; ++column) {
    const std::string_view name = statement.ColumnName(column);
    for (const ElementName& entry : names) {
      if (entry.column == name) {
        m_entries.push_back({column, entry.element});
        break;
      }
    }
  }
}

void ElementLayout::AppendLines(const Statement& statement, std::string* out) const {
  for (const Entry& entry : m_entries) {
    if (const std::optional<std::string_view> value = statement.Text(entry.column)) {
      AppendElementLine(out, entry.element, *value);
    }
  }
}

int FindResultColumn(const Statement& statement, std::string_view name) {
  const int count = statement.Valid() ? statement.ColumnCount() : 0;
  for (int column = 0; column < count; ++column) {
    if (statement.ColumnName(column) == name) {
      return column;
    }
  }
  return -1;
}

int64_t AppendNumberedRecords(Statement& statement, const ElementLayout& layout,
                              std::string_view element, int64_t first, std::string* out,
                              const std::function<void(const Statement&, std::string*)>& extra) {
  int64_t count = 0;
  while (statement.NextRow()) {
    out->append("  <").append(element).append(">\n    <pno>");
    AppendNumber(out, first + count);
    out->append("</pno>\n");
    layout.AppendLines(statement, out);
    if (extra) {
      extra(statement, out);
    }
    out->append("</").append(element).append(">\n");
    ++count;
  }
  return count;
}

void AppendElementLine(std::string* out, std::string_view element, std::string_view value) {
  out->append("    <");
  out->append(element);
  out->push_back('>');
  AppendCleanText(out, value);
  out->append("</");
  out->append(element);
  out->append(">\n");
}

void AppendCleanText(std::string* out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0 || b >= 0x80) {
      out->append(RepairedUtf8(bytes));
      return;
    }
  }
  out->append(bytes);
}

void AppendNumber(std::string* out, int64_t number) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  out->append(digits, result.ptr);
}

}  // namespace qb
