// Noticing a damaged catalogue file and moving it aside.
//
// Every statement on the catalogue reports its result here; "file is not a
// database" (SQLITE_NOTADB) and "database disk image is malformed"
// (SQLITE_CORRUPT) make the catalogue suspect. The repair (update/
// CatalogueRecovery.h) then confirms the damage on a connection of its own and
// moves the file aside. Busy, locked, read-only or missing files are never
// taken for damaged ones.
//
// Thread contract: any thread may note results; MoveDamagedCatalogueAside is
// called by one thread at a time, while no update writes the catalogue.
#pragma once

#include <optional>
#include <string>

namespace qb {

// Notes the result code of a SQLite call on the catalogue.
void NoteCatalogueResult(int rc);
// True once a call reported damage and no repair has looked since.
bool CatalogueSuspect();

// A damaged catalogue file moved aside: where it went and SQLite's
// description of the damage.
struct MovedCatalogue {
  std::string aside;
  std::string reason;
};
// When the catalogue file is damaged: renames it (and the journal files
// beside it) to "qkprint.db.damaged-<date>". nullopt when the file is not
// damaged or cannot be examined now (busy, locked), or the move failed
// (logged). A sound file whose product search index is damaged gets the
// index rebuilt instead (logged). Threads drop the
// connections they keep to a file moved aside.
std::optional<MovedCatalogue> MoveDamagedCatalogueAside();

}  // namespace qb
