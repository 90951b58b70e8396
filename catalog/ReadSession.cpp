#include "catalog/ReadSession.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace qb {
namespace {

struct KeptStatement {
  std::string sql;
  Statement statement;
  bool inUse = false;  // handed out in the current session
};

// Statements are reset, and their bindings cleared, whenever they are at rest.
void Rewind(Statement& statement) {
  statement.Reset();
  sqlite3_clear_bindings(statement.Get());
}

// The connection one thread keeps, what it was opened on, and its statements.
// Declared so that the statements go before the connection.
struct KeptConnection {
  std::optional<CatalogueDb> db;
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  uint64_t generation = 0;
  std::list<KeptStatement> statements;  // most recently used first
  std::unordered_map<std::string_view, std::list<KeptStatement>::iterator> byText;
  std::vector<std::unique_ptr<Statement>> sessionOnly;  // dropped as the session ends
  int depth = 0;                                        // sessions begun and not ended

  ~KeptConnection() { Drop(); }

  void Drop() {
    sessionOnly.clear();
    byText.clear();
    statements.clear();
    db.reset();
  }

  void EndSession() {
    for (KeptStatement& kept : statements) {
      if (kept.inUse) {
        Rewind(kept.statement);
        kept.inUse = false;
      }
    }
    sessionOnly.clear();
  }

  Statement& SessionOnly(Statement statement) {
    sessionOnly.push_back(std::make_unique<Statement>(std::move(statement)));
    return *sessionOnly.back();
  }

  void Keep(std::string_view sql, Statement statement) {
    statements.push_front(KeptStatement{std::string(sql), std::move(statement), true});
    byText.emplace(statements.front().sql, statements.begin());
    if (statements.size() <= kKeptStatements) {
      return;
    }
    for (auto it = std::prev(statements.end());; --it) {
      if (!it->inUse) {
        byText.erase(it->sql);
        statements.erase(it);
        return;
      }
      if (it == statements.begin()) {
        return;  // all in use: keep them until the session ends
      }
    }
  }
};

thread_local KeptConnection t_kept;
std::atomic<uint64_t> g_generation{0};

// True when `kept` was opened on the file now at `path` and nothing asked to
// drop it since.
bool StillCurrent(const KeptConnection& kept, const std::string& path, const struct stat& file,
                  uint64_t generation) {
  return kept.db && kept.path == path && kept.device == file.st_dev &&
         kept.inode == file.st_ino && kept.generation == generation;
}

}  // namespace

std::optional<ReadSession> ReadSession::Begin(Missing missing) {
  KeptConnection& kept = t_kept;
  if (kept.depth == 0) {
    const uint64_t generation = g_generation.load();
    const std::string path = CatalogueDb::Path();
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
      const bool absent = errno == ENOENT;
      kept.Drop();
      // Opening for writing creates the empty file, as the queries that did
      // so always have; a missing folder still gives no session.
      if (!absent || missing == Missing::kFail || !CatalogueDb::Open() ||
          ::stat(path.c_str(), &file) != 0) {
        return std::nullopt;
      }
    }
    if (!StillCurrent(kept, path, file, generation)) {
      kept.Drop();
      kept.db = CatalogueDb::OpenFile(path, CatalogueDb::Mode::kQueryOnly);
      if (!kept.db) {
        return std::nullopt;
      }
      kept.path = path;
      kept.device = file.st_dev;
      kept.inode = file.st_ino;
      kept.generation = generation;
    }
  }
  ++kept.depth;
  ReadSession session;
  session.m_active = true;
  return session;
}

void ReadSession::DropKeptConnections() { g_generation.fetch_add(1); }

ReadSession::ReadSession(ReadSession&& other) noexcept : m_active(other.m_active) {
  other.m_active = false;
}

ReadSession::~ReadSession() {
  if (m_active && --t_kept.depth == 0) {
    t_kept.EndSession();
  }
}

CatalogueDb& ReadSession::Db() { return *t_kept.db; }

Statement& ReadSession::Prepare(std::string_view sql) {
  KeptConnection& kept = t_kept;
  const auto found = kept.byText.find(sql);
  if (found != kept.byText.end()) {
    const auto it = found->second;
    if (it->inUse) {
      return kept.SessionOnly(kept.db->Prepare(sql));
    }
    kept.statements.splice(kept.statements.begin(), kept.statements, it);
    it->inUse = true;
    Rewind(it->statement);
    return it->statement;
  }
  Statement statement = kept.db->Prepare(sql);
  if (!statement.Valid()) {
    // Not kept: the next request compiles it again (the table may exist by then).
    return kept.SessionOnly(std::move(statement));
  }
  kept.Keep(sql, std::move(statement));
  return kept.statements.front().statement;
}

}  // namespace qb
