#include "update/TemplateDownload.h"

#include <pugixml.hpp>

#include "catalog/TableImporter.h"
#include "update/HttpGet.h"
#include "util/CatalogueUrl.h"
#include "util/Log.h"

namespace qb {

namespace {

constexpr std::string_view kTemplateFolder = "/template/";

// The part of `url` after its last "/".
std::string FileName(const std::string& url) {
  const size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

}  // namespace

std::string TemplateServerPath(const std::string& url) {
  return std::string(kTemplateFolder) + FileName(url);
}

void TemplateDownload::DownloadTemplates(DownloadQueue& queue,
                                         const std::string& partsNo) const {
  const std::string url =
      catalogueBaseUrl() + "/template_infos/list?partsNo=" + EncodeUrlValue(partsNo);
  const Result<std::string> list = HttpGet(url, queue.StopFlag());
  if (!list) {
    if (!queue.Stopping()) {
      LogError("cannot read the template list " + url + ": " + list.Error());
    }
    return;
  }
  queue.Serve(false, [&list](DownloadJob& job) {
    std::optional<pugi::xml_document> document = ParseAnswer(*list);
    if (!document) {
      return;
    }
    for (const pugi::xml_node record : AnswerRoot(*document).children()) {
      for (const char* name : {"thumbnailUrl", "templateUrl"}) {
        const pugi::xml_node element = record.child(name);
        if (element) {
          // Saved under the file's own name, fetched with it encoded.
          const std::string name = FileName(element.child_value());
          // A failed one is skipped.
          job.Enqueue(std::string(kTemplateFolder) + EncodeUrlValue(name), nullptr, nullptr,
                      TemplateServerPath(name));
        }
      }
    }
  });
}

}  // namespace qb
