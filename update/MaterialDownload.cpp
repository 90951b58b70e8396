#include "update/MaterialDownload.h"

#include <pugixml.hpp>

#include "catalog/PictGroupSubLevelInfos.h"
#include "catalog/TableImporter.h"
#include "update/HttpGet.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {
namespace {

constexpr std::string_view kLevelList = "/generic_group_infos/list2?level=";
constexpr std::string_view kLevelImages = "/generic_group_infos/images2?level=";
constexpr std::string_view kBackImages = "/generic_group_infos/backimages?level=";
constexpr std::string_view kLarge = "/sozai4/";
constexpr std::string_view kSmall = "/sozai4_S/";

// The server list at `path` + the encoded `value` (memory mode); nullopt on
// any failure, which is logged with the URL and the reason.
std::optional<std::string> FetchList(const DownloadQueue& queue, std::string_view path,
                                     const std::string& value) {
  const std::string url = catalogueBaseUrl() + std::string(path) + EncodeUrlValue(value);
  Result<std::string> list = HttpGet(url, queue.StopFlag());
  if (!list) {
    if (!queue.Stopping()) {
      LogError("cannot read the material list " + url + ": " + list.Error());
    }
    return std::nullopt;
  }
  return std::move(*list);
}

// The texts of element `name` in the records of a catalogue server list, in
// document order; records without it are skipped.
std::vector<std::string> RecordTexts(const std::string& answer, const char* name) {
  std::vector<std::string> texts;
  std::optional<pugi::xml_document> document = ParseAnswer(answer);
  if (!document) {
    return texts;
  }
  for (const pugi::xml_node record : AnswerRoot(*document).children()) {
    const pugi::xml_node element = record.child(name);
    if (element) {
      texts.emplace_back(element.child_value());
    }
  }
  return texts;
}

void EnqueueMaterial(DownloadJob& job, const std::string& url, const std::string& savedAs = {}) {
  job.Enqueue(url, OnMaterialDownloaded, nullptr, savedAs);  // a failed one is skipped
}

// The archives are saved in the folder as named, fetched with it encoded.
void EnqueueArchives(DownloadJob& job, const std::string& folder) {
  const std::string encoded = EncodeUrlValue(folder);
  for (const std::string_view variant : {kLarge, kSmall}) {
    EnqueueMaterial(job, std::string(variant) + encoded + "/image.zip",
                    std::string(variant) + folder + "/image.zip");
  }
}

std::string SmallVariant(std::string url) {
  for (size_t at = url.find(kLarge); at != std::string::npos;
       at = url.find(kLarge, at + kSmall.size())) {
    url.replace(at, kLarge.size(), kSmall);
  }
  return url;
}

}  // namespace

void OnMaterialDownloaded(const std::string&, const std::string&, DownloadJob&) {}

void MaterialDownload::RunMaterialRequest(DownloadQueue& queue, const std::string& folder,
                                       const std::string& value) const {
  switch (m_kind) {
    case MaterialKind::kLevelImages:
      DownloadLevelImages(queue, value);
      break;
    case MaterialKind::kGroupArchives:
      DownloadGroupFolders(queue, folder, value);
      break;
    case MaterialKind::kBackImages:
      DownloadBackImages(queue, value);
      break;
    case MaterialKind::kNone:
    default:
      break;
  }
}

void MaterialDownload::DownloadLevelImages(DownloadQueue& queue, const std::string& level) const {
  const std::optional<std::string> groups = FetchList(queue, kLevelList, level);
  if (!groups) {
    return;
  }
  queue.Serve(true, [&](DownloadJob& job) {
    for (const std::string& subLevel : RecordTexts(*groups, "slevel")) {
      const std::optional<std::string> images = FetchList(queue, kLevelImages, subLevel);
      if (!images) {
        continue;
      }
      for (const std::string& url : RecordTexts(*images, "imageUrl")) {
        EnqueueMaterial(job, url);
        EnqueueMaterial(job, SmallVariant(url));
      }
    }
  });
}

void MaterialDownload::DownloadGroupFolders(DownloadQueue& queue, const std::string& folder,
                                         const std::string& topLevelId) const {
  if (!folder.empty()) {
    queue.Serve(true, [&folder](DownloadJob& job) { EnqueueArchives(job, folder); });
    return;
  }
  const std::optional<std::string> groups =
      PictGroupSubLevelInfos().GetSubLevelList("topLevelId=" + topLevelId);
  EnqueueFolderArchives(queue, groups.value_or(std::string()));
}

void MaterialDownload::EnqueueFolderArchives(DownloadQueue& queue, const std::string& xml) const {
  std::optional<pugi::xml_document> document = ParseAnswer(xml);
  if (!document) {
    // Nothing to fetch: the queue is left as it is.
    LogError("the sub-level list could not be read; no material archives queued");
    return;
  }
  queue.Serve(true, [&document](DownloadJob& job) {
    for (const pugi::xml_node record : document->first_child().children()) {
      const pugi::xml_node folder = record.child("folder");
      if (folder) {
        EnqueueArchives(job, folder.child_value());
      }
    }
  });
}

void MaterialDownload::DownloadBackImages(DownloadQueue& queue, const std::string& level) const {
  const std::optional<std::string> images = FetchList(queue, kBackImages, level);
  if (!images) {
    return;
  }
  queue.Serve(true, [&images](DownloadJob& job) {
    for (const std::string& url : RecordTexts(*images, "imageUrl")) {
      EnqueueMaterial(job, url);
    }
  });
}

}  // namespace qb
