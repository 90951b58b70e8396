#include "catalog/RecordStore.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <optional>

#include "util/Text.h"

namespace qb {
namespace {

struct Number {
  bool isInteger = false;
  int64_t integer = 0;
  double real = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The value of `text` when it is what SQL reads as a numeric literal (an
// optional sign and surrounding blanks allowed); nullopt otherwise.
std::optional<Number> ParseNumber(std::string_view text) {
  text = Trim(text, " \t\r\n");
  std::string_view body = text;
  bool negative = false;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  if (body.empty()) {
    return std::nullopt;
  }
  Number number;
  if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(body.data() + 2, body.data() + body.size(), value, 16);
    if (error != std::errc() || end != body.data() + body.size()) {
      return std::nullopt;
    }
    // Negated as SQL does, modulo 2^64; SQL refuses the one value whose
    // negation leaves the 64-bit range.
    if (negative && value == uint64_t{1} << 63) {
      return std::nullopt;
    }
    number.isInteger = true;
    number.integer = static_cast<int64_t>(negative ? 0 - value : value);
    return number;
  }
  size_t i = 0;
  size_t digits = 0;
  while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  bool integral = true;
  if (i < body.size() && body[i] == '.') {
    integral = false;
    ++i;
    while (i < body.size() && IsDigit(body[i])) ++i, ++digits;
  }
  if (digits == 0) {
    return std::nullopt;
  }
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    integral = false;
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
    const size_t start = i;
    while (i < body.size() && IsDigit(body[i])) ++i;
    if (i == start) {
      return std::nullopt;
    }
  }
  if (i != body.size()) {
    return std::nullopt;
  }
  if (integral) {
    const auto [end, error] = std::from_chars(text.data() + (text.front() == '+' ? 1 : 0),
                                              text.data() + text.size(), number.integer);
    if (error == std::errc() && end == text.data() + text.size()) {
      number.isInteger = true;
      return number;
    }
  }
  // Too large for an integer, or written with a point or exponent.
  const std::string_view unsigned_ = text.front() == '+' ? text.substr(1) : text;
  const auto [end, error] =
      std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), number.real);
  if (end != unsigned_.data() + unsigned_.size() ||
      (error != std::errc() && error != std::errc::result_out_of_range)) {
    return std::nullopt;
  }
  if (error == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; SQL reads an overflow as an infinity
    // and an underflow as zero, as strtod does (in the "C" locale: the text is
    // known to be a plain decimal number by now).
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    number.real = ::strtod_l(std::string(unsigned_).c_str(), nullptr, cLocale);
  }
  return number;
}

}  // namespace

RecordStore::RecordStore(CatalogueDb& db, const CatalogueTable& table) : m_table(table) {
  std::string columns;
  std::string values;
  std::string sets;
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const ImportField& field = table.fields[i];
    const std::string name(field.name);
    const bool fixed = !field.fixed.empty();
    columns += (i ? ", " : "") + name;
    values += (i ? ", " : "") + (fixed ? std::string(field.fixed) : "?" + std::to_string(i + 1));
    if (i == 0 || name == "create_at" || fixed) {
      continue;
    }
    sets += (sets.empty() ? "" : ", ") + name + " = ?" + std::to_string(m_updateFields.size() + 2);
    m_updateFields.push_back(i);
  }
  const std::string tableName(table.name);
  m_insert = db.Prepare("INSERT INTO " + tableName + " (" + columns + ") VALUES (" + values + ")");
  m_update = db.Prepare("UPDATE " + tableName + " SET " + sets + " WHERE id = ?1");
}

bool RecordStore::Bind(Statement& statement, int parameter, size_t field,
                       std::string_view value) {
  if (m_table.fields[field].kind == FieldKind::kText) {
    // Store's values stay unchanged until it returns, so past the step.
    return statement.BindTextView(parameter, value);
  }
  const std::optional<Number> number = ParseNumber(value);
  if (!number) {
    return false;
  }
  return number->isInteger ? statement.BindInt(parameter, number->integer)
                           : statement.BindDouble(parameter, number->real);
}

RecordStore::Result RecordStore::Store(const std::vector<std::string_view>& values) {
  m_insert.Reset();
  for (size_t i = 0; i < m_table.fields.size(); ++i) {
    if (m_table.fields[i].fixed.empty() && !Bind(m_insert, static_cast<int>(i + 1), i, values[i])) {
      return Result::kSkipped;
    }
  }
  const int rc = m_insert.Step();
  if (rc == SQLITE_DONE) {
    return Result::kStored;
  }
  if (rc != SQLITE_CONSTRAINT) {
    return Result::kFailed;
  }
  m_update.Reset();
  bool bound = Bind(m_update, 1, 0, values[0]);
  for (size_t u = 0; u < m_updateFields.size() && bound; ++u) {
    bound = Bind(m_update, static_cast<int>(u + 2), m_updateFields[u], values[m_updateFields[u]]);
  }
  return bound && m_update.Step() == SQLITE_DONE ? Result::kStored : Result::kSkipped;
}

}  // namespace qb
