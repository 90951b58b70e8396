// The catalogue update behind "dbAccess/UPDATE_DB": a count phase (one
// chkUpdate request per table) and, when anything changed, an import phase
// (one getUpdate request per table, whose answers are imported and whose
// products add their picture files), then the commit of the new catalogue
// version. Every run also fetches the product pictures whose files are still
// missing from an earlier run (a failed or interrupted download), since the
// records that name them are not asked for again.
//
// A run converges: it commits the version the last check found
// ("New_verFile_DB.txt", as it was when the run began) whenever every table
// request and every download of the run succeeded, also when nothing changed,
// so a run cut short is completed by the next one. Refused downloads (another
// origin, a file the catalogue may not place) are logged and counted but do
// not hold the version back: no later run could fetch them either.
//
// Thread contract: runs on the connection thread that asked for it; one update
// runs at a time (an UPDATE_DB arriving meanwhile waits for it and answers
// when it ends). The phases queue their requests as jobs of the shared queue,
// so material and template requests running beside them never take their
// work away.
#pragma once

#include <optional>

#include "catalog/CatalogueSchema.h"
#include "update/DownloadQueue.h"

namespace qb {

// What the count phase found: what became of its requests, and the changed
// records (the sum of the counts).
struct ChangeCheck {
  DownloadTally tally;
  int changed = 0;
};

// Count phase. Nullopt when the catalogue could not be opened (nothing was
// asked).
std::optional<ChangeCheck> RunChkUpdate(CatalogueSchema& definitions, DownloadQueue& queue);
// Import phase and the pictures still missing; gives what became of their
// requests. Nullopt when the catalogue could not be opened.
std::optional<DownloadTally> RunGetUpdate(CatalogueSchema& definitions, DownloadQueue& queue);
// The whole run as "dbAccess/UPDATE_DB" runs it (waiting instead when one
// runs already): a damaged catalogue is rebuilt first, then both phases (the
// import phase only when something changed), the version commit, and one
// summary line at the normal log level: tables, changed records (the sum of
// the counts), files downloaded, failures, refused downloads and duration.
void RunUpdate(CatalogueSchema& definitions, DownloadQueue& queue);

}  // namespace qb
