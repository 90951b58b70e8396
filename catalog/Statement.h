// One compiled SQLite statement, finalized when the handle goes away. Values
// reach SQLite as bound parameters; text is read back as UTF-8.
//
// Thread contract: used on the thread that owns its connection, and destroyed
// before that connection is closed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* stmt) : m_stmt(stmt) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept : m_stmt(other.m_stmt), m_lastStep(other.m_lastStep) {
    other.m_stmt = nullptr;
  }
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  bool Valid() const { return m_stmt != nullptr; }

  // Parameters are numbered from 1. Each returns false when SQLite refuses.
  // Text is copied; an empty view binds the empty text, never NULL.
  bool BindText(int index, std::string_view value);
  // The same without the copy, for bulk writes: the text must stay as it is
  // until the statement has stepped with it.
  bool BindTextView(int index, std::string_view value);
  bool BindInt(int index, int64_t value);
  bool BindDouble(int index, double value);

  // Makes the statement ready to run again; the bindings stay.
  void Reset();

  // Steps once: SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Steps and tells whether a row is available.
  bool NextRow() { return Step() == SQLITE_ROW; }
  // True when the handle is invalid or the last step failed (an error, or the
  // statement was stopped by its budget) rather than giving a row or ending.
  bool Failed() const {
    return m_stmt == nullptr ||
           (m_lastStep != SQLITE_ROW && m_lastStep != SQLITE_DONE && m_lastStep != SQLITE_OK);
  }

  int ColumnCount() const;
  std::string_view ColumnName(int column) const;
  bool IsNull(int column) const;
  // The column's text, or nullopt for NULL.
  std::optional<std::string_view> Text(int column) const;
  int64_t Int(int column) const;

  sqlite3_stmt* Get() const { return m_stmt; }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_lastStep = SQLITE_OK;  // result of the last Step(); SQLITE_OK before the first
};

}  // namespace qb
