#include "catalog/Statement.h"

#include "catalog/CatalogueDamage.h"

namespace qb {

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_stmt);
    m_stmt = other.m_stmt;
    m_lastStep = other.m_lastStep;
    other.m_stmt = nullptr;
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

namespace {

bool Bind(sqlite3_stmt* stmt, int index, std::string_view value, sqlite3_destructor_type copy) {
  // A null pointer would bind NULL.
  return sqlite3_bind_text(stmt, index, value.empty() ? "" : value.data(),
                           static_cast<int>(value.size()), copy) == SQLITE_OK;
}

}  // namespace

bool Statement::BindText(int index, std::string_view value) {
  return Bind(m_stmt, index, value, SQLITE_TRANSIENT);
}

bool Statement::BindTextView(int index, std::string_view value) {
  return Bind(m_stmt, index, value, SQLITE_STATIC);
}

bool Statement::BindInt(int index, int64_t value) {
  return sqlite3_bind_int64(m_stmt, index, value) == SQLITE_OK;
}

bool Statement::BindDouble(int index, double value) {
  return sqlite3_bind_double(m_stmt, index, value) == SQLITE_OK;
}

void Statement::Reset() {
  // sqlite3_reset repeats the last step's error, which Step() has reported.
  sqlite3_reset(m_stmt);
  m_lastStep = SQLITE_OK;
}

int Statement::Step() {
  m_lastStep = m_stmt == nullptr ? SQLITE_MISUSE : sqlite3_step(m_stmt);
  NoteCatalogueResult(m_lastStep);
  return m_lastStep;
}

int Statement::ColumnCount() const { return sqlite3_column_count(m_stmt); }

std::string_view Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(m_stmt, column);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::optional<std::string_view> Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
  if (text == nullptr) {
    return std::nullopt;
  }
  return std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

}  // namespace qb
