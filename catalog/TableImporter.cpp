#include "catalog/TableImporter.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <optional>

#include "catalog/CatalogueDb.h"
#include "util/Log.h"
#include "util/Text.h"

namespace qb {
namespace {

constexpr int kStopCheckInterval = 256;

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

// The text content of an element: the text of all its descendants.
std::string_view ElementText(const pugi::xml_node& element, std::string* scratch) {
  const pugi::xml_node first = element.first_child();
  if (!first) {
    return {};
  }
  if ((first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata) &&
      !first.next_sibling()) {
    return first.value();
  }
  scratch->clear();
  for (const pugi::xpath_node& node : element.select_nodes(".//text()")) {
    scratch->append(node.node().value());
  }
  return *scratch;
}

bool BindValue(sqlite3_stmt* statement, int index, FieldKind kind, std::string_view value) {
  if (kind == FieldKind::kText) {
    return sqlite3_bind_text(statement, index, value.empty() ? "" : value.data(),
                             static_cast<int>(value.size()), SQLITE_STATIC) == SQLITE_OK;
  }
  const std::optional<Number> number = ParseNumber(value);
  if (!number) {
    return false;
  }
  return (number->isInteger ? sqlite3_bind_int64(statement, index, number->integer)
                            : sqlite3_bind_double(statement, index, number->real)) == SQLITE_OK;
}

// Runs a statement without rows on `db`; true when it completed.
bool Run(CatalogueDb& db, std::string_view sql) {
  Statement statement = db.Prepare(sql);
  return statement.Valid() && statement.Step() == SQLITE_DONE;
}

}  // namespace

bool ParseAnswer(std::string_view answer, pugi::xml_document* document) {
  const pugi::xml_parse_result result = document->load_buffer(
      answer.data(), answer.size(),
      pugi::parse_minimal | pugi::parse_escapes | pugi::parse_eol | pugi::parse_cdata |
          pugi::parse_declaration,
      pugi::encoding_utf8);
  if (!result) {
    LogError(std::string("catalogue answer is not well-formed XML: ") + result.description() +
             " at offset " + std::to_string(result.offset));
    return false;
  }
  return true;
}

pugi::xml_node AnswerRoot(const pugi::xml_document& document) {
  const pugi::xml_node first = document.first_child();
  return first ? first.next_sibling() : pugi::xml_node();
}

TableImporter::TableImporter(ImportTable table) : m_table(std::move(table)) {
  std::string columns;
  std::string values;
  std::string sets;
  m_fixed.assign(m_table.fields.size(), false);
  for (size_t i = 0; i < m_table.fields.size(); ++i) {
    const ImportField& field = m_table.fields[i];
    const std::string name(field.name);
    const std::string parameter = "?" + std::to_string(i + 1);
    const auto fixed = std::find_if(m_table.fixedNumbers.begin(), m_table.fixedNumbers.end(),
                                    [&](const auto& pair) { return pair.first == field.name; });
    m_fixed[i] = fixed != m_table.fixedNumbers.end();
    columns += (i ? ", " : "") + name;
    values += (i ? ", " : "") + (m_fixed[i] ? std::string(fixed->second) : parameter);
    const bool kept = std::find(m_table.keptOnUpdate.begin(), m_table.keptOnUpdate.end(),
                                field.name) != m_table.keptOnUpdate.end();
    if (i == 0 || name == "create_at" || kept || m_fixed[i]) {
      continue;
    }
    sets += (sets.empty() ? "" : ", ") + name + " = ?" + std::to_string(m_updateFields.size() + 2);
    m_updateFields.push_back(static_cast<int>(i));
  }
  const std::string name(m_table.table);
  m_insertSql = "INSERT INTO " + name + " (" + columns + ") VALUES (" + values + ")";
  m_updateSql = "UPDATE " + name + " SET " + sets + " WHERE id = ?1";
}

int TableImporter::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < m_table.fields.size(); ++i) {
    if (m_table.fields[i].name == name) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool TableImporter::ImportXml(std::string_view answer, const std::atomic<int>* stop) const {
  pugi::xml_document document;
  if (!ParseAnswer(answer, &document)) {
    return false;
  }
  const pugi::xml_node root = AnswerRoot(document);
  if (!root) {
    LogError("catalogue answer without a root element after the declaration");
    return false;
  }
  return ImportRoot(root, {}, stop);
}

bool TableImporter::ImportRoot(const pugi::xml_node& root, const RecordHook& hook,
                               const std::atomic<int>* stop) const {
  const std::string table(m_table.table);
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    LogError("cannot open the catalogue to import " + table);
    return false;
  }
  if (!Run(*db, "BEGIN IMMEDIATE")) {
    LogError("cannot start the import of " + table + ": " + sqlite3_errmsg(db->Handle()));
    return false;
  }
  Statement insert = db->Prepare(m_insertSql);
  Statement update = db->Prepare(m_updateSql);
  if (!insert.Valid() || !update.Valid()) {
    LogError("cannot prepare the import of " + table);
    insert = Statement();
    update = Statement();
    Run(*db, "ROLLBACK");
    return false;
  }

  const size_t fieldCount = m_table.fields.size();
  std::vector<std::string_view> values(fieldCount);
  std::vector<bool> seen(fieldCount);
  std::vector<std::string> scratch(fieldCount);
  int records = 0;
  int stored = 0;
  bool failed = false;
  for (const pugi::xml_node& record : root.children()) {
    if (++records % kStopCheckInterval == 0 && stop != nullptr && stop->load() != 0) {
      failed = true;
      LogInfo("import of " + table + " interrupted by shutdown");
      break;
    }
    std::fill(values.begin(), values.end(), std::string_view());
    std::fill(seen.begin(), seen.end(), false);
    size_t next = 0;  // fields usually come in list order: try the next one first
    for (const pugi::xml_node& element : record.children()) {
      if (element.type() != pugi::node_element) {
        continue;
      }
      const char* name = element.name();
      const int index = next < fieldCount && m_table.fields[next].name == name
                            ? static_cast<int>(next)
                            : FieldIndex(name);
      next = static_cast<size_t>(index + 1);
      if (index >= 0 && !seen[static_cast<size_t>(index)]) {
        seen[static_cast<size_t>(index)] = true;
        values[static_cast<size_t>(index)] = ElementText(element, &scratch[static_cast<size_t>(index)]);
      }
    }

    bool valid = true;
    sqlite3_reset(insert.Get());
    for (size_t i = 0; i < fieldCount && valid; ++i) {
      if (!m_fixed[i]) {
        valid = BindValue(insert.Get(), static_cast<int>(i + 1), m_table.fields[i].kind, values[i]);
      }
    }
    if (valid) {
      const int rc = insert.Step();
      if (rc == SQLITE_DONE) {
        ++stored;
      } else if (rc == SQLITE_CONSTRAINT) {
        sqlite3_reset(update.Get());
        bool bound = BindValue(update.Get(), 1, m_table.fields[0].kind, values[0]);
        for (size_t u = 0; u < m_updateFields.size() && bound; ++u) {
          const auto field = static_cast<size_t>(m_updateFields[u]);
          bound = BindValue(update.Get(), static_cast<int>(u + 2), m_table.fields[field].kind,
                            values[field]);
        }
        if (bound && update.Step() == SQLITE_DONE) {
          ++stored;
        }
      } else {
        LogError("import of " + table + " failed: " + sqlite3_errmsg(db->Handle()));
        failed = true;
      }
    }
    if (hook) {
      hook(values);
    }
    if (failed) {
      break;
    }
  }
  insert = Statement();
  update = Statement();
  if (failed || !Run(*db, "COMMIT")) {
    Run(*db, "ROLLBACK");
    LogError("nothing of the " + table + " answer was stored");
    return false;
  }
  LogDebug("imported " + std::to_string(stored) + " " + table + " records");
  return true;
}

}  // namespace qb
