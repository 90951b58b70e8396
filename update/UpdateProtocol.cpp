#include "update/UpdateProtocol.h"

#include "catalog/AnswerRecords.h"
#include "catalog/CatalogueTable.h"
#include "catalog/DocumentRecords.h"
#include "catalog/ImportAnswer.h"
#include "catalog/TableImporter.h"
#include "update/VersionCheck.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {

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

namespace {

// The URL `url` was fetched from, for the log.
std::string RequestUrl(const std::string& url) {
  return CatalogueRequestUrl(url).value_or(url);
}

// The table a table request "/<table>/<kind>?..." asks for; empty for any
// other URL.
std::string RequestedTable(const std::string& url) {
  if (!url.starts_with('/')) {
    return {};
  }
  const size_t slash = url.find('/', 1);
  return slash == std::string::npos ? std::string() : url.substr(1, slash - 1);
}

// A table's answer could not be used: the table failed for this run.
void Unusable(const std::string& url, const std::string& what, DownloadJob& job) {
  LogError("unusable answer from " + RequestUrl(url) + ": " + what);
  job.MarkFailed();
}

}  // namespace

DownloadSuccessCallback CountChangedRecords(std::string countPath,
                                            std::shared_ptr<std::atomic<int>> changed) {
  return [countPath = std::move(countPath), changed = std::move(changed)](
             const std::string& url, const std::string& body, DownloadJob& job) {
    const Result<int> count = CountFromXml(body, countPath);
    if (!count) {
      Unusable(url, count.Error(), job);
      return;
    }
    changed->fetch_add(*count);
  };
}

void OnGetUpdateAnswer(const std::string& url, const std::string& body, DownloadJob& job) {
  // An answer of the usual shape is read record by record; any other is
  // parsed whole, which also says what is wrong with it.
  std::optional<AnswerRecords> streamed = AnswerRecords::Scan(body);
  std::optional<pugi::xml_document> document;
  std::optional<DocumentRecords> parsed;
  pugi::xml_node root;
  if (streamed) {
    root = streamed->Root();
  } else {
    Result<pugi::xml_document> read = ReadAnswer(body);
    if (!read) {
      Unusable(url, read.Error(), job);
      return;
    }
    document.emplace(std::move(*read));
    const pugi::xml_node first = document->first_child();
    root = AnswerRoot(*document);
    if (!root || root.type() != pugi::node_element) {
      Unusable(url,
               first.type() == pugi::node_element
                   ? "no XML declaration before its root element <" + std::string(first.name()) +
                         ">"
                   : std::string("no element after the XML declaration"),
               job);
      return;
    }
    parsed.emplace(root);
  }
  RecordSource& records = streamed ? static_cast<RecordSource&>(*streamed) : *parsed;
  const std::string name = root.name();
  const std::string table = RequestedTable(url);
  const CatalogueTable* named = FindCatalogueTable(name);
  const bool imported = named != nullptr && named->Imported();
  if (!imported) {
    Unusable(url, "its root element <" + name + "> names no table that is imported", job);
    return;
  }
  const auto pictures = [&job](std::string_view picture) {
    job.Enqueue(std::string(picture), nullptr, nullptr);
  };
  if (!ImportAnswer(root, records, pictures, job.StopFlag())) {
    if (!job.Stopping()) {
      LogError("the records of " + RequestUrl(url) + " were not stored");
    }
    job.MarkFailed();
    return;
  }
  if (!table.empty() && name != table) {
    // Stored where its root element says; the table asked for is still
    // unknown.
    Unusable(url, "it holds <" + name + "> (stored), not <" + table + ">", job);
  }
}

// The download itself logged the URL and the reason.
void OnTableRequestFailed(const std::string&, DownloadJob& job) {
  job.MarkFailed();
}

}  // namespace qb
