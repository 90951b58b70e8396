#include "update/UpdateProtocol.h"

#include "catalog/CategoriesImport.h"
#include "catalog/GenericGroupInfosImport.h"
#include "catalog/KbnInfosImport.h"
#include "catalog/PaperGroupInfosImport.h"
#include "catalog/PaperInfosImport.h"
#include "catalog/PaperRelationsImport.h"
#include "catalog/PaperSizeInfosImport.h"
#include "catalog/PictGroupInfosImport.h"
#include "catalog/PictGroupSubLevelInfosImport.h"
#include "catalog/PictGroupTopLevelInfosImport.h"
#include "catalog/TemplateInfosImport.h"
#include "update/VersionCheck.h"
#include "util/Log.h"

namespace qb {

std::atomic<int> g_pendingUpdateTotal{0};

namespace {

constexpr size_t kPaperInfosIndex = 3;

// Imports the answer rooted at `root` when its name is one of the catalogue
// tables. False when an answer of a known table was not stored.
bool ImportByName(const pugi::xml_node& root, DownloadJob& job) {
  const std::string_view name = root.name();
  const std::atomic<int>* stop = job.StopFlag();
  if (name == "kbn_infos") return KbnInfosImport().ImportRoot(root, {}, stop);
  if (name == "categories") return CategoriesImport().ImportRoot(root, {}, stop);
  if (name == "paper_size_infos") return PaperSizeInfosImport().ImportRoot(root, {}, stop);
  if (name == "paper_infos") {
    return PaperInfosImport().ImportRoot(
        root, [&job](std::string_view url) { job.Enqueue(std::string(url), "", nullptr, nullptr); },
        stop);
  }
  if (name == "paper_group_infos") return PaperGroupInfosImport().ImportRoot(root, {}, stop);
  if (name == "pict_group_infos") return PictGroupInfosImport().ImportRoot(root, {}, stop);
  if (name == "generic_group_infos") return GenericGroupInfosImport().ImportRoot(root, {}, stop);
  if (name == "paper_relation2s") return PaperRelationsImport().ImportRoot(root, {}, stop);
  if (name == "logs") return true;  // the usage log is never taken from the server
  if (name == "template_infos") return TemplateInfosImport().ImportRoot(root, {}, stop);
  if (name == "pict_group_top_level_infos") {
    return PictGroupTopLevelInfosImport().ImportRoot(root, {}, stop);
  }
  if (name == "pict_group_sub_level_infos") {
    return PictGroupSubLevelInfosImport().ImportRoot(root, {}, stop);
  }
  LogDebug("ignored an answer for table " + std::string(name));
  return true;
}

}  // namespace

std::string TableUpdateDate(CatalogueDb& db, const std::string& table, size_t index,
                            bool janCodeRefresh) {
  Statement latest = db.Prepare("SELECT max(update_at) as update_at FROM " + table);
  std::optional<std::string_view> value;
  if (latest.Valid() && latest.NextRow()) {
    value = latest.Text(0);
  }
  if (!value || value->empty()) {
    return std::string(kFirstUpdateDate);
  }
  if (janCodeRefresh && index == kPaperInfosIndex) {
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
  pugi::xml_document document;
  if (!ParseAnswer(body, &document)) {
    LogError("skipped the answer of " + url + ": not well-formed XML");
    job.MarkFailed();
    return;
  }
  const pugi::xml_node root = AnswerRoot(document);
  if (!root) {
    LogError("answer of " + url + " has no root element after the declaration");
    return;
  }
  if (!ImportByName(root, job)) {
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
