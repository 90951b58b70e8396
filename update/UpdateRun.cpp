#include "update/UpdateRun.h"

#include <unistd.h>

#include <chrono>

#include "catalog/CatalogueDb.h"
#include "catalog/PaperInfosImport.h"
#include "update/LastUpdateRun.h"
#include "update/UpdateProtocol.h"
#include "util/Log.h"

namespace qb {
namespace {

// Queues one request of `kind` ("chkUpdate" or "getUpdate") per table and
// serves the queue. False when the catalogue could not be opened, or when
// another request emptied the queue before it had been served (a material
// download resets the shared queue), so that some tables were not asked.
bool RunPhase(InitDataBase& definitions, DownloadDataBase& queue, const std::string& kind,
              DownloadDataBase::SuccessCallback onAnswer,
              DownloadDataBase::FailureCallback onFailure) {
  uint64_t generation = 0;
  {
    std::optional<CatalogueDb> db = CatalogueDb::Open();
    if (!db) {
      LogError("cannot open the catalogue for an update");
      return false;
    }
    generation = queue.Reset();
    const std::vector<std::string> tables = definitions.TableNames();
    const std::vector<std::string> paths = definitions.CountPaths();
    const bool janCodeRefresh = definitions.m_janCodeRefresh.load() != 0;
    for (size_t i = 0; i < tables.size(); ++i) {
      const std::string date = TableUpdateDate(*db, tables[i], i, janCodeRefresh);
      queue.Enqueue("/" + tables[i] + "/" + kind + "?date=" + date,
                    i < paths.size() ? paths[i] : std::string(), onAnswer, onFailure);
    }
  }  // the catalogue is closed before the queue runs
  g_pendingUpdateTotal.store(0);
  queue.m_bRunning.store(1);
  queue.m_bAllSucceeded.store(1);
  const uint64_t failures = queue.FailureCount();
  queue.RunQueue();
  if (queue.ResetCount() != generation) {
    LogInfo("another download emptied the queue during the " + kind + " phase");
    return false;
  }
  // A material or template request running beside the update sets
  // m_bAllSucceeded again when it starts; the count still shows a failure of
  // this phase (or of that request, which only delays the commit to the next
  // run).
  if (queue.FailureCount() != failures) {
    LogInfo("a download failed during the " + kind + " phase");
    return false;
  }
  return true;
}

// Fetches the product pictures whose files are missing from the data folder:
// one whose download failed, or was cut off by a stop or a kill, in an earlier
// run is named by records that are current, so no later getUpdate would bring
// it again. URLs already served in this run are not asked twice. A failure
// clears m_bAllSucceeded, so the version is not committed.
void FetchMissingPictures(DownloadDataBase& queue) {
  if (queue.Stopping()) {
    return;
  }
  std::vector<std::string> missing;
  {
    std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    if (!db) {
      return;
    }
    for (const std::string& url : PaperInfosImport::StoredPictures(*db)) {
      const std::string local = DownloadDataBase::LocalPath(url);
      if (!local.empty() && ::access(local.c_str(), F_OK) != 0) {
        missing.push_back(url);
      }
    }
  }
  if (missing.empty()) {
    return;
  }
  LogInfo("fetching " + std::to_string(missing.size()) + " missing picture files");
  queue.m_bRunning.store(1);
  for (const std::string& url : missing) {
    queue.Enqueue(url, "", nullptr, nullptr);
  }
  queue.RunQueue();
}

}  // namespace

void RunChkUpdate(InitDataBase& definitions, DownloadDataBase& queue) {
  RunPhase(definitions, queue, "chkUpdate", OnChkUpdateAnswer, OnRequestFailed);
}

void RunGetUpdate(InitDataBase& definitions, DownloadDataBase& queue) {
  if (!RunPhase(definitions, queue, "getUpdate", OnGetUpdateAnswer, OnGetUpdateFailed)) {
    return;
  }
  FetchMissingPictures(queue);
  if (queue.Stopping()) {
    LogInfo("update stopped before it finished; the catalogue version stays");
    return;
  }
  queue.CommitVersionFile();
}

void RunUpdate(InitDataBase& definitions, DownloadDataBase& queue) {
  const auto started = std::chrono::steady_clock::now();
  const uint64_t files = queue.FileCount();
  const uint64_t failures = queue.FailureCount();
  RunChkUpdate(definitions, queue);
  const int changed = g_pendingUpdateTotal.load();
  if (changed != 0 && !queue.Stopping()) {
    RunGetUpdate(definitions, queue);
  } else {
    FetchMissingPictures(queue);
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  const std::string summary =
      "update run: " + std::to_string(definitions.TableNames().size()) + " tables, " +
      std::to_string(changed) + " changed records, " + std::to_string(queue.FileCount() - files) +
      " files downloaded, " + std::to_string(queue.FailureCount() - failures) + " failures, " +
      std::to_string(elapsed.count()) + " ms";
  LogInfo(summary);
  RecordLastUpdateRun(summary);
}

}  // namespace qb
