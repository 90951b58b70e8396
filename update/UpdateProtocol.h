// The per-table requests of a catalogue update and what is done with their
// answers: chkUpdate counts are added to the run's count of changed records,
// getUpdate answers are imported into the table their root element names (products
// also queue their picture files on the running queue).
//
// A table request that fails, and an answer that is not the document asked
// for (not XML, no element, a chkUpdate answer without its count, a getUpdate
// answer whose root element is not the table asked for) or cannot be stored,
// count as failures of the job, so the new catalogue version is not committed
// and the next run asks again; each is logged with the URL and what was wrong.
// A getUpdate answer naming another imported table is still stored in that
// table.
//
// Thread contract: the callbacks run on the thread driving the queue, one at
// a time; a run's count of changed records is shared with its callbacks (they
// may still run when a stopping run has returned).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "catalog/CatalogueDb.h"
#include "update/DownloadQueue.h"

namespace qb {

inline constexpr std::string_view kFirstUpdateDate = "2013-01-01 00:00:00";
inline constexpr std::string_view kJanCodeRefreshDate = "2021-06-01 00:00:00";

// The date from which `table` asks for changes: its latest update_at;
// "2013-01-01 00:00:00" when it has none; the jan_code refresh date for the
// table whose catalogue entry asks for it (paper_infos) when `janCodeRefresh`
// is set and the table is not empty.
std::string TableUpdateDate(CatalogueDb& db, const std::string& table, bool janCodeRefresh);

// The callback of a chkUpdate answer: adds the count at the XPath `countPath`
// of the answer to `*changed`; an answer without it fails the job.
DownloadSuccessCallback CountChangedRecords(std::string countPath,
                                            std::shared_ptr<std::atomic<int>> changed);
// Imports `body` by its root element's name; products queue their pictures
// on `job`. `url` is the request "/<table>/getUpdate?...".
void OnGetUpdateAnswer(const std::string& url, const std::string& body, DownloadJob& job);
// A failed table request is skipped and keeps the version from being
// committed: its count or its records are unknown.
void OnTableRequestFailed(const std::string& url, DownloadJob& job);

}  // namespace qb
