// One request's reading of the catalogue, on the read connection the calling
// thread keeps between requests together with the statements it compiled.
//
// A session checks, as it begins, that the kept connection still reads the
// file now at the catalogue's path (same data folder, same device and inode)
// and that nobody has asked every thread to drop its connection since it was
// opened (DropKeptConnections: the catalogue was moved aside, rebuilt or its
// tables changed); otherwise the connection and its statements are dropped
// and a fresh connection is opened. So a session never reads a file that was
// replaced before it began. Changes to the rows of the same file are seen by
// the next statement as on any connection.
//
// Statements are handed out reset, with no value bound, and are reset again
// when the session ends, so neither bindings nor an open read (and the lock it
// holds) outlive the request. A connection keeps at most kKeptStatements
// statements, the least recently used going first.
//
// The connection runs statements only; anything that would write fails. It is
// opened for writing where the file allows it so that it can roll back a
// journal left by a writer that died, as any connection would.
//
// Thread contract: a session belongs to the thread that began it and ends on
// it. Sessions on one thread may nest: an inner one shares the outer one's
// connection without checking it again, and statements are reset when the
// outermost ends. References from Prepare stay valid until the session that
// gave them ends. DropKeptConnections may be called from any thread.
#pragma once

#include <optional>
#include <string_view>

#include "catalog/CatalogueDb.h"
#include "catalog/Statement.h"

namespace qb {

inline constexpr size_t kKeptStatements = 24;

class ReadSession {
 public:
  // What a session does when the catalogue file does not exist.
  enum class Missing {
    kFail,    // no session
    kCreate,  // creates the empty file first (as opening it for writing does)
  };

  // A session on the calling thread's kept connection; nullopt when the
  // catalogue cannot be opened.
  static std::optional<ReadSession> Begin(Missing missing = Missing::kFail);

  // Makes every thread drop its kept connection before its next session.
  static void DropKeptConnections();

  ReadSession(ReadSession&& other) noexcept;
  ReadSession& operator=(ReadSession&&) = delete;
  ReadSession(const ReadSession&) = delete;
  ReadSession& operator=(const ReadSession&) = delete;
  ~ReadSession();

  // The statement for `sql`, compiled on first use and kept; reset and with
  // nothing bound. An invalid statement when `sql` does not compile. Asking
  // for a text whose statement is still in use in this session gives a
  // statement of its own, dropped when the session ends.
  Statement& Prepare(std::string_view sql);

  CatalogueDb& Db();

 private:
  ReadSession() = default;
  bool m_active = false;  // false once moved from
};

}  // namespace qb
