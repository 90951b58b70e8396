#include "update/UpdateProtocol.h"

#include "catalog/CatalogueTable.h"
#include "catalog/ImportAnswer.h"
#include "update/VersionCheck.h"
#include "util/Log.h"

namespace qb {

std::atomic<int> g_pendingUpdateTotal{0};

std::string TableUpdateDate(CatalogueDb& db, const std::string& table, bool janCodeRefresh) {
  Statement latest = db.Prepare("SELECT max(update_at) as update_at FROM " + table);
  std::optional<std::string_view> value;
  if (latest.Valid() && latest.NextRow()) {
    value = latest.Text(0);
  }
  if (!value || value->empty()) {
    return std::string(kFirstUpdateDate);
  }
  const CatalogueTable* entry = FindCatalogueTable(table);
  if (janCodeRefresh && entry != nullptr && entry->janCodeRefresh) {
    return std::string(kJanCodeRefreshDate);
  }
  return std::string(*value);
}

void OnChkUpdateAnswer(const std::string&, const std::string& tag, const std::string& body,
                       DownloadJob&) {
  g_pendingUpdateTotal.fetch_add(CountFromXml(body, tag));
}

void OnGetUpdateAnswer(const std::string& url, const std::string&, const std::string& body,
                       DownloadJob& job) {
  std::optional<pugi::xml_document> document = ParseAnswer(body);
  if (!document) {
    LogError("skipped the answer of " + url + ": not well-formed XML");
    job.MarkFailed();
    return;
  }
  const pugi::xml_node root = AnswerRoot(*document);
  if (!root) {
    LogError("answer of " + url + " has no root element after the declaration");
    return;
  }
  const auto pictures = [&job](std::string_view picture) {
    job.Enqueue(std::string(picture), "", nullptr, nullptr);
  };
  if (!ImportAnswer(root, pictures, job.StopFlag())) {
    if (!job.Stopping()) {
      LogError("the records of " + url + " were not stored");
    }
    job.MarkFailed();
  }
}

void OnRequestFailed(const std::string&, const std::string&, DownloadJob&) {}

// The download itself logged the URL and the reason.
void OnTableRequestFailed(const std::string&, const std::string&, DownloadJob& job) {
  job.MarkFailed();
}

}  // namespace qb
