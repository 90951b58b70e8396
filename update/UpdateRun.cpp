#include "update/UpdateRun.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "catalog/CatalogueDamage.h"
#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueTable.h"
#include "catalog/PaperInfosImport.h"
#include "update/CatalogueRecovery.h"
#include "update/LastUpdateRun.h"
#include "update/UnpackedArchive.h"
#include "update/UpdateProtocol.h"
#include "update/VersionCheck.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {
namespace {

void Add(DownloadTally* sum, const DownloadTally& part) {
  sum->files += part.files;
  sum->failures += part.failures;
  sum->refused += part.refused;
}

// Queues one request of `kind` ("chkUpdate" or "getUpdate") per refreshed
// table on `job`, with the callback `onAnswer` gives for the table. False
// when the catalogue could not be opened.
bool EnqueueTables(CatalogueSchema& definitions, DownloadJob& job, const std::string& kind,
                   const std::function<DownloadSuccessCallback(const CatalogueTable&)>& onAnswer) {
  std::optional<CatalogueDb> db = CatalogueDb::Open();
  if (!db) {
    LogError("cannot open the catalogue " + CatalogueDb::Path() + " for an update");
    return false;
  }
  const bool janCodeRefresh = definitions.m_janCodeRefresh.load() != 0;
  for (const CatalogueTable* table : RefreshedCatalogueTables()) {
    const std::string name(table->name);
    const std::string date = TableUpdateDate(*db, name, janCodeRefresh);
    job.Enqueue("/" + name + "/" + kind + "?date=" + EncodeUrlValue(date), onAnswer(*table),
                OnTableRequestFailed);
  }
  return true;
}  // the catalogue is closed before the queue runs

// Queues the product pictures whose files are missing from the data folder
// (archives that were never unpacked whole):
// one whose download failed, or was cut off by a stop or a kill, in an earlier
// run is named by records that are current, so no later getUpdate would bring
// it again. URLs already served for this job are not asked twice; pictures the
// queue would refuse are left out.
void EnqueueMissingPictures(DownloadJob& job) {
  std::vector<std::string> missing;
  {
    std::optional<CatalogueDb> db = CatalogueDb::Open(CatalogueDb::Mode::kReadOnly);
    if (!db) {
      return;
    }
    for (const std::string& url : PaperInfosImport::StoredPictures(*db)) {
      const Result<std::string> local = DownloadQueue::LocalPath(url);
      if (!local || !CatalogueRequestUrl(url)) {
        continue;
      }
      // An archive is present once it was unpacked (its stamp stands for it).
      const bool present = IsArchivePath(*local) ? WasUnpacked(*local)
                                                 : ::access(local->c_str(), F_OK) == 0;
      if (!present) {
        missing.push_back(url);
      }
    }
  }
  if (!missing.empty()) {
    LogInfo("fetching " + std::to_string(missing.size()) + " missing picture files");
  }
  for (const std::string& url : missing) {
    job.Enqueue(url, nullptr, nullptr);
  }
}

void RunOneUpdate(CatalogueSchema& definitions, DownloadQueue& queue) {
  const auto started = std::chrono::steady_clock::now();
  RecoverDamagedCatalogue(definitions);
  // The tables may not exist yet when no DB_URL has created them.
  definitions.CreateTables();
  // The version the last check found; a check during the run may find a newer
  // one, which this run has not fetched.
  const std::optional<std::string> pending = PendingVersionText();
  DownloadTally tally;
  const std::optional<ChangeCheck> counted = RunChkUpdate(definitions, queue);
  bool complete = counted.has_value();
  Add(&tally, counted ? counted->tally : DownloadTally{});
  const int changed = counted ? counted->changed : 0;
  if (complete && !queue.Stopping()) {
    if (changed != 0) {
      const std::optional<DownloadTally> imported = RunGetUpdate(definitions, queue);
      complete = imported.has_value();
      Add(&tally, imported.value_or(DownloadTally{}));
    } else {
      Add(&tally, queue.Serve(false, EnqueueMissingPictures));
    }
  }
  complete = complete && tally.failures == 0 && !queue.Stopping() && !CatalogueSuspect();
  if (complete && pending) {
    CommitVersionFile(*pending);
  } else if (pending && queue.Stopping()) {
    LogInfo("update stopped before it finished; the catalogue version stays");
  }
  // An import that met a damaged file leaves it to the next run to fill the
  // rebuilt catalogue.
  RecoverDamagedCatalogue(definitions);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  const std::string summary =
      "update run: " + std::to_string(RefreshedCatalogueTables().size()) + " tables, " +
      std::to_string(changed) + " changed records, " + std::to_string(tally.files) +
      " files downloaded, " + std::to_string(tally.failures) + " failures, " +
      std::to_string(tally.refused) + " refused, " + std::to_string(elapsed.count()) + " ms";
  LogInfo(summary);
  RecordLastUpdateRun(summary);
}

}  // namespace

std::optional<ChangeCheck> RunChkUpdate(CatalogueSchema& definitions, DownloadQueue& queue) {
  ScopedDownloadJob job(queue, true);
  // Shared with the callbacks, which may outlive a run the server stops.
  const auto changed = std::make_shared<std::atomic<int>>(0);
  const auto count = [&changed](const CatalogueTable& table) {
    return CountChangedRecords(std::string(table.countPath), changed);
  };
  if (!EnqueueTables(definitions, job.Job(), "chkUpdate", count)) {
    return std::nullopt;
  }
  const DownloadTally tally = job.Run();
  return ChangeCheck{tally, changed->load()};
}

std::optional<DownloadTally> RunGetUpdate(CatalogueSchema& definitions, DownloadQueue& queue) {
  ScopedDownloadJob job(queue, true);
  const auto import = [](const CatalogueTable&) { return DownloadSuccessCallback(OnGetUpdateAnswer); };
  if (!EnqueueTables(definitions, job.Job(), "getUpdate", import)) {
    return std::nullopt;
  }
  // The answers queue their products' pictures on the job as they are
  // imported; the pictures still missing from earlier runs follow.
  job.Run();
  if (!queue.Stopping()) {
    EnqueueMissingPictures(job.Job());
  }
  return job.Run();
}

void RunUpdate(CatalogueSchema& definitions, DownloadQueue& queue) {
  if (!queue.RunUpdateAlone([&] { RunOneUpdate(definitions, queue); })) {
    LogInfo("UPDATE_DB waited for the update that was running");
  }
}

}  // namespace qb
