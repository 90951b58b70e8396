// The catalogue update behind "dbAccess/UPDATE_DB": a count phase (one
// chkUpdate request per table) and, when anything changed, an import phase
// (one getUpdate request per table, whose answers are imported and whose
// products add their picture files), then the commit of the new catalogue
// version. Every run also fetches the product pictures whose files are still
// missing from an earlier run (a failed or interrupted download), since the
// records that name them are not asked for again. Both phases fill and run the shared download queue on the calling
// thread and return when it has drained (or the server is stopping).
//
// Thread contract: runs on the connection thread that asked for it; other
// connections may read the queue's status meanwhile.
#pragma once

#include "catalog/InitDataBase.h"
#include "update/DownloadDataBase.h"

namespace qb {

// Count phase: g_pendingUpdateTotal ends as the sum of the counts.
void RunChkUpdate(InitDataBase& definitions, DownloadDataBase& queue);
// Import phase, the missing pictures, then the version commit (not when the
// run was stopped, a download failed or a material download emptied the
// shared queue before every table was asked).
void RunGetUpdate(InitDataBase& definitions, DownloadDataBase& queue);
// Both phases as "dbAccess/UPDATE_DB" runs them (without changes, only the
// missing pictures are fetched and the version stays), then one summary line
// at the normal log level: tables, changed records (the sum of the counts),
// files downloaded, failures and duration.
void RunUpdate(InitDataBase& definitions, DownloadDataBase& queue);

}  // namespace qb
