#include "catalog/CatalogueDamage.h"

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include <unistd.h>

#include "catalog/CatalogueDb.h"
#include "catalog/ReadSession.h"
#include "catalog/SearchIndex.h"
#include "util/Log.h"

namespace qb {
namespace {

std::atomic<bool> g_suspect{false};

bool IsDamage(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

enum class Verdict { kSound, kDamaged, kUnknown };

// Examines the file on a connection that does not wait for locks (opened for
// writing where the file allows it, so that SQLite may roll back a hot
// journal as any connection would).
Verdict Examine(const std::string& path, std::string* reason) {
  if (::access(path.c_str(), F_OK) != 0) {
    return Verdict::kSound;
  }
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
  if (opened != SQLITE_OK) {
    return IsDamage(opened) ? Verdict::kDamaged : Verdict::kUnknown;
  }
  sqlite3_stmt* raw_stmt = nullptr;
  int rc = sqlite3_prepare_v2(db.get(), "PRAGMA quick_check(1)", -1, &raw_stmt, nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> check(raw_stmt, &sqlite3_finalize);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(check.get());
  }
  if (rc == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
    if (text != nullptr && std::strcmp(text, "ok") == 0) {
      return Verdict::kSound;
    }
    *reason = text != nullptr ? text : "integrity check failed";
    return Verdict::kDamaged;
  }
  *reason = sqlite3_errmsg(db.get());
  return IsDamage(rc) ? Verdict::kDamaged : Verdict::kUnknown;
}

std::string DamagedName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".damaged-" + stamp;
  std::string name = base;
  for (int n = 2; ::access(name.c_str(), F_OK) == 0; ++n) {
    name = base + "-" + std::to_string(n);
  }
  return name;
}

}  // namespace

void NoteCatalogueResult(int rc) {
  if (IsDamage(rc)) {
    g_suspect.store(true);
  }
}

bool CatalogueSuspect() { return g_suspect.load(); }

std::optional<MovedCatalogue> MoveDamagedCatalogueAside() {
  const std::string path = CatalogueDb::Path();
  std::string reason;
  const Verdict verdict = Examine(path, &reason);
  if (verdict == Verdict::kSound && ::access(path.c_str(), F_OK) == 0) {
    // The damage may have been in the product search index only, which the
    // check above does not compare with the products.
    if (std::optional<CatalogueDb> db = CatalogueDb::Open()) {
      RepairSearchIndex(*db);
    }
  }
  if (verdict != Verdict::kUnknown) {
    g_suspect.store(false);
  }
  if (verdict != Verdict::kDamaged) {
    return std::nullopt;
  }
  const std::string aside = DamagedName(path);
  if (std::rename(path.c_str(), aside.c_str()) != 0) {
    LogError("cannot move the damaged catalogue " + path + " aside: " + std::strerror(errno));
    return std::nullopt;
  }
  ReadSession::DropKeptConnections();
  // A journal left beside a new file would be played back into it.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const std::string journal = path + suffix;
    if (::access(journal.c_str(), F_OK) == 0) {
      std::rename(journal.c_str(), (aside + suffix).c_str());
    }
  }
  return MovedCatalogue{aside, std::move(reason)};
}

}  // namespace qb
