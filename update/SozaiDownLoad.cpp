#include "update/SozaiDownLoad.h"

#include <pugixml.hpp>

#include "catalog/PictGroupSubLevelInfos.h"
#include "catalog/TableImporter.h"
#include "update/HttpGet.h"
#include "update/UpdateProtocol.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr std::string_view kLevelList = "/generic_group_infos/list2?level=";
constexpr std::string_view kLevelImages = "/generic_group_infos/images2?level=";
constexpr std::string_view kBackImages = "/generic_group_infos/backimages?level=";
constexpr std::string_view kLarge = "/sozai4/";
constexpr std::string_view kSmall = "/sozai4_S/";

// The server list at `path` (memory mode); empty on any failure.
std::string FetchList(const DownloadDataBase& queue, std::string_view path) {
  return HttpGet(catalogueBaseUrl() + std::string(path), nullptr, queue.StopFlag());
}

// The texts of element `name` in the records of a catalogue server list, in
// document order; records without it are skipped.
std::vector<std::string> RecordTexts(const std::string& answer, const char* name) {
  std::vector<std::string> texts;
  pugi::xml_document document;
  if (!ParseAnswer(answer, &document)) {
    return texts;
  }
  for (const pugi::xml_node record : AnswerRoot(document).children()) {
    const pugi::xml_node element = record.child(name);
    if (element) {
      texts.emplace_back(element.child_value());
    }
  }
  return texts;
}

void EnqueueMaterial(DownloadDataBase& queue, const std::string& url) {
  queue.Enqueue(url, "", OnMaterialDownloaded, OnRequestFailed);
}

void EnqueueArchives(DownloadDataBase& queue, const std::string& folder) {
  EnqueueMaterial(queue, std::string(kLarge) + folder + "/image.zip");
  EnqueueMaterial(queue, std::string(kSmall) + folder + "/image.zip");
}

std::string SmallVariant(std::string url) {
  for (size_t at = url.find(kLarge); at != std::string::npos;
       at = url.find(kLarge, at + kSmall.size())) {
    url.replace(at, kLarge.size(), kSmall);
  }
  return url;
}

// Serves what the request queued, on this thread.
void RunQueued(DownloadDataBase& queue) {
  queue.m_bRunning.store(1);
  queue.m_bAllSucceeded.store(1);
  queue.RunQueue();
}

}  // namespace

void OnMaterialDownloaded(const std::string&, const std::string&, const std::string&,
                          DownloadDataBase&) {}

void SozaiDownLoad::RunMaterialRequest(DownloadDataBase& queue, const std::string& folder,
                                       const std::string& value) const {
  switch (m_nKind) {
    case 1:
      DownloadLevelImages(queue, value);
      break;
    case 2:
      DownloadGroupFolders(queue, folder, value);
      break;
    case 3:
      DownloadBackImages(queue, value);
      break;
    default:
      break;
  }
}

void SozaiDownLoad::DownloadLevelImages(DownloadDataBase& queue, const std::string& level) const {
  const std::string groups = FetchList(queue, std::string(kLevelList) + level);
  if (groups.empty()) {
    LogError("no material groups for level " + level);
    return;
  }
  queue.Reset();
  for (const std::string& subLevel : RecordTexts(groups, "slevel")) {
    const std::string images = FetchList(queue, std::string(kLevelImages) + subLevel);
    if (images.empty()) {
      continue;
    }
    for (const std::string& url : RecordTexts(images, "imageUrl")) {
      EnqueueMaterial(queue, url);
      EnqueueMaterial(queue, SmallVariant(url));
    }
  }
  RunQueued(queue);
}

void SozaiDownLoad::DownloadGroupFolders(DownloadDataBase& queue, const std::string& folder,
                                         const std::string& topLevelId) const {
  if (!folder.empty()) {
    queue.Reset();
    EnqueueArchives(queue, folder);
    RunQueued(queue);
    return;
  }
  const std::optional<std::string> groups =
      PictGroupSubLevelInfos().GetSubLevelList("topLevelId=" + topLevelId);
  EnqueueFolderArchives(queue, groups.value_or(std::string()));
}

void SozaiDownLoad::EnqueueFolderArchives(DownloadDataBase& queue, const std::string& xml) const {
  pugi::xml_document document;
  if (!ParseAnswer(xml, &document)) {
    // Nothing to fetch: the queue is left as it is.
    LogError("the sub-level list could not be read; no material archives queued");
    return;
  }
  queue.Reset();
  for (const pugi::xml_node record : document.first_child().children()) {
    const pugi::xml_node folder = record.child("folder");
    if (folder) {
      EnqueueArchives(queue, folder.child_value());
    }
  }
  RunQueued(queue);
}

void SozaiDownLoad::DownloadBackImages(DownloadDataBase& queue, const std::string& level) const {
  const std::string images = FetchList(queue, std::string(kBackImages) + level);
  if (images.empty()) {
    LogError("no background pictures for level " + level);
    return;
  }
  queue.Reset();
  for (const std::string& url : RecordTexts(images, "imageUrl")) {
    EnqueueMaterial(queue, url);
  }
  RunQueued(queue);
}

}  // namespace qb
